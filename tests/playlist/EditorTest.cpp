// The playlist editor driven as a user would, with its dialogs answered by
// a script: enabling rules, adding, folder import with its messages, files,
// preview and the OK / Cancel hand-over.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "../dialogs/ModalHelper.h"
#include "EditorSupport.h"
#include "playlist/PlaylistFile.h"
#include "playlist/QtEditorServices.h"
#include "playlist/frm_PlayList.h"
#include "wallpaper/FreeFormats.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "slideshow/SlideShow.h"
#include "support/Recorders.h"
#include "support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        previousStore_ = RegCurrentStore();
        RegSetStore(std::make_shared<TMemoryRegistryStore>());  // no wallpaper folder
        folders.docs = dir.File("Documents");
        folders.windows = dir.File("Pictures");
        ::mkdir(folders.docs.c_str(), 0700);
        ::mkdir(folders.windows.c_str(), 0700);
        form = std::make_unique<TfrmList>(messages, dialogs, folders);
    }
    void TearDown() override {
        form.reset();
        RegSetStore(previousStore_);
    }
    void Picture(const std::string& name, int w, int h) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(qRgb(200, 40, 40));
        ASSERT_TRUE(img.save(QString::fromLocal8Bit(dir.File(name).c_str())));
    }
    void Select(int row) {
        form->SelectRow(row);
        QApplication::processEvents();
    }
    std::vector<TRecordedMessage> Shown() const { return messages.shown; }

    TTempDir dir;
    TRecordingMessages messages;
    TScriptedDialogs dialogs;
    TFixedFolders folders;
    std::unique_ptr<TfrmList> form;

private:
    std::shared_ptr<TRegistryStore> previousStore_;
};

TEST_F(Editor, TheDialogAsItOpens) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Playlist"));
    EXPECT_EQ(form->size(), QSize(452, 385));
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Add Image"));
    EXPECT_EQ(form->Button3->text(), QStringLiteral("Add Folder"));
    EXPECT_EQ(form->Button4->text(), QStringLiteral("Load Playlist"));
    EXPECT_EQ(form->Button5->text(), QStringLiteral("Clear Playlist"));
    EXPECT_EQ(form->Button6->text(), QStringLiteral("Save Playlist"));
    EXPECT_EQ(form->btnDeleteImage->text(), QStringLiteral("Remove Image"));
    EXPECT_EQ(form->btnOK->text(), QStringLiteral("&OK"));
    EXPECT_EQ(form->Button1->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(form->PlayList->geometry(), QRect(8, 32, 321, 313));
    EXPECT_EQ(form->Preview->geometry(), QRect(336, 240, 105, 105));
    EXPECT_TRUE(form->edtName->isReadOnly());
    for (auto* b : form->findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->objectName().toStdString();
    }
    EXPECT_FALSE(form->FMasks.empty());
    EXPECT_EQ(form->FMasks.front(), "*.bmp");
    EXPECT_EQ(form->OpenImageFilter.rfind("All supported formats|*.bmp;", 0), 0u);
    // Tab order: Cancel, OK, the five buttons, the list, Remove Image.
    QWidget* w = form->Button1;
    for (QWidget* next : {(QWidget*)form->btnOK, (QWidget*)form->Button2, (QWidget*)form->Button3,
                          (QWidget*)form->Button4, (QWidget*)form->Button5, (QWidget*)form->Button6,
                          (QWidget*)form->PlayList, (QWidget*)form->btnDeleteImage}) {
        QWidget* tab = w->nextInFocusChain();
        while (tab != next && !(tab->focusPolicy() & Qt::TabFocus)) {
            tab = tab->nextInFocusChain();
        }
        EXPECT_EQ(tab, next) << next->objectName().toStdString();
        w = next;
    }
}

