#pragma once

#include <QAbstractListModel>
#include <QImage>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "wallpaper/FolderUtils.h"

// The entries of the playlist editor: image paths (bytes, in playlist order,
// duplicates possible when a file holds them) and the thumbnail each entry
// may carry. A case-insensitive index keeps the duplicate check of AddEntry
// constant-time, so importing thousands of files stays linear.
class TPlaylistModel : public QAbstractListModel {
    Q_OBJECT

public:
    // Data role with the entry's full path as a QByteArray.
    static constexpr int PathRole = Qt::UserRole + 1;
    // Data role, true when the entry's file is not there now (a drive not
    // mounted yet): such an entry stays in the list and is saved with it.
    static constexpr int MissingRole = Qt::UserRole + 2;

    explicit TPlaylistModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Qt::DisplayRole: the file-name part of the entry, for display.
    QVariant data(const QModelIndex& index, int role) const override;

    int Count() const { return int(entries_.size()); }
    const std::string& Entry(int row) const { return entries_[std::size_t(row)].path; }
    std::vector<std::string> Entries() const;
    // Replaces every entry; the thumbnails of the old ones are released.
    void SetEntries(std::vector<std::string> entries);
    // Appends path unless an entry equal to it without regard to letter case
    // exists; true when it was appended.
    bool AddEntry(const std::string& path);
    // AddEntry for each path in order, announced to views as one insertion.
    int AddEntries(const std::vector<std::string>& paths);
    bool Contains(const std::string& path) const;
    void RemoveEntry(int row);
    void Clear();

    // How many pictures a folder entry stands for, -1 for an entry that is
    // no folder; asked once per entry when its row is first drawn. None:
    // folders are shown as any entry.
    void SetFolderCounter(std::function<int(const std::string&)> counter);

    bool HasThumbnail(int row) const { return !entries_[std::size_t(row)].thumbnail.isNull(); }
    const QImage& Thumbnail(int row) const { return entries_[std::size_t(row)].thumbnail; }
    void SetThumbnail(int row, QImage thumbnail);
    void FreeThumbnails();
    int ThumbnailCount() const;

private:
    struct TEntry {
        std::string path;
        QImage thumbnail;
    };
    void EnsureIndex() const;
    void Forget(const std::string& path);

    std::vector<TEntry> entries_;
    // Case-folded path -> how many entries have it. Built when first needed.
    mutable std::unordered_map<std::string, int> index_;
    mutable bool indexed_ = false;
    std::function<int(const std::string&)> counter_;
    mutable std::unordered_map<std::string, int> counts_;
};
