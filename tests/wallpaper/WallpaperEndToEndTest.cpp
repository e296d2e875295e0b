// The real program on a private X display with no desktop of its own: a
// slide show changes the root window's picture, and the picture found at start
// comes back after the close request, also after a kill -9 and a new start.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>

#include "support/desktop/ProgramOnDesktop.h"

namespace {

// Away from the top left corner, where the program's own window may show.
const std::vector<std::pair<int, int>> kProbe{{1023, 767}, {1010, 10}, {15, 750}, {300, 700}};
const std::vector<std::uint32_t> kSlides{0xFF0000, 0x0000FF, 0xFFFF00};

std::vector<TPixelCheck> Everywhere(std::uint32_t colour) {
    std::vector<TPixelCheck> checks;
    for (const auto& [x, y] : kProbe) {
        checks.push_back({x, y, colour});
    }
    return checks;
}

class WallpaperEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(d.Ready()) << d.Error();
        // The wallpaper found at start: green tiles from another setter.
        QImage green(8, 8, QImage::Format_RGB32);
        green.fill(QColor(0x00, 0xFF, 0x00));
        ASSERT_TRUE(green.save(QString::fromStdString(d.Root() + "/green.png")));
        ASSERT_EQ(d.Run({"xwallpaper", "--tile", d.Root() + "/green.png"}).exitCode, 0);
        ASSERT_TRUE(d.WaitForPixels("the original", Everywhere(0x00FF00)));

        // Three slides, one with a name no shell or script may interpret.
        const std::vector<std::string> slides{d.Root() + "/red.png",
                                              d.Root() + "/it's \"blue\" $(touch pwned) `x`.jpg",
                                              d.Root() + "/yellow.bmp"};
        for (std::size_t i = 0; i < slides.size(); ++i) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(QColor::fromRgb(kSlides[i]));
            const std::string format = slides[i].substr(slides[i].size() - 3);
            ASSERT_TRUE(image.save(QString::fromStdString(slides[i]), format.c_str()));
        }
        d.WriteSettings({{"Autoplay", "dword:00000001"},
                         {"ChangeTime", "dword:0000000a"},
                         {"Style", "dword:00000002"},
                         {"Stretch", "dword:00000000"},
                         {"Current", "dword:00000000"},
                         {"ShowClock", "dword:00000000"}},
                        slides);
    }

    // Waits until the whole screen shows one of the slides (style Stretch),
    // allowing for JPEG's small errors.
    bool WaitForSlide() {
        return TRealDesktop::WaitFor(
            [&] {
                for (const std::uint32_t slide : kSlides) {
                    if (d.Shows(Everywhere(slide))) {
                        std::printf("[pixels] a slide everywhere: %s\n",
                                    d.Describe(Everywhere(slide)).c_str());
                        return true;
                    }
                }
                return false;
            },
            30000);
    }

    TRealDesktop d;
};

}  // namespace

TEST_F(WallpaperEndToEndTest, SlideShowChangesTheRootAndTheCloseRequestPutsTheOriginalBack) {
    // Bitmaps an earlier run on a desktop that takes files left behind.
    std::filesystem::create_directories(d.DataFolder());
    for (const char* name : {"vantoria.bmp", "vantoria-2.bmp", "vantoria-monitor1-a.bmp"}) {
        std::ofstream(d.DataFolder() + "/" + name) << "BM";
    }
    const TProcessId run = d.StartVantoria();
    ASSERT_TRUE(WaitForSlide()) << d.Describe(Everywhere(0)) << d.Log(d.NameOf(run));
    EXPECT_TRUE(std::filesystem::exists(d.RecordPath()));
    // The X server keeps the original picture: no copy of its pixels is written.
    EXPECT_FALSE(std::filesystem::exists(d.DataFolder() + "/original-root.ppm"));

    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(run), 0);
    EXPECT_TRUE(d.WaitForPixels("the original after the close request", Everywhere(0x00FF00)));
    EXPECT_FALSE(std::filesystem::exists(d.RecordPath())) << "the original is back: no record";
    // Nothing the desktop no longer shows stays in the data folder.
    for (const auto& entry : std::filesystem::directory_iterator(d.DataFolder())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.rfind("vantoria", 0) != 0 && name != "original-root.ppm") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(d.Root() + "/pwned"));
}