TEST_F(Editor, EnablingRules) {
    EXPECT_TRUE(form->actAddImage->isEnabled());
    EXPECT_TRUE(form->actAddFolder->isEnabled());
    EXPECT_TRUE(form->actLoadPlayList->isEnabled());
    EXPECT_FALSE(form->actClearPlayList->isEnabled());
    EXPECT_FALSE(form->actSavePlayList->isEnabled());
    EXPECT_FALSE(form->actDeleteImage->isEnabled());
    EXPECT_FALSE(form->Button5->isEnabled());

    form->AddEntry("/p/one.png");
    EXPECT_TRUE(form->actClearPlayList->isEnabled());
    EXPECT_TRUE(form->actSavePlayList->isEnabled());
    EXPECT_TRUE(form->Button6->isEnabled());
    EXPECT_FALSE(form->actDeleteImage->isEnabled());

    Select(0);
    EXPECT_TRUE(form->actDeleteImage->isEnabled());
    EXPECT_TRUE(form->btnDeleteImage->isEnabled());
    form->actDeleteImage->trigger();
    EXPECT_EQ(form->Model()->Count(), 0);
    EXPECT_EQ(form->SelectedRow(), -1);
    EXPECT_FALSE(form->actDeleteImage->isEnabled());
    EXPECT_FALSE(form->actClearPlayList->isEnabled());
    EXPECT_FALSE(form->actSavePlayList->isEnabled());
}

