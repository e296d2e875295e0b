#include <gtest/gtest.h>

#include "ComposeCalls.h"
#include "TestPictures.h"
#include "platform/ScreenInfo.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"

namespace {

constexpr TColor kRedFill = 0x0000FF;  // 0x00BBGGRR
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;

// A desk shrunk tenfold: 1920x1080 primary, 1280x1024 to its right.
const std::vector<TMonitor> kDesk = {{"A", 0, 0, 192, 108, true}, {"B", 192, 0, 128, 102, false}};

std::uint32_t Rgb(TRgb c) {
    return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b;
}

}  // namespace

// Each monitor's bitmap is exactly what composing for one display of its
// size writes, though the picture was decoded once for all.
TEST(MonitorComposerTest, EachMonitorGetsWhatItsOwnDisplayWouldGet) {
    TTempDir dir;
    // A kind decoded whole on both roads (a PNG or JPEG for one display is
    // scaled row by row as it is decoded, to within a level of this).
    const std::string source = dir.File("photo.bmp");
    ASSERT_TRUE(SavePicture(PhotoPicture(500, 300), FIF_BMP, source));
    for (int mode : {int{fmLetterBox}, int{fmZoom}, int{fmStretch}}) {
        SCOPED_TRACE(mode);
        const std::vector<TMonitorFile> files = {{kDesk[0], dir.File("m1.bmp")},
                                                 {kDesk[1], dir.File("m2.bmp")}};
        ASSERT_TRUE(ComposeMonitorWallpapers(source, mode, kRedFill, 32, files));
        for (const TMonitorFile& f : files) {
            TFixedScreenInfo one({f.monitor.width, f.monitor.height, 32});
            ASSERT_TRUE(ComposeWallpaper(source, mode, dir.File("one.bmp"), kRedFill, one));
            EXPECT_TRUE(ReadFileBytes(f.file) == ReadFileBytes(dir.File("one.bmp"))) << f.file;
        }
    }
    EXPECT_FALSE(ComposeMonitorWallpapers(dir.File("absent.png"), fmLetterBox, kRedFill, 32,
                                          {{kDesk[0], dir.File("m3.bmp")}}));
}

// A square blue picture in letter box with a red fill, spanned: each monitor
// shows a square as high as that monitor, red bands beside it, and red where
// no monitor is (below the shorter one).
TEST(MonitorComposerTest, SpannedBitmapLetterBoxesEachMonitor) {
    TTempDir dir;
    const std::string source = dir.File("blue.png");
    ASSERT_TRUE(SavePicture(SolidPicture(400, 400, {0, 0, 255}), FIF_PNG, source));
    ASSERT_TRUE(
        ComposeSpannedWallpaper(source, fmLetterBox, dir.File("span.bmp"), kRedFill, 24, kDesk));
    const TDib span = LoadPicture(dir.File("span.bmp"));
    ASSERT_EQ(span.width(), 320u);
    ASSERT_EQ(span.height(), 108u);
    // Monitor A: a 108 square at x 42; monitor B: a 102 square at x 192 + 13.
    const struct {
        int x, y;
        std::uint32_t color;
    } expected[] = {{41, 54, kRed},   {42, 0, kBlue},  {149, 107, kBlue}, {150, 54, kRed},
                    {204, 50, kRed},  {205, 0, kBlue}, {306, 101, kBlue}, {307, 50, kRed},
                    {250, 102, kRed}, {319, 107, kRed}};
    for (const auto& e : expected) {
        SCOPED_TRACE(testing::Message() << e.x << "," << e.y);
        EXPECT_EQ(Rgb(PixelAt(span.get(), e.x, e.y)), e.color);
    }
}

// Tiles start at each monitor's own corner; a monitor partly off the root is
// cut to it.
TEST(MonitorComposerTest, RootTilesFromEachMonitorsCorner) {
    TTempDir dir;
    TDib tile = SolidPicture(10, 10, {0, 0, 255});
    FillRect(tile.get(), 0, 0, 1, 1, {0, 255, 0});
    const std::string source = dir.File("tile.png");
    ASSERT_TRUE(SavePicture(tile, FIF_PNG, source));
    const std::vector<TMonitor> desk = {{"A", 0, 0, 25, 20, true}, {"B", 25, 3, 30, 30, false}};
    TScreenPicture root;
    ASSERT_TRUE(ComposeMonitorsScreenPicture(source, fmConvertOnly, dpTile, kRedFill, {50, 24},
                                             desk, root));
    auto at = [&root](int x, int y) { return root.pixels[std::size_t(y) * root.width + x]; };
    EXPECT_EQ(at(0, 0), 0x00FF00u);
    EXPECT_EQ(at(20, 10), 0x00FF00u);
    EXPECT_EQ(at(25, 3), 0x00FF00u);
    EXPECT_EQ(at(35, 13), 0x00FF00u);
    EXPECT_EQ(at(26, 3), kBlue);
    EXPECT_EQ(at(30, 0), kRed) << "above monitor B";
}

// Each monitor's part of the root picture is what a screen of that monitor's
// size shows, in every mode and placement.
TEST(MonitorComposerTest, EachMonitorOfTheRootShowsWhatItsOwnScreenWould) {
    TTempDir dir;
    const std::string source = dir.File("photo.bmp");
    ASSERT_TRUE(SavePicture(PhotoPicture(300, 180), FIF_BMP, source));
    const std::vector<TMonitor> desk = {{"A", 0, 10, 192, 108, true},
                                        {"B", 192, 0, 102, 128, false}};
    const std::pair<int, int> cases[] = {{fmLetterBox, dpCenter}, {fmZoom, dpCenter},
                                         {fmStretch, dpCenter},   {fmConvertOnly, dpCenter},
                                         {fmConvertOnly, dpTile}, {fmConvertOnly, dpStretch}};
    for (const auto& [mode, placement] : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " placement " << placement);
        TScreenPicture root;
        ASSERT_TRUE(ComposeMonitorsScreenPicture(source, mode, placement, kRedFill, {294, 128},
                                                 desk, root));
        for (const TMonitor& m : desk) {
            TScreenPicture one;
            ASSERT_TRUE(
                ComposeScreenPicture(source, mode, placement, kRedFill, {m.width, m.height}, one));
            int differing = 0;
            for (int y = 0; y < m.height; ++y) {
                for (int x = 0; x < m.width; ++x) {
                    differing += root.pixels[std::size_t(m.y + y) * root.width + m.x + x] !=
                                 one.pixels[std::size_t(y) * one.width + x];
                }
            }
            EXPECT_EQ(differing, 0) << m.name;
        }
        EXPECT_EQ(root.pixels[0], kRed) << "above monitor A";
    }
}
