#include "slideshow/FollowedFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <unordered_set>

struct TFollowedFolder::TNode {
    std::string path;
    std::string name;  // the last part of the path: its place among its siblings
    TNode* parent = nullptr;
    std::pair<dev_t, ino_t> id{};
    std::vector<std::string> pictures;            // names, in name order
    std::vector<std::unique_ptr<TNode>> folders;  // in name order
    std::size_t total = 0;                        // pictures here and below
};

namespace {

// A folder entry naming "/" or a whole disk must not hold up the start for
// minutes nor take every watch the system has: subfolders beyond these
// bounds are not entered.
constexpr std::size_t kMaxFolders = 10000;
constexpr int kMaxDepth = 32;

std::string Normalised(std::string folder) {
    while (folder.size() > 1 && folder.back() == kPathDelim) {
        folder.pop_back();
    }
    return folder;
}

// The place of `name` among names in name order, and whether it is there.
std::pair<std::size_t, bool> Find(const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::lower_bound(names.begin(), names.end(), name, NameBefore);
    return {std::size_t(it - names.begin()), it != names.end() && *it == name};
}

}  // namespace

TFollowedFolder::TFollowedFolder(const std::string& folder, bool recursive,
                                 const TPictureNames& names)
    : recursive_(recursive), names_(names) {
    root_ = Read(Normalised(folder), nullptr, nullptr);
    readable_ = root_ != nullptr;
    if (!root_) {
        root_ = std::make_unique<TNode>();
        root_->path = Normalised(folder);
    }
}

TFollowedFolder::~TFollowedFolder() = default;

std::size_t TFollowedFolder::Count() const {
    return root_->total;
}

std::unique_ptr<TFollowedFolder::TNode> TFollowedFolder::Read(const std::string& path,
                                                              TNode* parent, TChanges* changes) {
    int depth = 0;
    for (const TNode* up = parent; up; up = up->parent) {
        ++depth;
    }
    if (parent && (nodes_.size() >= kMaxFolders || depth >= kMaxDepth)) {
        return nullptr;
    }
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        seen_.count({st.st_dev, st.st_ino}) != 0) {
        return nullptr;
    }
    std::vector<TFolderEntry> entries;
    if (ReadFolder(path, entries) != 0) {
        return nullptr;
    }
    auto node = std::make_unique<TNode>();
    node->path = path;
    node->name = EntryFileName(path);
    node->parent = parent;
    node->id = {st.st_dev, st.st_ino};
    seen_.insert(node->id);
    nodes_[path] = node.get();
    if (changes) {
        changes->foldersCame.push_back(path);
    }
    std::vector<std::string> folders;
    for (TFolderEntry& e : entries) {
        if (!e.directory) {
            if (names_.Matches(e.name)) {
                node->pictures.push_back(std::move(e.name));
            }
        } else if (recursive_ && e.name != "." && e.name != "..") {
            folders.push_back(std::move(e.name));
        }
    }
    SortByName(node->pictures);
    SortByName(folders);
    node->total = node->pictures.size();
    for (const std::string& name : folders) {
        if (auto sub = Read(AddBackslash(path) + name, node.get(), changes)) {
            node->total += sub->total;
            node->folders.push_back(std::move(sub));
        }
    }
    return node;
}

void TFollowedFolder::AppendPictures(std::vector<std::string>& out) const {
    const auto walk = [&out](const TNode& node, const auto& self) -> void {
        const std::string prefix = AddBackslash(node.path);
        for (const std::string& name : node.pictures) {
            out.push_back(prefix + name);
        }
        for (const auto& sub : node.folders) {
            self(*sub, self);
        }
    };
    walk(*root_, walk);
}

std::vector<std::string> TFollowedFolder::Folders() const {
    std::vector<std::string> out;
    if (!readable_) {
        return out;
    }
    const auto walk = [&out](const TNode& node, const auto& self) -> void {
        out.push_back(node.path);
        for (const auto& sub : node.folders) {
            self(*sub, self);
        }
    };
    walk(*root_, walk);
    return out;
}

std::size_t TFollowedFolder::Offset(const TNode& node) const {
    if (!node.parent) {
        return 0;
    }
    std::size_t offset = Offset(*node.parent) + node.parent->pictures.size();
    for (const auto& sibling : node.parent->folders) {
        if (sibling.get() == &node) {
            break;
        }
        offset += sibling->total;
    }
    return offset;
}

void TFollowedFolder::Grow(TNode* node, long long by) {
    for (; node; node = node->parent) {
        node->total = std::size_t(static_cast<long long>(node->total) + by);
    }
}

void TFollowedFolder::Insert(TNode& node, const std::string& name, TChanges& changes) {
    const auto [at, there] = Find(node.pictures, name);
    if (there) {
        return;
    }
    node.pictures.insert(node.pictures.begin() + std::ptrdiff_t(at), name);
    Grow(&node, 1);
    changes.pictures.push_back({true, Offset(node) + at, AddBackslash(node.path) + name});
}

