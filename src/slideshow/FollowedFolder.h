#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "wallpaper/FolderUtils.h"

// A playlist entry that names a folder: the pictures in it and, when
// recursive, in its subfolders, in name order (a folder's own pictures
// first, then each subfolder's in turn). Held as a tree of folders, so that
// a picture that joins or leaves costs a search in its own folder, never a
// rescan; each change gives the place, among this entry's pictures, where
// the show's list changes. A tree stops at 10,000 folders and 32 levels.
class TFollowedFolder {
public:
    // One change of the pictures, to be applied in turn: `path` joins at
    // place `at`, or the picture at `at` leaves.
    struct TChange {
        bool joined = false;
        std::size_t at = 0;
        std::string path;
    };
    // What a change did besides: folders that came (to watch) and went.
    struct TChanges {
        std::vector<TChange> pictures;
        std::vector<std::string> foldersCame;
        std::vector<std::string> foldersWent;
    };

    // Reads the folder (and its subfolders when recursive). A folder that
    // cannot be read holds nothing; Readable() says so.
    TFollowedFolder(const std::string& folder, bool recursive, const TPictureNames& names);
    ~TFollowedFolder();

    bool Readable() const { return readable_; }
    std::size_t Count() const;
    // Appends the pictures' paths in order.
    void AppendPictures(std::vector<std::string>& out) const;
    // Every folder of the tree, the entry's own first.
    std::vector<std::string> Folders() const;
    bool Holds(const std::string& folder) const { return nodes_.count(folder) != 0; }

    // `name` came into / left `folder` (a folder of this tree; else nothing
    // happens). An empty name leaving: `folder` itself went.
    void Appeared(const std::string& folder, const std::string& name, TChanges& changes);
    void Vanished(const std::string& folder, const std::string& name, TChanges& changes);
    // Reads `folder` again and brings what is held in line with it.
    void Reread(const std::string& folder, TChanges& changes);

private:
    struct TNode;
    std::unique_ptr<TNode> Read(const std::string& path, TNode* parent, TChanges* changes);
    void Forget(TNode& node, TChanges& changes);
    // The place of the node's first picture among the entry's pictures.
    std::size_t Offset(const TNode& node) const;
    void Insert(TNode& node, const std::string& name, TChanges& changes);
    void AddFolder(TNode& node, const std::string& name, TChanges& changes);
    void Remove(TNode& node, const std::string& name, TChanges& changes);
    static void Grow(TNode* node, long long by);

    bool recursive_;
    const TPictureNames& names_;
    std::unique_ptr<TNode> root_;
    std::unordered_map<std::string, TNode*> nodes_;
    // The folders in the tree by device and inode: a link back to a folder
    // already there is not entered again, so a loop ends.
    std::set<std::pair<dev_t, ino_t>> seen_;
    bool readable_ = false;
};
