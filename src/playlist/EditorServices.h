#pragma once

#include <string>
#include <vector>

#include "wallpaper/FolderUtils.h"

// What the playlist editor asks of the desktop: its file choosers, the folder
// picker and two well-known folders. The program uses the Qt and XDG ones
// (QtEditorServices.h); a Windows build fills the same interfaces with the
// shell's dialogs, and tests answer for the user.

class TEditorDialogs {
public:
    // What Add Folder makes of the folder chosen: one entry that follows
    // it, or its pictures added once; Cancel adds nothing.
    enum class TFolderUse { Follow, Import, Cancel };

    virtual ~TEditorDialogs() = default;
    // The open-picture dialog, one file or several; filter in the
    // "text|masks|..." form.
    virtual bool OpenImage(const std::string& filter, std::vector<std::string>& fileNames) = 0;
    // The Load Playlist dialog; a name that does not exist is accepted.
    virtual bool OpenList(std::string& fileName) = 0;
    // The Save Playlist dialog, preset with fileName; no overwrite prompt.
    virtual bool SaveList(std::string& fileName) = 0;
    // A modal folder picker titled title that opens on start (when not
    // empty), confirms only real directories and, when root is not empty,
    // cannot leave root. True and folder := the choice on OK.
    virtual bool PickFolder(const std::string& title, const std::string& root,
                            const std::string& start, std::string& folder) = 0;
    // Asks what to make of `folder`; where nobody can be asked, its
    // pictures are added once.
    virtual TFolderUse ChooseFolderUse(const std::string& folder) {
        (void)folder;
        return TFolderUse::Import;
    }
};

class TKnownFolders {
public:
    virtual ~TKnownFolders() = default;
    // The user's documents folder; empty when unknown.
    virtual std::string DocumentsFolder() const = 0;
    // The last start folder for folder import (the Windows directory on
    // Windows); empty when unknown.
    virtual std::string WindowsDirectory() const = 0;
};

// The folder picker with folder import's rule: a folder that is not an
// existing directory is forgotten (folder := "") before the picker opens.
// True and folder := the chosen path on OK; false on Cancel.
bool BrowseForFolder(TEditorDialogs& dialogs, const std::string& Title, const std::string& Root,
                     std::string& Folder);

// The folder Add Folder starts from when none was chosen yet: the system's
// wallpaper folder, else "My Pictures" in the documents folder, and the
// WindowsDirectory() when the chosen one is not an existing directory.
std::string ChooseStartFolder(const TKnownFolders& folders);

// The image files directly inside folder: for each mask in order, the
// matching non-directory entries in the order the directory search returns
// them. Nothing when folder is empty or not an existing directory.
std::vector<std::string> FindImageFiles(const std::string& folder,
                                        const std::vector<std::string>& masks);
