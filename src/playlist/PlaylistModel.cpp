#include "playlist/PlaylistModel.h"

#include "platform/qt/QtMessageService.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/FolderUtils.h"

TPlaylistModel::TPlaylistModel(QObject* parent) : QAbstractListModel(parent) {}

int TPlaylistModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TPlaylistModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) {
        return {};
    }
    const std::string& path = Entry(index.row());
    if (role == Qt::DisplayRole) {
        // A followed folder shows whole, with what it stands for now; the
        // entry itself stays the folder's path.
        if (counter_) {
            auto [it, fresh] = counts_.try_emplace(path, -1);
            if (fresh) {
                it->second = counter_(path);
            }
            if (it->second >= 0) {
                return DisplayText(path) + (it->second == 1 ? tr(" (1 picture)")
                                                            : tr(" (%1 pictures)").arg(it->second));
            }
        }
        return DisplayText(EntryFileName(path));
    }
    if (role == PathRole) {
        return QByteArray(path.data(), qsizetype(path.size()));
    }
    if (role == MissingRole) {
        // Asked when a row is drawn, so a drive mounted meanwhile shows at once.
        return !FileExistsTest(path);
    }
    return {};
}

std::vector<std::string> TPlaylistModel::Entries() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) {
        out.push_back(e.path);
    }
    return out;
}

void TPlaylistModel::SetEntries(std::vector<std::string> entries) {
    beginResetModel();
    entries_.clear();
    entries_.reserve(entries.size());
    for (auto& p : entries) {
        entries_.push_back({std::move(p), QImage()});
    }
    index_.clear();
    indexed_ = false;
    endResetModel();
}

void TPlaylistModel::EnsureIndex() const {
    if (indexed_) {
        return;
    }
    index_.clear();
    index_.reserve(entries_.size() * 2);
    for (const auto& e : entries_) {
        ++index_[FoldPathCase(e.path)];
    }
    indexed_ = true;
}

bool TPlaylistModel::Contains(const std::string& path) const {
    EnsureIndex();
    return index_.count(FoldPathCase(path)) != 0;
}

bool TPlaylistModel::AddEntry(const std::string& path) {
    return AddEntries({path}) == 1;
}

int TPlaylistModel::AddEntries(const std::vector<std::string>& paths) {
    EnsureIndex();
    std::vector<std::string> fresh;
    for (const auto& p : paths) {
        auto [it, inserted] = index_.try_emplace(FoldPathCase(p), 1);
        if (inserted) {
            fresh.push_back(p);
        }
    }
    if (fresh.empty()) {
        return 0;
    }
    const int first = Count();
    beginInsertRows(QModelIndex(), first, first + int(fresh.size()) - 1);
    for (auto& p : fresh) {
        entries_.push_back({std::move(p), QImage()});
    }
    endInsertRows();
    return int(fresh.size());
}

void TPlaylistModel::Forget(const std::string& path) {
    if (!indexed_) {
        return;
    }
    const auto it = index_.find(FoldPathCase(path));
    if (it != index_.end() && --it->second <= 0) {
        index_.erase(it);
    }
}

void TPlaylistModel::RemoveEntry(int row) {
    if (row < 0 || row >= Count()) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    Forget(entries_[std::size_t(row)].path);
    entries_.erase(entries_.begin() + row);
    endRemoveRows();
}

void TPlaylistModel::Clear() {
    SetEntries({});
}

void TPlaylistModel::SetFolderCounter(std::function<int(const std::string&)> counter) {
    beginResetModel();
    counter_ = std::move(counter);
    counts_.clear();
    endResetModel();
}

void TPlaylistModel::SetThumbnail(int row, QImage thumbnail) {
    entries_[std::size_t(row)].thumbnail = std::move(thumbnail);
}

void TPlaylistModel::FreeThumbnails() {
    for (auto& e : entries_) {
        e.thumbnail = QImage();
    }
}

int TPlaylistModel::ThumbnailCount() const {
    int n = 0;
    for (const auto& e : entries_) {
        n += e.thumbnail.isNull() ? 0 : 1;
    }
    return n;
}