TEST_F(WallpaperEndToEndTest, AKeptPictureStaysAndResetLaterBringsTheOriginal) {
    TProgramOnDesktop(d, Everywhere(0x00FF00)).KeepWallpaperThenResetNextRun();
}

TEST_F(WallpaperEndToEndTest, ASolidColourFoundAtStartComesBack) {
    ASSERT_EQ(d.Run({"xsetroot", "-solid", "#336699"}).exitCode, 0);
    ASSERT_TRUE(d.WaitForPixels("the solid original", Everywhere(0x336699)));
    const TProcessId run = d.StartVantoria();
    ASSERT_TRUE(WaitForSlide()) << d.Log(d.NameOf(run));
    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(run), 0);
    EXPECT_TRUE(d.WaitForPixels("the solid colour after the close request", Everywhere(0x336699)));
}

TEST_F(WallpaperEndToEndTest, KillNineThenRestartStillPutsTheOriginalBack) {
    const TProcessId victim = d.StartVantoria();
    ASSERT_TRUE(WaitForSlide());
    d.Kill9(victim);
    // The killed program's picture stays; so does the record of the original.
    EXPECT_FALSE(d.Shows(Everywhere(0x00FF00)));
    ASSERT_TRUE(std::filesystem::exists(d.RecordPath()));

    const TProcessId next = d.StartVantoria();
    ASSERT_TRUE(WaitForSlide());
    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(next), 0);
    EXPECT_TRUE(d.WaitForPixels("the original after kill -9 and a new run", Everywhere(0x00FF00)));
    EXPECT_FALSE(std::filesystem::exists(d.RecordPath()));
}

// A desk of two monitors of different sizes on a real Xorg: a blue square in
// letter box with a red fill is fitted to each monitor (red bands beside it,
// red where no monitor is), follows the second monitor when it is resized
// while the program runs, and the original comes back on both at the end.
TEST(MonitorsEndToEndTest, EachMonitorShowsItsOwnLetterBoxAndFollowsAResize) {
    TRealDesktopOptions options;
    options.monitors = {{1920, 1080, 0, 0}, {1280, 1024, 1920, 0}};
    TRealDesktop d(options);
    ASSERT_TRUE(d.Ready()) << d.Error();
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(QColor(0x00, 0xFF, 0x00));
    ASSERT_TRUE(green.save(QString::fromStdString(d.Root() + "/green.png")));
    ASSERT_EQ(d.Run({"xwallpaper", "--tile", d.Root() + "/green.png"}).exitCode, 0);
    const std::vector<TPixelCheck> original{{1000, 900, 0x00FF00}, {2600, 900, 0x00FF00}};
    ASSERT_TRUE(d.WaitForPixels("the original", original));

    QImage blue(400, 400, QImage::Format_RGB32);
    blue.fill(QColor(0x00, 0x00, 0xFF));
    ASSERT_TRUE(blue.save(QString::fromStdString(d.Root() + "/blue.png")));
    d.WriteSettings({{"Autoplay", "dword:00000002"},
                     {"Style", "dword:00000002"},
                     {"Stretch", "dword:00000001"},
                     {"Color", "dword:000000ff"},
                     {"ShowClock", "dword:00000000"}},
                    {d.Root() + "/blue.png"});
    const TProcessId run = d.StartVantoria();
    // The first monitor: a 1080 square at x 420 (its middle holds the main
    // window); the second: a 1024 square at
    // x 1920 + 128, and nothing of either below it.
    ASSERT_TRUE(d.WaitForPixels("a letter box on each monitor",
                                {{100, 900, 0xFF0000},
                                 {700, 900, 0x0000FF},
                                 {1800, 900, 0xFF0000},
                                 {2000, 500, 0xFF0000},
                                 {2560, 512, 0x0000FF},
                                 {2850, 900, 0x0000FF},
                                 {3150, 900, 0xFF0000},
                                 {2560, 1050, 0xFF0000}},
                                30000))
        << d.Log(d.NameOf(run));

    // The second monitor becomes 1024x768: its square is 768 high, at x 1920 + 128.
    ASSERT_TRUE(d.SetMonitors({{1920, 1080, 0, 0}, {1024, 768, 1920, 0}})) << d.Error();
    EXPECT_TRUE(d.WaitForPixels(
        "the letter box follows the resized monitor",
        {{700, 900, 0x0000FF}, {2400, 384, 0x0000FF}, {2850, 384, 0xFF0000}, {2400, 900, 0xFF0000}},
        10000))
        << d.Log(d.NameOf(run));

    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(run), 0);
    EXPECT_TRUE(d.WaitForPixels("the original on both monitors",
                                {{1000, 900, 0x00FF00}, {2400, 700, 0x00FF00}}));
}

