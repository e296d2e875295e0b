// The Load List hand-over between the main window and the playlist editor.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "../dialogs/ModalHelper.h"
#include "app/Main.h"
#include "playlist/EditorServices.h"
#include "playlist/PlaylistFile.h"
#include "playlist/frm_PlayList.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/MainDialogs.h"
#include "support/Recorders.h"
#include "support/TempDir.h"

namespace {

class TNoDialogs : public TEditorDialogs {
public:
    bool OpenImage(const std::string&, std::vector<std::string>&) override { return false; }
    bool OpenList(std::string&) override { return false; }
    bool SaveList(std::string&) override { return false; }
    bool PickFolder(const std::string&, const std::string&, const std::string&,
                    std::string&) override {
        return false;
    }
};

class TNoFolders : public TKnownFolders {
public:
    std::string DocumentsFolder() const override { return {}; }
    std::string WindowsDirectory() const override { return {}; }
};

class LoadListTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        services.dialogs = &answers;
        frm = std::make_unique<TfrmMain>(services);
        frm->SlideShow().SetPlaylist({"/old/a.jpg", "/old/b.jpg"});
        frm->Settings().FPlayListFile = "/old/list.vpl";
        frm->Settings().FFolder = "/old";
        frm->SlideShow().SetPosition(1);
    }
    void TearDown() override {
        frm.reset();
        RegSetStore(nullptr);
    }
    // The user edits the list in the editor, then confirms or cancels.
    void Answer(std::function<void(TfrmList&)> edit, bool confirm) {
        answers.editor = [this, edit, confirm] {
            auto editor = std::make_unique<TfrmList>(messages, dialogs, folders);
            TfrmList* e = editor.get();
            seen = {};
            QTimer::singleShot(0, e, [this, e, edit, confirm] {
                seen.first = e->Entries();
                seen.second = {e->FFileName, e->FFolder, e->edtName->text().toStdString()};
                edit(*e);
                confirm ? e->accept() : e->reject();
            });
            return editor;
        };
    }
    std::pair<std::vector<std::string>, std::vector<std::string>> seen;
    TTempDir dir;
    std::shared_ptr<TMemoryRegistryStore> store;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1024, 768, 32}};
    TRecordingApplier applier;
    TMainServices services;
    TAnsweringDialogs answers;
    TNoDialogs dialogs;
    TNoFolders folders;
    std::unique_ptr<TfrmMain> frm;
};

TEST_F(LoadListTest, ConfirmedEditorReplacesTheListSavesTheFileAndTheSettings) {
    const std::string file = dir.File("new list.vpl");
    Answer(
        [&](TfrmList& e) {
            e.SetEntries({"/pics/x.jpg", "/pics/y \"q\".png"});
            e.SetFileName(file);
            e.FFolder = "/pics";
        },
        true);
    frm->EditPlaylist();
    EXPECT_EQ(seen.first, (std::vector<std::string>{"/old/a.jpg", "/old/b.jpg"}));
    EXPECT_EQ(seen.second, (std::vector<std::string>{"/old/list.vpl", "/old", "/old/list.vpl"}));
    EXPECT_EQ(frm->SlideShow().Playlist(),
              (std::vector<std::string>{"/pics/x.jpg", "/pics/y \"q\".png"}));
    EXPECT_EQ(frm->Settings().FPlayListFile, file);
    EXPECT_EQ(frm->Settings().FFolder, "/pics");
    EXPECT_EQ(frm->SlideShow().Position(), 0);
    EXPECT_EQ(ReadFileBytes(file), "/pics/x.jpg\r\n/pics/y \"q\".png\r\n");
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, settings::kKey, "Playlist", ""), file);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, settings::kKey, "Folder", ""), "/pics");
    EXPECT_TRUE(applier.applied.empty()) << "nothing is applied to the desktop";
}

TEST_F(LoadListTest, ConfirmedWithoutANameKeepsTheListInMemoryOnly) {
    Answer(
        [](TfrmList& e) {
            e.SetEntries({"/pics/only.jpg"});
            e.SetFileName("");
        },
        true);
    frm->EditPlaylist();
    EXPECT_EQ(frm->SlideShow().Playlist(), std::vector<std::string>{"/pics/only.jpg"});
    EXPECT_EQ(frm->Settings().FPlayListFile, "");
    EXPECT_TRUE(frm->actNext->isEnabled());
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, settings::kKey, "Playlist", "unset"), "");
}

TEST_F(LoadListTest, CancelledEditorChangesNothing) {
    Answer(
        [](TfrmList& e) {
            e.SetEntries({});
            // Cancel with changes asks first: the user discards them.
            AnswerNextDialog([](QDialog* box) {
                qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
            });
        },
        false);
    frm->EditPlaylist();
    EXPECT_EQ(frm->SlideShow().Playlist(), (std::vector<std::string>{"/old/a.jpg", "/old/b.jpg"}));
    EXPECT_EQ(frm->Settings().FPlayListFile, "/old/list.vpl");
    EXPECT_EQ(frm->SlideShow().Position(), 1);
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, settings::kKey));
}

TEST_F(LoadListTest, AFileThatCannotBeWrittenIsReportedAndTheListStillTakesEffect) {
    const std::string bad = dir.File("no such folder/list.vpl");
    Answer(
        [&](TfrmList& e) {
            e.SetEntries({"/pics/x.jpg"});
            e.SetFileName(bad);
        },
        true);
    frm->actLoadList->trigger();
    EXPECT_EQ(frm->SlideShow().Playlist(), std::vector<std::string>{"/pics/x.jpg"});
    EXPECT_EQ(frm->SlideShow().Position(), 1)
        << "position and settings stay when the file cannot be written";
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().kind, "exception");
    EXPECT_EQ(messages.shown.back().text.rfind("Cannot create file \"" + bad + "\". ", 0), 0u)
        << messages.shown.back().text;
}

TEST_F(LoadListTest, AnEntryMissingAtStartIsShownAsMissingAndSavedBack) {
    const std::string list = dir.File("list.vpl");
    const std::vector<std::string> entries = {
        dir.File("a.jpg"), dir.File("on a drive not mounted.jpg"), dir.File("c.jpg")};
    WriteFileBytes(entries[0], "x");
    WriteFileBytes(entries[2], "x");
    WritePlaylistFile(list, entries);
    RegEnsureKey(HKEY_CURRENT_USER, settings::kKey);
    RegWriteText(HKEY_CURRENT_USER, settings::kKey, "Playlist", list);
    frm = std::make_unique<TfrmMain>(services);
    frm->StartUp();
    std::vector<bool> missing;
    Answer(
        [&](TfrmList& e) {
            for (int row = 0; row < e.Model()->rowCount(); ++row) {
                missing.push_back(
                    e.Model()->data(e.Model()->index(row), TPlaylistModel::MissingRole).toBool());
            }
        },
        true);
    frm->EditPlaylist();
    EXPECT_EQ(missing, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(ReadPlaylistFile(list), entries)
        << "OK never shortens the list behind the user's back";
}

}  // namespace
