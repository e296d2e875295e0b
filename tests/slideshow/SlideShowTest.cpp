// The slide show without a window: the four steps and the tick over an
// order, positions beyond the end, the timer, and entries whose files cannot
// be shown.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>

#include "platform/linux/files/InotifyFolderWatch.h"
#include "slideshow/SlideShow.h"
#include "support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

// Records what the show asks for.
class TRecordingHost : public TSlideShowHost {
public:
    void ShowPicture(const std::string& path) override { shown.push_back(path); }
    void RunningChanged(bool running) override { changes.push_back(running); }
    void ReportEmpty() override { reports.push_back("empty"); }
    void ReportSkipped(const std::string& path, const std::string& text) override {
        reports.push_back(path + " | " + text);
    }
    std::vector<std::string> shown;
    std::vector<bool> changes;
    std::vector<std::string> reports;
};

class SlideShow : public ::testing::Test {
protected:
    SlideShow() {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            WriteFileBytes(dir.File(name), "x");
            files.push_back(dir.File(name));
        }
    }
    TTempDir dir;
    std::vector<std::string> files;
    TRecordingHost host;
    TSlideShow show{host};
};

// a, b, c, d with c gone: the show goes a, b, d, (rewind), a, b, d and never
// stops; c is reported once, however often the show comes round to it. A
// dangling link and a named pipe are passed over the same way (opening a
// pipe would wait for a writer), and so are they when stepping back.
TEST_F(SlideShow, EntriesThatCannotBeShownArePassedOverAndReportedOnce) {
    const std::string a = files[0], b = files[1], c = dir.File("c gone.jpg"), d = files[2];
    show.SetPlaylist({a, b, c, d});
    show.Start();
    for (int i = 0; i < 7; ++i) {
        show.Tick();
    }
    EXPECT_EQ(host.shown, (std::vector<std::string>{a, b, d, a, b, d}));
    EXPECT_TRUE(show.Running());
    EXPECT_EQ(host.reports, std::vector<std::string>{c + " | File \"" + c + "\" does not exists"});
    EXPECT_EQ(show.ShownFile(), d);
    EXPECT_EQ(show.ShownEntry(), 3);

    const std::string link = dir.File("link"), pipe = dir.File("pipe");
    std::filesystem::create_symlink(dir.File("nowhere"), link);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    show.SetPlaylist({a, link, pipe});
    host.shown.clear();
    show.Step(TSlideStep::First);
    show.Step(TSlideStep::Next);  // past both to a, round the end
    show.Step(TSlideStep::Last);  // back past both to a
    EXPECT_EQ(host.shown, (std::vector<std::string>{a, a, a}));
    ASSERT_EQ(host.reports.size(), 3u);
    EXPECT_EQ(host.reports[1], link + " | File \"" + link + "\" cannot be read");
    EXPECT_EQ(host.reports[2], pipe + " | File \"" + pipe + "\" cannot be read");

    // Nothing left to show: every step ends without a picture, and without
    // waiting; a tick leaves the position beyond the end.
    std::filesystem::remove(a);
    show.Step(TSlideStep::Next);
    show.Start();
    show.Tick();
    EXPECT_EQ(host.shown.size(), 3u);
    EXPECT_EQ(show.Position(), 3);
    EXPECT_EQ(host.reports.size(), 4u);
}

TEST_F(SlideShow, StopAtLastEndsTheShowAfterTheLastEntry) {
    show.SetPlaylist(files);
    show.SetStopAtLast(true);
    show.SetPosition(2);
    show.Start();
    show.Tick();  // entry 2, then 3
    show.Tick();  // stops
    EXPECT_FALSE(show.Running());
    EXPECT_EQ(show.Position(), 3);
    show.Step(TSlideStep::Next);
    EXPECT_EQ(host.shown.back(), files[0]);
    show.SetPosition(3);
    show.Step(TSlideStep::Previous);
    EXPECT_EQ(host.shown.back(), files[2]);
}

TEST_F(SlideShow, NavigationAfterATickUsesTheAdvancedPosition) {
    show.SetPlaylist({files[0], files[1], files[2], files[0]});
    show.SetPosition(0);
    show.Start();
    show.Tick();  // entry 0 on the desktop, position 1
    show.Step(TSlideStep::Next);
    EXPECT_EQ(show.Position(), 2);
    EXPECT_FALSE(show.Running()) << "navigation stops the show";
    show.Start();
    show.Tick();  // entry 2, position 3
    show.Step(TSlideStep::Previous);
    EXPECT_EQ(host.shown, (std::vector<std::string>{files[0], files[2], files[2], files[2]}));
}

