// Playlist files: the reading and writing rules, and saves that never leave a
// damaged file behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "playlist/PlaylistFile.h"
#include "support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> Leftovers(const TTempDir& dir, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        const std::string n = e.path().filename().string();
        if (n != keep) {
            names.push_back(n);
        }
    }
    return names;
}

// Lowers the file-size limit so that writes beyond it fail as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_{};
};

TEST(PlaylistReading, LineEndsOfEveryKindAndTheLastLine) {
    EXPECT_EQ(SplitPlaylistText("a\r\nb\r\nc\r\n"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitPlaylistText("a\nb\nc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitPlaylistText("a\rb\rc\r"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitPlaylistText("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitPlaylistText("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two ends
    EXPECT_EQ(SplitPlaylistText(""), Lines{});
    EXPECT_EQ(SplitPlaylistText("\r\n"), Lines{""});
    EXPECT_EQ(SplitPlaylistText(std::string("a\r\nb\0c\r\nd", 9)), (Lines{"a", "b"}));
}

TEST(PlaylistReading, BytesStayAsTheyAre) {
    // A byte-order mark, spaces, quotes and bytes that are not UTF-8.
    const std::string text =
        "\xEF\xBB\xBF/p/a.jpg\r\n  /p/b c.jpg \r\n/p/\"q\".png\r\n/p/\xE9t\xE9.bmp\r\n";
    EXPECT_EQ(SplitPlaylistText(text),
              (Lines{"\xEF\xBB\xBF/p/a.jpg", "  /p/b c.jpg ", "/p/\"q\".png", "/p/\xE9t\xE9.bmp"}));
}

TEST(PlaylistFile, WritesCrLfAfterEveryEntryAndReadsItBack) {
    TTempDir dir;
    const std::string file = dir.File("list.vpl");
    const Lines entries{"/a/1.jpg", "", "/a/1.jpg", " /b/\xFF\xFE name.png "};
    WritePlaylistFile(file, entries);
    EXPECT_EQ(ReadFileBytes(file), "/a/1.jpg\r\n\r\n/a/1.jpg\r\n /b/\xFF\xFE name.png \r\n");
    EXPECT_EQ(ReadPlaylistFile(file), entries);

    WritePlaylistFile(file, {});
    EXPECT_EQ(ReadFileBytes(file), "");
    EXPECT_EQ(ReadPlaylistFile(file), Lines{});
    EXPECT_TRUE(Leftovers(dir, "list.vpl").empty());
}

TEST(PlaylistFile, ReadingStopsAtTheFirstZeroByte) {
    TTempDir dir;
    // A sparse file of 256 MB whose text ends at its first zero byte costs
    // what that text holds.
    const std::string sparse = dir.File("sparse.vpl");
    WriteFileBytes(sparse, "/a.jpg\r\n/b.jpg");
    ASSERT_EQ(::truncate(sparse.c_str(), 256L << 20), 0);
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(ReadPlaylistFile(sparse), (Lines{"/a.jpg", "/b.jpg"}));
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64L * 1024L);  // kilobytes
}

TEST(PlaylistFile, HugeAndShapelessFilesLoadWhole) {
    TTempDir dir;
    std::string text;
    for (int i = 0; i < 1000000; ++i) {
        text += "/pictures/" + std::to_string(i) + ".jpg\n";
    }
    WriteFileBytes(dir.File("big.vpl"), text);
    const Lines big = ReadPlaylistFile(dir.File("big.vpl"));
    ASSERT_EQ(big.size(), 1000000u);
    EXPECT_EQ(big.back(), "/pictures/999999.jpg");

    const std::string longLine(5 * 1024 * 1024, 'x');
    WriteFileBytes(dir.File("long.vpl"), longLine);
    EXPECT_EQ(ReadPlaylistFile(dir.File("long.vpl")), Lines{longLine});

    std::string binary;
    for (int i = 1; i < 256; ++i) {
        binary += char(i);
    }
    WriteFileBytes(dir.File("bin.vpl"), binary + '\0' + "ignored");
    const Lines lines = ReadPlaylistFile(dir.File("bin.vpl"));
    ASSERT_EQ(lines.size(), 3u);  // 1..9 | LF | 11..12 | CR | 14..255
    EXPECT_EQ(lines[0].size(), 9u);
    EXPECT_EQ(lines.back().back(), '\xFF');
}

TEST(PlaylistFile, OpenFailuresNameTheFile) {
    TTempDir dir;
    try {
        ReadPlaylistFile(dir.File("missing.vpl"));
        FAIL() << "no error";
    } catch (const EPlaylistFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir.File("missing.vpl") +
                                             "\". No such file or directory");
    }
    EXPECT_THROW(ReadPlaylistFile(dir.Path()), EPlaylistFileError);
    ASSERT_EQ(::mkfifo(dir.File("pipe.vpl").c_str(), 0600), 0);
    EXPECT_THROW(ReadPlaylistFile(dir.File("pipe.vpl")), EPlaylistFileError);  // no hang
}

TEST(PlaylistSave, KeepsPermissionsAndWritesThroughLinks) {
    TTempDir dir;
    const std::string target = dir.File("real.vpl");
    WriteFileBytes(target, "old\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.vpl", dir.File("link.vpl").c_str()), 0);

    WritePlaylistFile(dir.File("link.vpl"), {"/x.png"});
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link.vpl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    EXPECT_EQ(ReadFileBytes(target), "/x.png\r\n");
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link to a file that does not exist yet creates that file.
    ASSERT_EQ(::symlink(dir.File("new.vpl").c_str(), dir.File("dangling.vpl").c_str()), 0);
    WritePlaylistFile(dir.File("dangling.vpl"), {"/y.png"});
    EXPECT_EQ(ReadFileBytes(dir.File("new.vpl")), "/y.png\r\n");
}

TEST(PlaylistSave, AFailedSaveLeavesTheOldFileAndReportsIt) {
    TTempDir dir;
    const std::string file = dir.File("list.vpl");
    WritePlaylistFile(file, {"/keep/me.jpg"});
    const Lines many(100000, "/a/rather/long/path/to/some/picture/file-name.jpeg");
    {
        TFileSizeLimit limit(64 * 1024);  // the disk fills up half-way
        try {
            WritePlaylistFile(file, many);
            FAIL() << "a failed write was reported as success";
        } catch (const EPlaylistFileError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + file + "\". ", 0), 0u)
                << e.what();
        }
    }
    EXPECT_EQ(ReadFileBytes(file), "/keep/me.jpg\r\n");
    EXPECT_TRUE(Leftovers(dir, "list.vpl").empty()) << "temporary file left behind";
}

TEST(PlaylistSave, RefusesWhatItCannotStore) {
    TTempDir dir;
    const std::string file = dir.File("list.vpl");
    WritePlaylistFile(file, {"/old.jpg"});
    // A folder name with a line break would come back as two bogus entries.
    EXPECT_THROW(WritePlaylistFile(file, {"/a.jpg", "/two\nlines/b.jpg"}), EPlaylistFileError);
    EXPECT_THROW(WritePlaylistFile(dir.Path(), {"/a.jpg"}), EPlaylistFileError);
    EXPECT_THROW(WritePlaylistFile(dir.File("no/such/folder.vpl"), {"/a.jpg"}), EPlaylistFileError);
    EXPECT_THROW(WritePlaylistFile("", {"/a.jpg"}), EPlaylistFileError);
    EXPECT_EQ(ReadFileBytes(file), "/old.jpg\r\n");
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);
        EXPECT_THROW(WritePlaylistFile(file, {"/new.jpg"}), EPlaylistFileError);
        ::chmod(dir.Path().c_str(), 0700);
        EXPECT_EQ(ReadFileBytes(file), "/old.jpg\r\n");
    }
}

}  // namespace
