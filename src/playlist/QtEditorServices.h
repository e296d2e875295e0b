#pragma once

#include <QStringList>

#include "playlist/EditorServices.h"

class QWidget;

// The editor's dialogs as Qt's file dialogs, modal to parent.
class TQtEditorDialogs : public TEditorDialogs {
public:
    explicit TQtEditorDialogs(QWidget* parent) : parent_(parent) {}
    bool OpenImage(const std::string& filter, std::vector<std::string>& fileNames) override;
    bool OpenList(std::string& fileName) override;
    bool SaveList(std::string& fileName) override;
    bool PickFolder(const std::string& title, const std::string& root, const std::string& start,
                    std::string& folder) override;
    TFolderUse ChooseFolderUse(const std::string& folder) override;

private:
    QWidget* parent_;
};

// The user's XDG documents folder, and the XDG pictures folder (home when
// there is none) in place of the Windows directory.
class TXdgKnownFolders : public TKnownFolders {
public:
    std::string DocumentsFolder() const override;
    std::string WindowsDirectory() const override;
};

// A "text|masks|text|masks" filter as Qt's name filters: "text (m1 m2)";
// with anyCase each mask also in capitals ("*.jpg *.JPG").
QStringList QtNameFilters(const std::string& filter, bool anyCase = false);