TEST_F(SlideShow, OneEntryAndOutOfRangePositions) {
    show.SetPlaylist({files[0]});
    for (TSlideStep step :
         {TSlideStep::Next, TSlideStep::Previous, TSlideStep::First, TSlideStep::Last}) {
        show.Step(step);
    }
    EXPECT_EQ(host.shown, std::vector<std::string>(4, files[0]));

    host.shown.clear();
    show.SetPlaylist(files);
    show.SetPosition(7);
    show.Step(TSlideStep::Previous);  // 6: beyond the end, nothing applied, no message
    EXPECT_EQ(show.Position(), 6);
    EXPECT_TRUE(host.shown.empty());
    show.Step(TSlideStep::Next);  // wraps to 0
    EXPECT_EQ(host.shown, std::vector<std::string>{files[0]});
    show.SetPosition(7);
    show.Start();
    show.Tick();
    EXPECT_EQ(show.Position(), 0);
    EXPECT_TRUE(show.Running());
    show.SetPosition(7);
    show.SetStopAtLast(true);
    show.Tick();
    EXPECT_FALSE(show.Running());
    EXPECT_TRUE(host.reports.empty());
}

TEST_F(SlideShow, AHugeIntervalRunsAtTheLongestTimerInterval) {
    show.SetPlaylist(files);
    show.SetInterval(INT32_MAX);
    show.Start();
    EXPECT_TRUE(show.Timer().isActive());
    EXPECT_EQ(show.Timer().interval(), INT_MAX);
    show.Stop();
    show.SetInterval(4294967);
    show.Start();
    EXPECT_EQ(show.Timer().interval(), INT_MAX);
}

TEST_F(SlideShow, ATickQueuedBeforeTheShowStoppedShowsNothing) {
    show.SetPlaylist(files);
    show.Start();
    QMetaObject::invokeMethod(const_cast<QTimer*>(&show.Timer()), "timeout", Qt::DirectConnection);
    show.Stop();
    QCoreApplication::processEvents();
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(host.changes, (std::vector<bool>{true, false}));
}

}  // namespace

// Shuffle over 20 entries: each round shows every entry once, rounds differ
// and never repeat a picture across their seam; Previous retraces what was
// shown back into the round before, and Next walks the same way forward
// again; stop at the last stops at the end of a round.
TEST(SlideShowShuffle, RoundsShowEveryEntryOnceAndPreviousRetraces) {
    TTempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back(dir.File("p" + std::to_string(i) + ".jpg"));
        WriteFileBytes(files.back(), "x");
    }
    TRecordingHost host;
    TSlideShow show{host};
    show.SetShuffle(true, 42);
    show.SetPlaylist(files);
    show.Start();
    std::vector<std::vector<std::string>> rounds;
    for (int round = 0; round < 5; ++round) {
        host.shown.clear();
        for (int i = 0; i < 21; ++i) {  // 20 pictures, then the tick at the end
            show.Tick();
        }
        ASSERT_EQ(host.shown.size(), 20u);
        std::vector<std::string> sorted = host.shown;
        std::sort(sorted.begin(), sorted.end());
        std::vector<std::string> all = files;
        std::sort(all.begin(), all.end());
        EXPECT_EQ(sorted, all) << "round " << round;
        if (!rounds.empty()) {
            EXPECT_NE(host.shown, rounds.back());
            EXPECT_NE(host.shown.front(), rounds.back().back());
        }
        rounds.push_back(host.shown);
    }
    EXPECT_NE(rounds[0], files) << "a shuffled round in the playlist's own order";

    // The last tick began a sixth round: from its last picture, 21 steps
    // back reach into the fifth, and forward again retraces the same way.
    std::vector<std::string> current;
    for (const std::size_t place : show.Order()) {
        current.push_back(files[place]);
    }
    host.shown.clear();
    show.Step(TSlideStep::Last);
    for (int i = 0; i < 21; ++i) {
        show.Step(TSlideStep::Previous);
    }
    std::vector<std::string> back(host.shown.begin() + 1, host.shown.end());
    std::vector<std::string> expected(current.rbegin() + 1, current.rend());
    expected.insert(expected.end(), rounds[4].rbegin(), rounds[4].rbegin() + 2);
    EXPECT_EQ(back, expected);
    host.shown.clear();
    show.Step(TSlideStep::Next);
    show.Step(TSlideStep::Next);
    EXPECT_EQ(host.shown, (std::vector<std::string>{rounds[4].back(), current.front()}));
    host.shown.clear();
    show.Step(TSlideStep::First);
    EXPECT_EQ(host.shown, std::vector<std::string>{current.front()});

    show.SetStopAtLast(true);
    show.Start();
    for (int i = 0; i < 25 && show.Running(); ++i) {
        show.Tick();
    }
    EXPECT_FALSE(show.Running());
    EXPECT_EQ(host.shown.back(), current.back());
}