TEST_F(Editor, AddImageKeepsOneCopyWhateverTheCase) {
    dialogs.image = "/p/Sea.jpg";
    form->actAddImage->trigger();
    EXPECT_EQ(dialogs.lastFilter, form->OpenImageFilter);
    form->actAddImage->trigger();
    dialogs.image = "/P/SEA.JPG";
    form->actAddImage->trigger();
    dialogs.image.reset();  // Cancel
    form->actAddImage->trigger();
    EXPECT_EQ(form->Entries(), Lines{"/p/Sea.jpg"});

    // A loaded file with duplicates shows them; additions still add none.
    WriteFileBytes(dir.File("dups.vpl"), "/a.png\r\n/a.png\r\n\r\n");
    form->LoadPlayListFile(dir.File("dups.vpl"));
    dialogs.image = "/A.PNG";
    form->actAddImage->trigger();
    EXPECT_EQ(form->Entries(), (Lines{"/a.png", "/a.png", ""}));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(Editor, AddFolderStartsFromTheChainAndImportsInMaskOrder) {
    const std::string pics = folders.windows;
    Picture("Pictures/a.jpg", 8, 8);
    Picture("Pictures/z.bmp", 8, 8);
    WriteFileBytes(pics + "/notes.txt", "x");
    dialogs.folderAnswer = pics;

    form->actAddFolder->trigger();
    // No wallpaper folder and no "My Pictures": the picker opens on the last resort.
    EXPECT_EQ(dialogs.pickStart, pics);
    EXPECT_EQ(dialogs.pickTitle, "Select Wallpapers folder");
    EXPECT_EQ(dialogs.pickRoot, "");
    EXPECT_EQ(form->FFolder, pics);
    EXPECT_EQ(form->Entries(), (Lines{pics + "/z.bmp", pics + "/a.jpg"}));  // bitmap mask first
    EXPECT_TRUE(Shown().empty());

    // The same folder again adds nothing and says nothing.
    form->actAddFolder->trigger();
    EXPECT_EQ(form->Model()->Count(), 2);
    EXPECT_TRUE(Shown().empty());
}

// Add Folder may follow the folder instead: one entry, the folder's path,
// shown whole with the number of pictures it stands for in the show.
TEST_F(Editor, AFollowedFolderIsOneEntryShownWithItsCount) {
    const std::string pics = folders.windows;
    Picture("Pictures/a.jpg", 8, 8);
    Picture("Pictures/z.bmp", 8, 8);
    WriteFileBytes(pics + "/notes.txt", "x");
    struct TQuietHost : TSlideShowHost {
        void ShowPicture(const std::string&) override {}
        void RunningChanged(bool) override {}
        void ReportEmpty() override {}
        void ReportSkipped(const std::string&, const std::string&) override {}
    } host;
    TSlideShow show(host);
    form->SetFolderCounter([&show](const std::string& f) { return show.FolderPictures(f); });
    dialogs.folderAnswer = pics;
    dialogs.folderUse = TEditorDialogs::TFolderUse::Cancel;
    form->actAddFolder->trigger();
    EXPECT_EQ(form->Model()->Count(), 0);

    dialogs.folderUse = TEditorDialogs::TFolderUse::Follow;
    form->actAddFolder->trigger();
    EXPECT_EQ(dialogs.calls.back(), "ChooseFolderUse " + pics);
    EXPECT_EQ(form->Entries(), Lines{pics});
    EXPECT_EQ(form->Model()->data(form->Model()->index(0), Qt::DisplayRole).toString(),
              QString::fromStdString(pics) + QStringLiteral(" (2 pictures)"));
    EXPECT_TRUE(Shown().empty());
}

// A name with a line break cannot be stored in a playlist file: Add Folder
// and Add Image leave it out with one warning, so OK can always save.
TEST_F(Editor, NamesAPlaylistCannotHoldAreLeftOutWithOneWarning) {
    const std::string pics = folders.windows;
    for (const char* name :
         {"ok.jpg", "one\nline.jpg", "two\rlines.jpg", "three\r\n.png", "four\n.bmp"}) {
        WriteFileBytes(pics + "/" + name, "x");
    }
    dialogs.folderAnswer = pics;
    form->actAddFolder->trigger();
    EXPECT_EQ(form->Entries(), (Lines{pics + "/ok.jpg"}));
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].kind, "warning");
    const std::string text = Shown()[0].text;
    EXPECT_EQ(text.rfind("4 files were not added: their names hold a line break", 0), 0u) << text;
    EXPECT_NE(text.find("\"" + pics + "/four\\n.bmp\""), std::string::npos) << text;
    EXPECT_NE(text.find("and 1 more"), std::string::npos) << text;

    messages.shown.clear();
    dialogs.image = pics + "/one\nline.jpg";
    form->actAddImage->trigger();
    EXPECT_EQ(form->Model()->Count(), 1);
    EXPECT_EQ(
        Shown(),
        (std::vector<TRecordedMessage>{{"warning",
                                        "1 file was not added: its name holds a line break, which "
                                        "a playlist file cannot store.\n\"" +
                                            pics + "/one\\nline.jpg\""}}));
    form->SavePlayListFile(dir.File("saved.vpl"));
    EXPECT_EQ(ReadFileBytes(dir.File("saved.vpl")), pics + "/ok.jpg\r\n");
}

TEST_F(Editor, AddFolderMessages) {
    const std::string empty = dir.File("empty");
    ::mkdir(empty.c_str(), 0700);
    ::mkdir((empty + "/sub.jpg").c_str(), 0700);
    dialogs.folderAnswer = empty;
    form->FFolder = empty + "/";
    form->actAddFolder->trigger();
    EXPECT_EQ(dialogs.pickStart, empty) << "one trailing delimiter is removed";
    EXPECT_EQ(
        Shown(),
        (std::vector<TRecordedMessage>{{"warning", "No wallpapers found in the selected folder"}}));

    // A folder without pictures added to a non-empty list: no message.
    messages.shown.clear();
    form->AddEntry("/p/x.png");
    form->actAddFolder->trigger();
    EXPECT_TRUE(Shown().empty());

    // Cancel: nothing added, no message; a vanished folder is forgotten.
    dialogs.folderAnswer.reset();
    form->FFolder = dir.File("vanished");
    form->actAddFolder->trigger();
    EXPECT_EQ(form->FFolder, "");
    EXPECT_EQ(dialogs.pickStart, "");
    EXPECT_EQ(form->Model()->Count(), 1);
    EXPECT_TRUE(Shown().empty());

    // An empty folder on entry takes the chain; Cancel keeps the start folder.
    form->actAddFolder->trigger();
    EXPECT_EQ(form->FFolder, folders.windows);

    // A failure anywhere in the command: its own error message.
    form->FFolder.clear();
    folders.failing = true;
    form->actAddFolder->trigger();
    EXPECT_EQ(
        Shown(),
        (std::vector<TRecordedMessage>{{"error", "An error occurs while reading file list"}}));
}

