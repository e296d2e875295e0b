#include "playlist/frm_PlayList.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QApplication>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <exception>

#include "platform/MessageService.h"
#include "platform/Translate.h"
#include "platform/qt/QtMessageService.h"
#include "playlist/PlaylistFile.h"
#include "playlist/PreviewDecoder.h"
#include "playlist/QtEditorServices.h"
#include "wallpaper/FolderUtils.h"
#include "wallpaper/FreeFormats.h"

namespace {

constexpr int kRowHeight = 16;

// The hourglass while a picture is decoded, back to normal however it ends.
class TWaitCursor {
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    // Enter presses no button of this dialog.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// A button runs its action and follows its caption and enabling.
void BindButton(QPushButton* button, QAction* action) {
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
}

// A path as the user can read it in a message: line breaks and other control
// bytes written as escapes, so that the name shows on one line.
std::string EscapedPath(const std::string& path) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

// ---- TPreviewImage

void TPreviewImage::SetPicture(const QImage& picture, QSize size) {
    picture_ = picture;
    size_ = size;
    message_.clear();
    update();
}

void TPreviewImage::SetMessage(const QString& message) {
    SetPicture(QImage(), QSize());
    message_ = message;
    update();
}

void TPreviewImage::Clear() {
    SetPicture(QImage(), QSize());
}

void TPreviewImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!message_.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap,
                         message_);
        return;
    }
    if (picture_.isNull()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                       fitted);
    painter.drawImage(target, picture_);
}

// ---- TPlayListDelegate

void TPlayListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->fillRect(option.rect, selected ? option.palette.brush(group, QPalette::Highlight)
                                            : option.palette.brush(group, QPalette::Base));
    painter->setFont(option.font);
    // An entry whose file is not there is kept, greyed and marked, so that the
    // user sees why the show passes over it and may remove it.
    const bool missing = index.data(TPlaylistModel::MissingRole).toBool();
    painter->setPen(option.palette.color(missing ? QPalette::Disabled : group,
                                         selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect = option.rect.adjusted(2, 0, 0, 0);
    QString text = index.data(Qt::DisplayRole).toString();
    if (missing) {
        text += TfrmList::tr(" (missing)");
    }
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}

QSize TPlayListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kRowHeight);
}

// ---- TfrmList

TfrmList::TfrmList(TMessageService& messages, QWidget* parent)
    : QDialog(parent),
      FMessages(messages),
      FOwnDialogs(std::make_unique<TQtEditorDialogs>(this)),
      FOwnFolders(std::make_unique<TXdgKnownFolders>()),
      FDialogs(*FOwnDialogs),
      FFolders(*FOwnFolders) {
    FormCreate();
}

TfrmList::TfrmList(TMessageService& messages, TEditorDialogs& dialogs, const TKnownFolders& folders,
                   QWidget* parent)
    : QDialog(parent), FMessages(messages), FDialogs(dialogs), FFolders(folders) {
    FormCreate();
}

TfrmList::~TfrmList() = default;