// A folder entry stands for its pictures in name order, a folder's own
// before its subfolders', names of any bytes, other files left out; with
// Recursive off the subfolders stay out. A folder that is not there is an
// entry like a missing file.
TEST_F(SlideShow, AFolderEntryStandsForItsPicturesInNameOrder) {
    const std::string f = dir.File("pics");
    std::filesystem::create_directories(f + "/sub/deeper");
    for (const char* name : {"b.png", "A.jpg", "\xff.jpg", "notes.txt", "sub/d.jpg",
                             "sub/deeper/e.gif", "sub/C.bmp"}) {
        WriteFileBytes(f + "/" + name, "x");
    }
    const struct {
        bool recursive;
        Lines pictures;
    } cases[] = {
        {true,
         {f + "/A.jpg", f + "/b.png", f + "/\xff.jpg", f + "/sub/C.bmp", f + "/sub/d.jpg",
          f + "/sub/deeper/e.gif"}},
        {false, {f + "/A.jpg", f + "/b.png", f + "/\xff.jpg"}},
    };
    for (const auto& c : cases) {
        show.SetRecursive(c.recursive);
        show.SetPlaylist({files[0], f + "/", files[1]});
        Lines expected{files[0]};
        expected.insert(expected.end(), c.pictures.begin(), c.pictures.end());
        expected.push_back(files[1]);
        EXPECT_EQ(show.Pictures(), expected);
        EXPECT_EQ(show.Playlist(), (Lines{files[0], f + "/", files[1]}));
        EXPECT_EQ(show.FolderPictures(f + "/"), int(c.pictures.size()));
    }

    const std::string gone = dir.File("gone folder");
    show.SetPlaylist({gone, files[2]});
    show.ShowCurrent();
    EXPECT_EQ(host.shown.back(), files[2]);
    EXPECT_EQ(host.reports.back(), gone + " | File \"" + gone + "\" does not exists");
    EXPECT_EQ(show.FolderPictures(gone), -1);
}

// Pictures join and leave a followed folder while Vantoria runs, through
// the real inotify: the picture shown stays the one shown, Next goes on
// from the place of one that left, a subfolder made later is followed, a
// shuffled round takes a newcomer in, and changes lost when the watch's
// queue overflowed are read again.
TEST_F(SlideShow, AFollowedFolderIsKeptCurrent) {
    TInotifyFolderWatch watch;
    ASSERT_TRUE(watch.Ready());
    show.SetFolderWatch(&watch);
    struct TLetGo {
        TSlideShow& show;
        ~TLetGo() { show.SetFolderWatch(nullptr); }
    } letGo{show};
    const std::string f = dir.File("followed");
    std::filesystem::create_directory(f);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        WriteFileBytes(f + "/" + name, "x");
    }
    show.SetPlaylist({f});
    show.Step(TSlideStep::First);
    show.Step(TSlideStep::Next);
    const auto pictures = [this](std::size_t n) {
        return QTest::qWaitFor([&] { return show.Pictures().size() == n; }, 3000);
    };

    WriteFileBytes(f + "/ab.jpg", "x");
    ASSERT_TRUE(pictures(4));
    EXPECT_EQ(show.Pictures(), (Lines{f + "/a.jpg", f + "/ab.jpg", f + "/b.jpg", f + "/c.jpg"}));
    EXPECT_EQ(show.ShownEntry(), 2);
    EXPECT_EQ(show.ShownFile(), f + "/b.jpg");

    std::filesystem::remove(f + "/b.jpg");
    ASSERT_TRUE(pictures(3));
    show.Step(TSlideStep::Next);
    EXPECT_EQ(host.shown.back(), f + "/c.jpg");
    show.Step(TSlideStep::Previous);
    EXPECT_EQ(host.shown.back(), f + "/ab.jpg");

    std::filesystem::create_directory(f + "/sub");
    WriteFileBytes(f + "/sub/z.jpg", "x");
    ASSERT_TRUE(pictures(4));
    EXPECT_EQ(show.Pictures().back(), f + "/sub/z.jpg");

    // Running, the tick after ab.jpg shows c.jpg, whatever leaves before it.
    show.Start();
    show.Tick();
    std::filesystem::remove(f + "/a.jpg");
    ASSERT_TRUE(pictures(3));
    show.Tick();
    EXPECT_EQ(host.shown.back(), f + "/c.jpg");
    show.Stop();

    show.SetShuffle(true, 7);
    WriteFileBytes(f + "/d.jpg", "x");
    ASSERT_TRUE(pictures(4));
    std::set<std::string> round{show.ShownFile()};
    for (int i = 0; i < 3; ++i) {
        show.Step(TSlideStep::Next);
        round.insert(host.shown.back());
    }
    EXPECT_EQ(round, std::set<std::string>(show.Pictures().begin(), show.Pictures().end()));

    // More names at once than the watch's queue holds.
    std::filesystem::remove_all(f + "/sub");
    constexpr int kMany = 17000;
    for (int i = 0; i < kMany; ++i) {
        WriteFileBytes(f + "/many " + std::to_string(i) + ".jpg", "");
    }
    ASSERT_TRUE(pictures(3 + kMany));
    EXPECT_EQ(show.Order().size(), show.Pictures().size());
}