TEST_F(Editor, LoadAndSave) {
    const std::string first = dir.File("first.vpl");
    WriteFileBytes(first, "/p/a.png\n/p/b.png");
    dialogs.openList = first;
    form->actLoadPlayListExecute();
    EXPECT_EQ(form->Entries(), (Lines{"/p/a.png", "/p/b.png"}));
    EXPECT_EQ(form->FFileName, first);
    EXPECT_EQ(form->edtName->text().toStdString(), first);

    // A failed load replaces nothing and reaches the error report.
    dialogs.openList = dir.File("typed-but-missing.vpl");
    form->actLoadPlayList->trigger();
    EXPECT_EQ(form->Entries(), (Lines{"/p/a.png", "/p/b.png"}));
    EXPECT_EQ(form->FFileName, first);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].kind, "exception");
    EXPECT_EQ(Shown()[0].text, "Cannot open file \"" + dir.File("typed-but-missing.vpl") +
                                   "\". No such file or directory.");

    // Save proposes the bound file; saving elsewhere rebinds.
    const std::string second = dir.File("second.vpl");
    dialogs.saveList = second;
    form->actSavePlayList->trigger();
    EXPECT_EQ(dialogs.savePreset, first);
    EXPECT_EQ(ReadFileBytes(second), "/p/a.png\r\n/p/b.png\r\n");
    EXPECT_EQ(form->FFileName, second);
    EXPECT_EQ(ReadFileBytes(first), "/p/a.png\n/p/b.png") << "the old file is untouched";

    // A failed save keeps the binding and reports.
    messages.shown.clear();
    dialogs.saveList = dir.File("no/such/dir/x.vpl");
    form->actSavePlayList->trigger();
    EXPECT_EQ(form->FFileName, second);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(
        Shown()[0].text.rfind("Cannot create file \"" + dir.File("no/such/dir/x.vpl") + "\". ", 0),
        0u);

    // Clear keeps the binding; saving the empty list is refused by the command.
    messages.shown.clear();
    form->actClearPlayList->trigger();
    EXPECT_EQ(form->FFileName, second);
    form->actSavePlayListExecute();
    EXPECT_EQ(Shown(), (std::vector<TRecordedMessage>{{"error", "Playlist is empty"}}));
    form->SavePlayListFile(form->FFileName);  // what the main window does after OK
    EXPECT_EQ(ReadFileBytes(second), "");
}

