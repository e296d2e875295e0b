#include <algorithm>

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

std::vector<std::string> BuildMasks(const std::string& joinedMasks) {
    std::vector<std::string> masks;
    std::size_t start = 0;
    while (true) {
        const auto sep = joinedMasks.find_first_of(";,", start);
        masks.push_back(joinedMasks.substr(start, sep - start));
        if (sep == std::string::npos) {
            break;
        }
        start = sep + 1;
    }
    return masks;
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
    // Each mask's matches in name order, without regard to case, as a file
    // manager lists them: the directory's own order is a hash order that
    // users read as a shuffle. Names equal but for case keep their byte
    // order, so the result does not depend on the file system.
    struct TKeyed {
        std::string fold;
        std::string path;
    };
    std::vector<std::string> matches;
    std::vector<TKeyed> keyed;
    for (const auto& mask : masks) {
        matches.clear();
        FindFiles(folder, entries, mask, matches);
        keyed.clear();
        keyed.reserve(matches.size());
        for (std::string& path : matches) {
            keyed.push_back({FoldPathCase(EntryFileName(path)), std::move(path)});
        }
        std::sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
            return a.fold != b.fold ? a.fold < b.fold : a.path < b.path;
        });
        for (TKeyed& k : keyed) {
            found.push_back(std::move(k.path));
        }
    }
    return found;
}

bool HasPictureExtension(const std::string& path, const std::vector<std::string>& masks) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto lower = [](std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') {
                c = char(c - 'A' + 'a');
            }
        }
        return text;
    };
    const std::string lowered = lower(name);
    for (const std::string& mask : masks) {
        if (mask.size() < 3 || mask.compare(0, 2, "*.") != 0) {
            continue;
        }
        const std::string ext = lower(mask.substr(1));
        if (lowered.size() > ext.size() &&
            lowered.compare(lowered.size() - ext.size(), ext.size(), ext) == 0) {
            return true;
        }
    }
    return false;
}
