#pragma once

#include <QDialog>
#include <QImage>
#include <QSize>
#include <QStyledItemDelegate>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playlist/EditorServices.h"
#include "playlist/PlaylistModel.h"

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class TMessageService;

// The preview: its picture scaled up or down to fit, proportions kept, centred.
class TPreviewImage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    // picture is what is drawn; size is the picture's own size (the decoders
    // may hand over a reduced image of a large picture).
    void SetPicture(const QImage& picture, QSize size);
    void Clear();
    const QImage& Picture() const { return picture_; }
    QSize PictureSize() const { return size_; }
    bool Empty() const { return picture_.isNull(); }
    // Why the selected entry cannot be shown, in place of its picture; a new
    // picture takes its place again.
    void SetMessage(const QString& message);
    const QString& Message() const { return message_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QSize size_;
    QString message_;
};

// Draws a row of the playlist: the entry's file-name part, 2 pixels in from
// the left, on the row's background.
class TPlayListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The playlist editor: a modal dialog created for one use. The main window
// hands it a copy of its playlist, file name and import folder, runs exec(),
// and on QDialog::Accepted takes back Entries(), FFolder and FFileName, then
// calls SavePlayListFile(FFileName) when that name is not empty.
class TfrmList : public QDialog {
    Q_OBJECT

public:
    // The editor with Qt's file dialogs and the XDG folders.
    explicit TfrmList(TMessageService& messages, QWidget* parent = nullptr);
    // The editor with the given dialogs and folders (tests answer for the user).
    TfrmList(TMessageService& messages, TEditorDialogs& dialogs, const TKnownFolders& folders,
             QWidget* parent = nullptr);
    ~TfrmList() override;

    // How many pictures a followed folder stands for (-1: no folder), for
    // the list's rows; set by the owner of the show, which knows the rule.
    void SetFolderCounter(std::function<int(const std::string&)> counter);

    // The playlist being edited, in order.
    std::vector<std::string> Entries() const { return FModel->Entries(); }
    void SetEntries(std::vector<std::string> entries);
    // FFileName and the name field together.
    void SetFileName(const std::string& fileName);

    // The playlist file the dialog is bound to, shown in edtName.
    std::string FFileName;
    // The folder last chosen by Add Folder.
    std::string FFolder;
    // The image masks of folder import, in the image library's format order.
    std::vector<std::string> FMasks;

    void AddEntry(const std::string& Path);
    void ClearEntries();
    // Replaces the entries by the file's lines; raises EPlaylistFileError
    // ("Cannot open file ...") and changes nothing when it cannot be read.
    void LoadPlayListFile(const std::string& FileName);
    // Writes the entries to the file (replacing it) and binds the dialog to
    // it; raises EPlaylistFileError ("Cannot create file ...") and keeps the
    // old binding on failure.
    void SavePlayListFile(const std::string& FileName);
    void ImportFolder(const std::string& Folder);
    // Adds Folder as one entry that stands for the pictures in it.
    void FollowFolder(const std::string& Folder);
    void FreeThumbnails();
    QRect ThumbnailRect() const;

    // Command handlers, bound to the actions below.
    void actAddImageExecute();
    void actAddFolderExecute();
    void actLoadPlayListExecute();
    void actClearPlayListExecute();
    void actSavePlayListExecute();
    void actDeleteImageExecute();
    // The selection changed: show the selected entry's picture.
    void PlayListClick();
    // Re-evaluates the actions' enabling rules.
    void UpdateActions();

    TPlaylistModel* Model() const { return FModel; }
    int SelectedRow() const;
    void SelectRow(int row);

    QLabel* Label1 = nullptr;
    QLineEdit* edtName = nullptr;
    QListView* PlayList = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* btnDeleteImage = nullptr;
    TPreviewImage* Preview = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* Button1 = nullptr;
    QAction* actAddImage = nullptr;
    QAction* actAddFolder = nullptr;
    QAction* actLoadPlayList = nullptr;
    QAction* actClearPlayList = nullptr;
    QAction* actSavePlayList = nullptr;
    QAction* actDeleteImage = nullptr;
    // The Add Image dialog's filter, from the image library's formats.
    std::string OpenImageFilter;

public slots:
    // Cancel, Esc and the close box ask before changes to the list are
    // discarded; No keeps the editor open.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    // Runs a command; an exception that escapes it reaches the error report
    // and the dialog stays open.
    void RunCommand(const std::function<void()>& command);
    // Appends the paths a playlist file can hold; the others are kept aside
    // for ReportUnstorable.
    void AddStorable(const std::vector<std::string>& paths);
    // One warning for the paths left out by the command that just ran.
    void ReportUnstorable();

    TMessageService& FMessages;
    std::unique_ptr<TEditorDialogs> FOwnDialogs;
    std::unique_ptr<TKnownFolders> FOwnFolders;
    TEditorDialogs& FDialogs;
    const TKnownFolders& FFolders;
    TPlaylistModel* FModel = nullptr;
    // Paths found or chosen that a playlist file cannot hold (a file name
    // with a line break): never taken in, since the list could then not be
    // saved at all.
    std::vector<std::string> FUnstorable;
    // The list as the editor opened with it.
    std::vector<std::string> FOpenedWith;
};