TEST_F(Editor, PreviewAndThumbnails) {
    Picture("wide.png", 200, 100);
    Picture("tall.png", 100, 200);
    Picture("dot.png", 1, 1);
    form->SetEntries({dir.File("wide.png"), dir.File("tall.png"), dir.File("dot.png"), "",
                      dir.File("notes.txt")});
    Select(0);
    EXPECT_EQ(form->Preview->PictureSize(), QSize(200, 100));
    ASSERT_TRUE(form->Model()->HasThumbnail(0));
    EXPECT_EQ(form->Model()->Thumbnail(0).size(), QSize(105, 52));
    Select(1);
    EXPECT_EQ(form->Model()->Thumbnail(1).size(), QSize(52, 105));
    Select(2);
    EXPECT_EQ(form->Model()->Thumbnail(2).size(), QSize(105, 105));
    EXPECT_TRUE(Shown().empty());

    // A second selection shows the cached thumbnail without touching the disk.
    ::unlink(dir.File("wide.png").c_str());
    Select(0);
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(form->Preview->Picture().size(), QSize(105, 52));

    // An empty row and an unknown extension say why in the preview, with no
    // box: arrowing down a list of broken entries stops at none of them.
    Select(3);
    EXPECT_EQ(form->Preview->Message(), "Unknown picture file extension (.)");
    Select(4);
    EXPECT_EQ(form->Preview->Message(), "Unknown picture file extension (.txt)");
    EXPECT_TRUE(form->Preview->Empty());
    EXPECT_TRUE(Shown().empty());
    EXPECT_FALSE(form->Model()->HasThumbnail(3));

    // Removing keeps the preview; Clear empties it.
    Select(2);
    Select(1);
    form->actDeleteImage->trigger();
    EXPECT_FALSE(form->Preview->Empty());
    EXPECT_EQ(form->Model()->Count(), 4);
    // Delete in the list removes the selected entry.
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->PlayList->setFocus();
    Select(0);
    QTest::keyClick(form->PlayList, Qt::Key_Delete);
    EXPECT_EQ(form->Model()->Count(), 3);
    form->actClearPlayList->trigger();
    EXPECT_TRUE(form->Preview->Empty());
}

TEST_F(Editor, RemoveImageSelectsNoNeighbourAndKeepsThePreview) {
    Picture("a.png", 20, 10);
    WriteFileBytes(dir.File("damaged.png"), "not a picture");
    form->SetEntries({dir.File("damaged.png"), dir.File("a.png"), ""});
    Select(1);
    ASSERT_EQ(form->Preview->PictureSize(), QSize(20, 10));
    form->actDeleteImage->trigger();
    QApplication::processEvents();
    EXPECT_EQ(form->SelectedRow(), -1);
    EXPECT_FALSE(form->actDeleteImage->isEnabled());
    EXPECT_EQ(form->Preview->PictureSize(), QSize(20, 10));
    EXPECT_FALSE(form->Model()->HasThumbnail(1)) << "the neighbour was decoded";
    EXPECT_TRUE(Shown().empty()) << Shown()[0].text;
}

TEST_F(Editor, OkHandsTheListBackAndCancelDoesNot) {
    Picture("a.png", 20, 10);
    form->SetEntries({dir.File("a.png")});
    form->SetFileName("/lists/x.vpl");
    Select(0);
    ASSERT_EQ(form->Model()->ThumbnailCount(), 1);
    QTimer::singleShot(0, form.get(), [this] { QTest::mouseClick(form->btnOK, Qt::LeftButton); });
    EXPECT_EQ(form->exec(), QDialog::Accepted);
    EXPECT_EQ(form->Model()->ThumbnailCount(), 0) << "thumbnails are released at close";
    EXPECT_EQ(form->Entries(), Lines{dir.File("a.png")});
    EXPECT_EQ(form->FFileName, "/lists/x.vpl");

    QTimer::singleShot(0, form.get(), [this] { QTest::mouseClick(form->Button1, Qt::LeftButton); });
    EXPECT_EQ(form->exec(), QDialog::Rejected);

    // Esc cancels; Enter presses nothing.
    QTimer::singleShot(0, form.get(), [this] {
        QTest::keyClick(form->PlayList, Qt::Key_Return);
        if (form->isVisible()) {
            QTest::keyClick(form->PlayList, Qt::Key_Escape);
        }
    });
    EXPECT_EQ(form->exec(), QDialog::Rejected);

    QTimer::singleShot(0, form.get(), [this] { form->close(); });  // the close box
    EXPECT_EQ(form->exec(), QDialog::Rejected);

    // Leaving with changes asks first: No keeps the editor open, Yes discards.
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        QTimer::singleShot(0, form.get(), [this, answer] {
            form->actClearPlayList->trigger();
            AnswerNextDialog([answer](QDialog* box) {
                EXPECT_EQ(box->windowTitle(), "Playlist");
                qobject_cast<QMessageBox*>(box)->button(answer)->click();
            });
            QTest::keyClick(form->PlayList, Qt::Key_Escape);
            if (form->isVisible()) {
                form->done(QDialog::Accepted);
            }
        });
        EXPECT_EQ(form->exec(), answer == QMessageBox::No ? QDialog::Accepted : QDialog::Rejected);
        form->SetEntries({dir.File("a.png")});
    }
}