void TFollowedFolder::AddFolder(TNode& node, const std::string& name, TChanges& changes) {
    const auto known = std::find_if(node.folders.begin(), node.folders.end(),
                                    [&name](const auto& sub) { return sub->name == name; });
    if (known != node.folders.end()) {
        return;
    }
    std::unique_ptr<TNode> sub = Read(AddBackslash(node.path) + name, &node, &changes);
    if (!sub) {
        return;
    }
    const auto place = std::lower_bound(
        node.folders.begin(), node.folders.end(), name,
        [](const auto& a, const std::string& n) { return NameBefore(a->name, n); });
    TNode& added = **node.folders.insert(place, std::move(sub));
    Grow(&node, static_cast<long long>(added.total));
    std::vector<std::string> joined;
    const auto walk = [&joined](const TNode& n, const auto& self) -> void {
        const std::string prefix = AddBackslash(n.path);
        for (const std::string& picture : n.pictures) {
            joined.push_back(prefix + picture);
        }
        for (const auto& s : n.folders) {
            self(*s, self);
        }
    };
    walk(added, walk);
    const std::size_t offset = Offset(added);
    for (std::size_t i = 0; i < joined.size(); ++i) {
        changes.pictures.push_back({true, offset + i, std::move(joined[i])});
    }
}

void TFollowedFolder::Forget(TNode& node, TChanges& changes) {
    for (const auto& sub : node.folders) {
        Forget(*sub, changes);
    }
    nodes_.erase(node.path);
    seen_.erase(node.id);
    changes.foldersWent.push_back(node.path);
}

void TFollowedFolder::Remove(TNode& node, const std::string& name, TChanges& changes) {
    if (const auto [at, there] = Find(node.pictures, name); there) {
        node.pictures.erase(node.pictures.begin() + std::ptrdiff_t(at));
        Grow(&node, -1);
        changes.pictures.push_back({false, Offset(node) + at, {}});
        return;
    }
    const auto sub = std::find_if(node.folders.begin(), node.folders.end(),
                                  [&name](const auto& s) { return s->name == name; });
    if (sub == node.folders.end()) {
        return;
    }
    const std::size_t offset = Offset(**sub);
    const std::size_t count = (*sub)->total;
    for (std::size_t i = 0; i < count; ++i) {
        changes.pictures.push_back({false, offset, {}});
    }
    Forget(**sub, changes);
    node.folders.erase(sub);
    Grow(&node, -static_cast<long long>(count));
}

void TFollowedFolder::Appeared(const std::string& folder, const std::string& name,
                               TChanges& changes) {
    const auto it = nodes_.find(folder);
    if (it == nodes_.end() || name.empty()) {
        return;
    }
    TNode& node = *it->second;
    if (DirectoryExists(AddBackslash(folder) + name)) {
        if (recursive_) {
            AddFolder(node, name, changes);
        }
    } else if (names_.Matches(name)) {
        Insert(node, name, changes);
    }
}

void TFollowedFolder::Vanished(const std::string& folder, const std::string& name,
                               TChanges& changes) {
    const auto it = nodes_.find(folder);
    if (it == nodes_.end()) {
        return;
    }
    TNode& node = *it->second;
    if (!name.empty()) {
        Remove(node, name, changes);
    } else if (node.parent) {
        Remove(*node.parent, node.name, changes);
    } else {
        // The entry's own folder went: it stands for nothing now.
        for (std::size_t i = 0; i < node.total; ++i) {
            changes.pictures.push_back({false, 0, {}});
        }
        Forget(node, changes);
        node.pictures.clear();
        node.folders.clear();
        node.total = 0;
        readable_ = false;
    }
}

void TFollowedFolder::Reread(const std::string& folder, TChanges& changes) {
    const auto it = nodes_.find(folder);
    if (it == nodes_.end()) {
        return;
    }
    TNode& node = *it->second;
    std::vector<TFolderEntry> entries;
    if (!DirectoryExists(folder) || ReadFolder(folder, entries) != 0) {
        Vanished(folder, {}, changes);
        return;
    }
    std::unordered_set<std::string> pictures, folders;
    for (const TFolderEntry& e : entries) {
        if (!e.directory && names_.Matches(e.name)) {
            pictures.insert(e.name);
        } else if (e.directory && recursive_ && e.name != "." && e.name != "..") {
            folders.insert(e.name);
        }
    }
    for (const std::string& name : std::vector<std::string>(node.pictures)) {
        if (pictures.count(name) == 0) {
            Remove(node, name, changes);
        }
    }
    std::vector<std::string> held;
    for (const auto& sub : node.folders) {
        held.push_back(sub->name);
    }
    for (const std::string& name : held) {
        if (folders.count(name) == 0) {
            Remove(node, name, changes);
        }
    }
    for (const std::string& name : pictures) {
        Insert(node, name, changes);
    }
    for (const std::string& name : folders) {
        AddFolder(node, name, changes);
    }
}
