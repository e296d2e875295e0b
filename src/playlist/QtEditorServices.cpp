#include "playlist/QtEditorServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include "platform/Translate.h"
#include "platform/qt/QtMessageService.h"
#include "wallpaper/FolderUtils.h"

namespace {

// Asked for when a dialog opens, so that it is in the user's language.
std::string PlaylistFilter() {
    return TrText("TQtEditorDialogs", "Vantoria Playlist (*.vpl)") + "|*.vpl";
}

std::string Bytes(const QString& name) {
    const QByteArray b = QFile::encodeName(name);
    return std::string(b.constData(), std::size_t(b.size()));
}

QString Name(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

bool RunFileDialog(QFileDialog& dialog, std::string& fileName) {
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    fileName = Bytes(dialog.selectedFiles().constFirst());
    return true;
}

bool IsInside(const QString& dir, const QString& root) {
    const QString d = QDir::cleanPath(dir);
    const QString r = QDir::cleanPath(root);
    return d == r || d.startsWith(r.endsWith('/') ? r : r + '/');
}

}  // namespace

QStringList QtNameFilters(const std::string& filter, bool anyCase) {
    const QStringList parts = DisplayText(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks;
        for (const QString& mask : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            masks << mask;
            if (anyCase && mask.toUpper() != mask) {
                masks << mask.toUpper();
            }
        }
        out << parts[i] + " (" + masks.join(' ') + ")";
    }
    return out;
}

bool TQtEditorDialogs::OpenImage(const std::string& filter, std::vector<std::string>& fileNames) {
    QFileDialog dialog(parent_, QCoreApplication::translate("TQtEditorDialogs", "Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // Qt's dialog matches masks case-sensitively here, while picture names
    // often come in capitals from cameras: each mask is offered in both
    // cases, and the dialog shows only the texts of the filter.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(QtNameFilters(filter, true));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    fileNames.clear();
    for (const QString& file : dialog.selectedFiles()) {
        fileNames.push_back(Bytes(file));
    }
    return true;
}

bool TQtEditorDialogs::OpenList(std::string& fileName) {
    QFileDialog dialog(parent_, QCoreApplication::translate("TQtEditorDialogs", "Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("vpl"));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(QtNameFilters(PlaylistFilter(), true));
    return RunFileDialog(dialog, fileName);
}

bool TQtEditorDialogs::SaveList(std::string& fileName) {
    QFileDialog dialog(parent_, QCoreApplication::translate("TQtEditorDialogs", "Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QStringLiteral("vpl"));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(QtNameFilters(PlaylistFilter(), true));
    if (!fileName.empty()) {
        dialog.selectFile(Name(fileName));
    }
    return RunFileDialog(dialog, fileName);
}

bool TQtEditorDialogs::PickFolder(const std::string& title, const std::string& root,
                                  const std::string& start, std::string& folder) {
    QFileDialog dialog(parent_, Name(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!start.empty()) {
        dialog.setDirectory(Name(start));
    } else if (!root.empty()) {
        dialog.setDirectory(Name(root));
    }
    if (!root.empty()) {
        const QString rootName = Name(root);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [&dialog, rootName](const QString& dir) {
                             if (!IsInside(dir, rootName)) {
                                 dialog.setDirectory(rootName);
                             }
                         });
    }
    std::string chosen;
    if (!RunFileDialog(dialog, chosen) || !DirectoryExists(chosen) ||
        (!root.empty() && !IsInside(Name(chosen), Name(root)))) {
        return false;
    }
    folder = chosen;
    return true;
}

std::string TXdgKnownFolders::DocumentsFolder() const {
    return Bytes(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

std::string TXdgKnownFolders::WindowsDirectory() const {
    const std::string pictures =
        Bytes(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    if (DirectoryExists(pictures)) {
        return pictures;
    }
    return Bytes(QDir::homePath());
}

TEditorDialogs::TFolderUse TQtEditorDialogs::ChooseFolderUse(const std::string& folder) {
    QMessageBox box(
        QMessageBox::Question, QCoreApplication::translate("TQtEditorDialogs", "Add Folder"),
        QCoreApplication::translate("TQtEditorDialogs",
                                    "Follow \"%1\"?\n\nA followed folder is one entry that "
                                    "stands for the pictures in it, kept current while "
                                    "Vantoria runs. Or its pictures can be added now, once.")
            .arg(Name(folder)),
        QMessageBox::Cancel, parent_);
    QPushButton* follow =
        box.addButton(QCoreApplication::translate("TQtEditorDialogs", "&Follow the folder"),
                      QMessageBox::AcceptRole);
    QPushButton* once =
        box.addButton(QCoreApplication::translate("TQtEditorDialogs", "&Add its pictures once"),
                      QMessageBox::AcceptRole);
    follow->setObjectName(QStringLiteral("btnFollow"));
    once->setObjectName(QStringLiteral("btnImport"));
    box.setDefaultButton(follow);
    box.exec();
    if (box.clickedButton() == follow) {
        return TFolderUse::Follow;
    }
    return box.clickedButton() == once ? TFolderUse::Import : TFolderUse::Cancel;
}