void TfrmList::FormCreate() {
    setAcceptDrops(true);
    setObjectName(QStringLiteral("frmList"));
    setWindowTitle(tr("Playlist"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(452, 385);
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                   ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    Label1 = new QLabel(tr("Playlist", "the label before the file name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    Label1->adjustSize();

    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(48, 8, 281, 17);
    edtName->setReadOnly(true);
    edtName->setFrame(false);
    edtName->setFocusPolicy(Qt::NoFocus);
    edtName->setBackgroundRole(QPalette::Window);
    QPalette pal = edtName->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    edtName->setPalette(pal);
    edtName->setTextMargins(0, 0, 0, 0);

    FModel = new TPlaylistModel(this);
    PlayList = new QListView(this);
    PlayList->setObjectName(QStringLiteral("PlayList"));
    PlayList->setGeometry(8, 32, 321, 313);
    PlayList->setModel(FModel);
    PlayList->setItemDelegate(new TPlayListDelegate(PlayList));
    PlayList->setUniformItemSizes(true);
    PlayList->setSelectionMode(QAbstractItemView::SingleSelection);
    PlayList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PlayList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PlayList->setLayoutMode(QListView::SinglePass);

    Button2 = MakeButton(this, "Button2", QRect(344, 32, 100, 25));
    Button3 = MakeButton(this, "Button3", QRect(344, 64, 100, 25));
    Button4 = MakeButton(this, "Button4", QRect(344, 96, 100, 25));
    Button5 = MakeButton(this, "Button5", QRect(344, 128, 100, 25));
    Button6 = MakeButton(this, "Button6", QRect(344, 160, 100, 25));
    btnDeleteImage = MakeButton(this, "btnDeleteImage", QRect(344, 192, 97, 25));

    Preview = new TPreviewImage(this);
    Preview->setObjectName(QStringLiteral("Preview"));
    Preview->setGeometry(336, 240, kPreviewSide, kPreviewSide);

    btnOK = MakeButton(this, "btnOK", QRect(288, 352, 75, 25));
    btnOK->setText(tr("&OK"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    Button1 = MakeButton(this, "Button1", QRect(368, 352, 75, 25));
    Button1->setText(tr("&Cancel"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    const auto makeAction = [this](const char* name, const char* caption,
                                   void (TfrmList::*handler)()) {
        auto* a = new QAction(tr(caption), this);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this,
                [this, handler] { RunCommand([this, handler] { (this->*handler)(); }); });
        return a;
    };
    actAddImage = makeAction("actAddImage", QT_TR_NOOP("Add Image"), &TfrmList::actAddImageExecute);
    actAddFolder =
        makeAction("actAddFolder", QT_TR_NOOP("Add Folder"), &TfrmList::actAddFolderExecute);
    actLoadPlayList = makeAction("actLoadPlayList", QT_TR_NOOP("Load Playlist"),
                                 &TfrmList::actLoadPlayListExecute);
    actClearPlayList = makeAction("actClearPlayList", QT_TR_NOOP("Clear Playlist"),
                                  &TfrmList::actClearPlayListExecute);
    actSavePlayList = makeAction("actSavePlayList", QT_TR_NOOP("Save Playlist"),
                                 &TfrmList::actSavePlayListExecute);
    actDeleteImage =
        makeAction("actDeleteImage", QT_TR_NOOP("Remove Image"), &TfrmList::actDeleteImageExecute);
    BindButton(Button2, actAddImage);
    BindButton(Button3, actAddFolder);
    BindButton(Button4, actLoadPlayList);
    BindButton(Button5, actClearPlayList);
    BindButton(Button6, actSavePlayList);
    BindButton(btnDeleteImage, actDeleteImage);

    setTabOrder(Button1, btnOK);
    setTabOrder(btnOK, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Button5);
    setTabOrder(Button5, Button6);
    setTabOrder(Button6, PlayList);
    setTabOrder(PlayList, btnDeleteImage);

    // The enabling rules follow every change of the list and its selection.
    connect(FModel, &QAbstractItemModel::rowsInserted, this, &TfrmList::UpdateActions);
    connect(FModel, &QAbstractItemModel::rowsRemoved, this, &TfrmList::UpdateActions);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TfrmList::UpdateActions);
    connect(PlayList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                UpdateActions();
                if (!selected.isEmpty()) {
                    RunCommand([this] { PlayListClick(); });
                }
            });

    // Delete in the list removes the selected entry, as Remove Image does.
    auto* remove =
        new QShortcut(QKeySequence::Delete, PlayList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, actDeleteImage, &QAction::trigger);

    FMasks = BuildMasks(GetAllFormatMasks());
    OpenImageFilter = GetOpenImageFilter();
    UpdateActions();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    Button1->setFocus();
}

void TfrmList::RunCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        FMessages.ReportException(e.what());
    } catch (...) {
        FMessages.ReportException(TrText("TfrmList", "Unknown error"));
    }
}

void TfrmList::UpdateActions() {
    const bool any = FModel->Count() > 0;
    actClearPlayList->setEnabled(any);
    actSavePlayList->setEnabled(any);
    actDeleteImage->setEnabled(SelectedRow() >= 0);
}

int TfrmList::SelectedRow() const {
    const QModelIndexList rows = PlayList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void TfrmList::SelectRow(int row) {
    PlayList->setCurrentIndex(FModel->index(row));
}

void TfrmList::SetEntries(std::vector<std::string> entries) {
    FModel->SetEntries(std::move(entries));
}

void TfrmList::SetFileName(const std::string& fileName) {
    FFileName = fileName;
    edtName->setText(DisplayText(fileName));
    edtName->setCursorPosition(0);
}

void TfrmList::AddEntry(const std::string& Path) {
    FModel->AddEntry(Path);
}

void TfrmList::FreeThumbnails() {
    FModel->FreeThumbnails();
}

void TfrmList::ClearEntries() {
    FreeThumbnails();
    FModel->Clear();
    Preview->Clear();
}

void TfrmList::LoadPlayListFile(const std::string& FileName) {
    std::vector<std::string> lines = ReadPlaylistFile(FileName);
    FModel->SetEntries(std::move(lines));
    SetFileName(FileName);
}

void TfrmList::SavePlayListFile(const std::string& FileName) {
    WritePlaylistFile(FileName, FModel->Entries());
    SetFileName(FileName);
}

void TfrmList::ImportFolder(const std::string& Folder) {
    AddStorable(FindImageFiles(Folder, FMasks));
}

void TfrmList::FollowFolder(const std::string& Folder) {
    if (!Folder.empty() && DirectoryExists(Folder)) {
        AddStorable({Folder});
    }
}

void TfrmList::SetFolderCounter(std::function<int(const std::string&)> counter) {
    FModel->SetFolderCounter(std::move(counter));
}

void TfrmList::AddStorable(const std::vector<std::string>& paths) {
    std::vector<std::string> storable;
    storable.reserve(paths.size());
    for (const std::string& path : paths) {
        (PlaylistCanStore(path) ? storable : FUnstorable).push_back(path);
    }
    FModel->AddEntries(storable);
}

void TfrmList::ReportUnstorable() {
    if (FUnstorable.empty()) {
        return;
    }
    constexpr std::size_t kShown = 3;
    const std::size_t count = FUnstorable.size();
    std::string text = count == 1
                           ? TrText("TfrmList",
                                    "1 file was not added: its name holds a line break, "
                                    "which a playlist file cannot store.")
                           : TextArgs(TrText("TfrmList",
                                             "%1 files were not added: their names hold a "
                                             "line break, which a playlist file cannot store."),
                                      {std::to_string(count)});
    for (std::size_t i = 0; i < count && i < kShown; ++i) {
        text += "\n\"" + EscapedPath(FUnstorable[i]) + "\"";
    }
    if (count > kShown) {
        text +=
            "\n" + TextArgs(TrText("TfrmList", "and %1 more"), {std::to_string(count - kShown)});
    }
    FUnstorable.clear();
    FMessages.ShowWarning(text);
}

QRect TfrmList::ThumbnailRect() const {
    const QSize s = Preview->PictureSize();
    return ThumbnailRectFor(s.width(), s.height());
}

void TfrmList::actAddImageExecute() {
    std::vector<std::string> files;
    if (FDialogs.OpenImage(OpenImageFilter, files)) {
        AddStorable(files);
        ReportUnstorable();
    }
}

void TfrmList::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TfrmList::dropEvent(QDropEvent* event) {
    // Pictures and folders from a file manager: a folder adds the pictures
    // directly in it, as Add Folder does; a file is added when its name
    // carries a picture's extension.
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QByteArray local = QFile::encodeName(url.toLocalFile());
        const std::string path(local.constData(), std::size_t(local.size()));
        if (DirectoryExists(path)) {
            const std::vector<std::string> found = FindImageFiles(path, FMasks);
            paths.insert(paths.end(), found.begin(), found.end());
        } else if (HasPictureExtension(path, FMasks)) {
            paths.push_back(path);
        }
    }
    event->acceptProposedAction();
    FUnstorable.clear();
    AddStorable(paths);
    ReportUnstorable();
}

void TfrmList::actAddFolderExecute() {
    try {
        if (FFolder.empty()) {
            FFolder = ChooseStartFolder(FFolders);
        }
        // One trailing delimiter goes, but the root folder stays itself.
        if (FFolder.size() > 1 && FFolder.back() == kPathDelim) {
            FFolder.pop_back();
        }
        if (!BrowseForFolder(FDialogs, TrText("TfrmList", "Select Wallpapers folder"), "",
                             FFolder)) {
            return;
        }
        FUnstorable.clear();
        switch (FDialogs.ChooseFolderUse(FFolder)) {
            case TEditorDialogs::TFolderUse::Follow:
                FollowFolder(FFolder);
                ReportUnstorable();
                return;
            case TEditorDialogs::TFolderUse::Import:
                ImportFolder(FFolder);
                break;
            case TEditorDialogs::TFolderUse::Cancel:
                return;
        }
        if (!FUnstorable.empty()) {
            ReportUnstorable();
        } else if (FModel->Count() == 0) {
            FMessages.ShowWarning(TrText("TfrmList", "No wallpapers found in the selected folder"));
        }
    } catch (...) {
        FMessages.ShowError(TrText("TfrmList", "An error occurs while reading file list"));
    }
}

void TfrmList::actLoadPlayListExecute() {
    std::string file;
    if (FDialogs.OpenList(file)) {
        LoadPlayListFile(file);
    }
}

void TfrmList::actClearPlayListExecute() {
    ClearEntries();
}

void TfrmList::actSavePlayListExecute() {
    if (FModel->Count() == 0) {
        FMessages.ShowError(TrText("TfrmList", "Playlist is empty"));
        return;
    }
    std::string file = FFileName;
    if (FDialogs.SaveList(file)) {
        SavePlayListFile(file);
    }
}

void TfrmList::actDeleteImageExecute() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    FModel->SetThumbnail(row, QImage());
    // The selection goes before the row: a list in single selection moves a
    // removed current row's selection to its neighbour, whose picture would
    // then be decoded (and its errors shown) though the user never picked it.
    PlayList->selectionModel()->clearSelection();
    PlayList->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    FModel->RemoveEntry(row);
    UpdateActions();
}

void TfrmList::PlayListClick() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    if (FModel->HasThumbnail(row)) {
        const QImage& thumb = FModel->Thumbnail(row);
        Preview->SetPicture(thumb.copy(), thumb.size());
        return;
    }
    const std::string path = FModel->Entry(row);
    if (DirectoryExists(path)) {
        Preview->SetMessage(tr("A folder: its pictures are shown in turn"));
        return;
    }
    TWaitCursor wait;
    TPreviewPicture picture;
    try {
        picture = LoadPreviewPicture(path);
    } catch (const EPreviewError& e) {
        // Said in the preview, not in a box: arrowing through a list of
        // missing or broken files must not stop at each row.
        Preview->SetMessage(DisplayText(e.what()));
        return;
    }
    Preview->SetPicture(picture.image, picture.size);
    const QRect r = ThumbnailRect();
    // A picture of extreme proportions still gets a visible thumbnail.
    const QSize thumbSize = r.size().expandedTo(QSize(1, 1));
    FModel->SetThumbnail(
        row, picture.image.scaled(thumbSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void TfrmList::FormClose() {
    FreeThumbnails();
}

void TfrmList::showEvent(QShowEvent* event) {
    FOpenedWith = Entries();
    QDialog::showEvent(event);
}

void TfrmList::done(int result) {
    if (result != QDialog::Accepted && Entries() != FOpenedWith &&
        QMessageBox::question(this, tr("Playlist"), tr("Discard the changes to the playlist?"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    FormClose();
    QDialog::done(result);
}