// MonitorSlides on a desk of two monitors of the plain X root: each monitor
// shows the next entry in turn, and a step moves on by two (the start's Next
// from the first entry reaches the third, the following one the next round).
TEST(MonitorsEndToEndTest, EachMonitorShowsTheNextEntryInTurn) {
    TRealDesktopOptions options;
    options.monitors = {{1280, 1024, 0, 0}, {1024, 768, 1280, 0}};
    TRealDesktop d(options);
    ASSERT_TRUE(d.Ready()) << d.Error();
    std::vector<std::string> slides;
    for (std::size_t i = 0; i < kSlides.size(); ++i) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(QColor::fromRgb(kSlides[i]));
        slides.push_back(d.Root() + "/slide" + std::to_string(i) + ".png");
        ASSERT_TRUE(image.save(QString::fromStdString(slides.back())));
    }
    d.WriteSettings({{"Autoplay", "dword:00000002"},
                     {"Style", "dword:00000002"},
                     {"Stretch", "dword:00000000"},
                     {"MonitorSlides", "dword:00000001"},
                     {"ShowClock", "dword:00000000"}},
                    slides);
    // Corners of each monitor, away from the main window in the first one's middle.
    const auto look = [](std::uint32_t first, std::uint32_t second) {
        return std::vector<TPixelCheck>{
            {20, 1000, first}, {1260, 20, first}, {1300, 740, second}, {2290, 20, second}};
    };
    const TProcessId run = d.StartVantoria();
    ASSERT_TRUE(d.WaitForPixels("entries 3 and 1", look(kSlides[2], kSlides[0]), 30000))
        << d.Log(d.NameOf(run));
    ASSERT_EQ(d.Run({d.VantoriaPath(), "--next"}).exitCode, 0);
    EXPECT_TRUE(d.WaitForPixels("entries 1 and 2", look(kSlides[0], kSlides[1])))
        << d.Log(d.NameOf(run));
    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(run), 0);
}

// A centred picture and a tiled one on the root: the server fills what the
// centred picture leaves black and repeats the tile to the far corner.
TEST_F(WallpaperEndToEndTest, CentredAndTiledPicturesCoverTheRoot) {
    QImage two(600, 400, QImage::Format_RGB32);
    two.fill(QColor(0xFF, 0x00, 0x00));
    for (int y = 0; y < 400; ++y) {
        for (int x = 300; x < 600; ++x) {
            two.setPixel(x, y, 0xFF0000FF);
        }
    }
    const std::string picture = d.Root() + "/two.png";
    ASSERT_TRUE(two.save(QString::fromStdString(picture)));
    // Centred on 1024 x 768: the picture's corner at (212, 184), away from
    // the middle, where the program's own window may show.
    const std::pair<const char*, std::vector<TPixelCheck>> styles[] = {
        {"00000001", {{250, 570, 0xFF0000}, {790, 570, 0x0000FF}, {1000, 700, 0}, {100, 700, 0}}},
        {"00000000",
         {{1023, 767, 0x0000FF}, {1010, 10, 0x0000FF}, {15, 750, 0xFF0000}, {299, 700, 0xFF0000}}}};
    for (const auto& [style, checks] : styles) {
        SCOPED_TRACE(style);
        d.WriteSettings({{"Autoplay", "dword:00000002"},
                         {"Style", std::string("dword:") + style},
                         {"Stretch", "dword:00000000"},
                         {"Current", "dword:00000000"},
                         {"ShowClock", "dword:00000000"}},
                        {picture});
        const TProcessId run = d.StartVantoria();
        EXPECT_TRUE(d.WaitForPixels(style, checks)) << d.Describe(checks) << d.Log(d.NameOf(run));
        ASSERT_TRUE(d.SendCloseRequest());
        EXPECT_EQ(d.WaitForExit(run), 0);
    }
}
