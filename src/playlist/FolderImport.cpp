#include <algorithm>
#include <iterator>

#include "playlist/EditorServices.h"
#include "playlist/PlaylistModel.h"
#include "wallpaper/FolderUtils.h"

bool BrowseForFolder(TEditorDialogs& dialogs, const std::string& Title, const std::string& Root,
                     std::string& Folder) {
    if (!DirectoryExists(Folder)) {
        Folder.clear();
    }
    std::string chosen;
    if (!dialogs.PickFolder(Title, Root, Folder, chosen)) {
        return false;
    }
    Folder = chosen;
    return true;
}

std::string ChooseStartFolder(const TKnownFolders& folders) {
    std::string folder = GetWallpaperDir();
    if (folder.empty()) {
        // The documents folder always gets its delimiter here, even when it
        // is unknown.
        std::string docs = folders.DocumentsFolder();
        if (docs.empty() || docs.back() != kPathDelim) {
            docs += kPathDelim;
        }
        folder = docs + "My Pictures";
    }
    if (!DirectoryExists(folder)) {
        folder = folders.WindowsDirectory();
    }
    return folder;
}

std::vector<std::string> FindImageFiles(const std::string& folder,
                                        const std::vector<std::string>& masks) {
    std::vector<std::string> found;
    if (folder.empty() || !DirectoryExists(folder)) {
        return found;
    }
    std::vector<TFolderEntry> entries;
    if (ReadFolder(folder, entries) != 0) {
        return found;
    }
    // Each mask's matches in name order: the directory's own order is a hash
    // order that users read as a shuffle.
    std::vector<std::string> matches;
    for (const auto& mask : masks) {
        matches.clear();
        FindFiles(folder, entries, mask, matches);
        SortByName(matches);
        std::move(matches.begin(), matches.end(), std::back_inserter(found));
    }
    return found;
}
