// The editor's entries: duplicates from files stay, additions never
// duplicate an entry, whatever the letter case.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "playlist/PlaylistModel.h"

namespace {

using Lines = std::vector<std::string>;

TEST(PlaylistModel, AddEntryIgnoresLetterCaseButNothingElse) {
    TPlaylistModel m;
    EXPECT_TRUE(m.AddEntry("/p/Photo.jpg"));
    EXPECT_FALSE(m.AddEntry("/p/photo.JPG"));
    EXPECT_FALSE(m.AddEntry("/P/PHOTO.JPG"));
    EXPECT_TRUE(m.AddEntry("/p/Photo.jpg "));  // whole string, spaces count
    EXPECT_TRUE(m.AddEntry("/p/\xC3\x89t\xC3\xA9.png"));
    EXPECT_FALSE(m.AddEntry("/p/\xC3\xA9t\xC3\x89.png"));  // UTF-8 letters fold too
    EXPECT_TRUE(m.AddEntry("/p/\xC9t\xE9.png"));           // not UTF-8: bytes as they are
    EXPECT_FALSE(m.AddEntry("/p/\xC9T\xE9.PNG"));
    EXPECT_EQ(m.Entries(), (Lines{"/p/Photo.jpg", "/p/Photo.jpg ", "/p/\xC3\x89t\xC3\xA9.png",
                                  "/p/\xC9t\xE9.png"}));
}

TEST(PlaylistModel, LoadedDuplicatesStayAndTheIndexFollowsRemovals) {
    TPlaylistModel m;
    m.SetEntries({"/a.jpg", "/A.jpg", "", "/b.jpg"});
    EXPECT_EQ(m.Count(), 4);
    EXPECT_FALSE(m.AddEntry("/a.JPG"));
    m.RemoveEntry(0);
    EXPECT_FALSE(m.AddEntry("/a.jpg")) << "one copy is still listed";
    m.RemoveEntry(0);
    EXPECT_TRUE(m.AddEntry("/a.jpg"));
    EXPECT_EQ(m.Entries(), (Lines{"", "/b.jpg", "/a.jpg"}));
    m.Clear();
    EXPECT_TRUE(m.AddEntry("/b.jpg"));
}

TEST(PlaylistModel, BatchAdditionsAreOneInsertion) {
    TPlaylistModel m;
    m.AddEntry("/x/1.jpg");
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(m.AddEntries({"/x/2.jpg", "/X/1.JPG", "/x/3.jpg", "/x/2.JPG"}), 2);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(m.Entries(), (Lines{"/x/1.jpg", "/x/2.jpg", "/x/3.jpg"}));
    EXPECT_EQ(m.AddEntries({"/x/3.jpg"}), 0);
    EXPECT_EQ(inserted.count(), 1);
}

TEST(PlaylistModel, RowsShowTheFileNamePart) {
    TPlaylistModel m;
    m.SetEntries({"/home/ann/My Pictures/sea.jpg", "plain.png", "", "/dir/", "/d/caf\xE9.jpg"});
    EXPECT_EQ(m.data(m.index(0), Qt::DisplayRole).toString(), QStringLiteral("sea.jpg"));
    EXPECT_EQ(m.data(m.index(1), Qt::DisplayRole).toString(), QStringLiteral("plain.png"));
    EXPECT_EQ(m.data(m.index(2), Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(m.data(m.index(3), Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(m.data(m.index(4), Qt::DisplayRole).toString(), QString::fromLatin1("caf\xE9.jpg"));
    EXPECT_EQ(m.data(m.index(4), TPlaylistModel::PathRole).toByteArray(),
              QByteArray("/d/caf\xE9.jpg"));
}

TEST(PlaylistModel, ThumbnailsAreReleasedWithTheirEntries) {
    TPlaylistModel m;
    m.SetEntries({"/a.jpg", "/b.jpg"});
    m.SetThumbnail(0, QImage(10, 10, QImage::Format_RGB32));
    m.SetThumbnail(1, QImage(10, 10, QImage::Format_RGB32));
    EXPECT_EQ(m.ThumbnailCount(), 2);
    m.RemoveEntry(0);
    EXPECT_EQ(m.ThumbnailCount(), 1);
    m.FreeThumbnails();
    EXPECT_EQ(m.ThumbnailCount(), 0);
    EXPECT_FALSE(m.HasThumbnail(0));
}

}  // namespace