TEST_F(Editor, RowsAreDrawnWithTheFileNameOnly) {
    form->SetEntries({"/a/very/long/folder/name/that/would/not/fit/sea.png", "/b/\xE9t\xE9.png"});
    form->show();
    QApplication::processEvents();
    const QRect row0 = form->PlayList->visualRect(form->Model()->index(0));
    EXPECT_EQ(row0.height(), 16);
    EXPECT_EQ(form->Model()->data(form->Model()->index(0), Qt::DisplayRole).toString(),
              QStringLiteral("sea.png"));
    const QImage shot = form->PlayList->viewport()->grab().toImage();
    // Something was written at the row's left, two pixels in.
    bool ink = false;
    const QRgb bg = shot.pixel(shot.width() - 2, row0.center().y());
    for (int x = 2; x < 40 && !ink; ++x) {
        for (int y = row0.top(); y <= row0.bottom() && !ink; ++y) {
            ink = shot.pixel(x, y) != bg;
        }
    }
    EXPECT_TRUE(ink);
}

}  // namespace

namespace {

TEST(FileDialogFilters, PairsBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters("Vantoria Playlist (*.vpl)|*.vpl"),
              QStringList{QStringLiteral("Vantoria Playlist (*.vpl) (*.vpl)")});
    EXPECT_EQ(QtNameFilters("All supported formats|*.bmp;*.tif;*.|Bitmap(*.bmp)|*.bmp", true),
              (QStringList{QStringLiteral("All supported formats (*.bmp *.BMP *.tif *.TIF *.)"),
                           QStringLiteral("Bitmap(*.bmp) (*.bmp *.BMP)")}));
    EXPECT_EQ(QtNameFilters("odd|"), QStringList{QStringLiteral("odd ()")});
    EXPECT_GT(QtNameFilters(GetOpenImageFilter()).size(), 25);
    EXPECT_TRUE(QtNameFilters(GetOpenImageFilter()).first().contains(QStringLiteral("*.webp")));
}

}  // namespace

// Pictures dropped from a file manager (text/uri-list): three files, a
// folder whose pictures join, and what is no picture or no local file left out.
TEST_F(Editor, DroppedPicturesAndFoldersAreAdded) {
    for (const char* name : {"a b.jpg", "c%.PNG", "d.bmp"}) {
        Picture(name, 4, 4);
    }
    WriteFileBytes(dir.File("notes.txt"), "no picture");
    ::mkdir(dir.File("more").c_str(), 0700);
    Picture("more/e.png", 4, 4);
    QMimeData data;
    data.setData(
        QStringLiteral("text/uri-list"),
        QByteArray(
            QUrl::fromLocalFile(QString::fromStdString(dir.File("a b.jpg"))).toEncoded() + "\r\n" +
            QUrl::fromLocalFile(QString::fromStdString(dir.File("c%.PNG"))).toEncoded() + "\r\n" +
            QUrl::fromLocalFile(QString::fromStdString(dir.File("d.bmp"))).toEncoded() + "\r\n" +
            QUrl::fromLocalFile(QString::fromStdString(dir.File("notes.txt"))).toEncoded() +
            "\r\n" + QUrl::fromLocalFile(QString::fromStdString(dir.File("more"))).toEncoded() +
            "\r\nhttps://example.org/f.jpg\r\n"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_EQ(form->Entries(), (Lines{dir.File("a b.jpg"), dir.File("c%.PNG"), dir.File("d.bmp"),
                                      dir.File("more/e.png")}));
    EXPECT_TRUE(Shown().empty());
}
