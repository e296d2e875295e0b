// LXQt's back-end against the real pcmanfm-qt drawing the desktop on the
// harness's X display; what it shows is read from screenshots of the root
// window, which its desktop window covers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ScreenShot.h"
#include "platform/linux/desktop/lxqt/PcmanfmQtDesktopBackend.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"
#include "wallpaper/DesktopWallpaperApplier.h"

namespace {

using namespace std::chrono_literals;
using TPixels = std::vector<std::string>;

const std::string kGrey = "808080", kYellow = "FFFF00", kMagenta = "FF00FF", kLime = "00FF00",
                  kCyan = "00FFFF", kBlue = "0000FF";
// Points of the 1024x768 display: three along the top, three across the middle.
const std::vector<std::pair<int, int>> kPoints{{10, 10},   {60, 10},   {110, 10},
                                               {490, 384}, {530, 384}, {1010, 384}};

TScreenSize Screen() {
    return TScreenSize{1024, 768, 24};
}

class PcmanfmQtBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run inside the harness";
        ASSERT_NE(getenv("XDG_CONFIG_HOME"), nullptr);
        config_ = getenv("XDG_CONFIG_HOME");
        std::filesystem::create_directories(dir_.File("data"));
        std::filesystem::create_directories(config_ + "/pcmanfm-qt/lxqt");
        // A picture whose zoomed middle is lime, stretched red ... blue.
        original_ = dir_.File("original picture.png");
        ASSERT_TRUE(MakePicture(original_, {"-size", "16x16", "xc:red", "-size", "32x16", "xc:lime",
                                            "-size", "16x16", "xc:blue", "+append"}));
        WriteSettings("zoom");
        StartDesktop();
    }

    void WriteSettings(const std::string& mode) {
        WriteFileBytes(config_ + "/pcmanfm-qt/lxqt/settings.conf",
                       "[Desktop]\nWallpaper=" + original_ + "\nWallpaperMode=" + mode +
                           "\nBgColor=#808080\n");
    }

    void TearDown() override { StopDesktop(); }

    void StartDesktop(const TPixels& shown = TPixels(6, kLime)) {
        desktop_ = fork();
        if (desktop_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            execlp("pcmanfm-qt", "pcmanfm-qt", "--desktop", "--profile=lxqt", nullptr);
            _exit(127);
        }
        ASSERT_TRUE(Shows(shown)) << "pcmanfm-qt did not draw the desktop "
                                     "(scripts/install-deps installs it)";
    }

    void StopDesktop() {
        if (desktop_ <= 0) {
            return;
        }
        kill(desktop_, SIGTERM);
        for (int i = 0; i < 150 && waitpid(desktop_, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(20ms);
        }
        if (kill(desktop_, SIGKILL) == 0) {
            waitpid(desktop_, nullptr, 0);
        }
        desktop_ = -1;
    }

    // Waits until the display shows `expected` at kPoints.
    bool Shows(const TPixels& expected) {
        TPixels seen;
        for (int i = 0; i < 50; ++i) {
            seen = RootPixels(dir_.Path(), kPoints);
            if (seen == expected) {
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        std::string text;
        for (const std::string& p : seen) {
            text += p + " ";
        }
        ADD_FAILURE() << "the display shows " << text;
        return false;
    }

    // Two halves side by side, `width` x `height` in all.
    std::string Picture(const std::string& name, const char* left, const char* right,
                        int width = 100, int height = 50) {
        const std::string half = std::to_string(width / 2) + "x" + std::to_string(height);
        const std::string path = dir_.File(name);
        EXPECT_TRUE(MakePicture(path,
                                {"-size", half, std::string("xc:") + left, "-size", half,
                                 std::string("xc:") + right, "+append"},
                                // Bitmaps as the composer writes them.
                                name.ends_with(".bmp") ? "BMP3:" : ""));
        return path;
    }

    TTempDir dir_;
    std::string config_;
    std::string original_;
    pid_t desktop_ = -1;
};

}  // namespace

// pcmanfm-qt cannot return to its configured mode once it shows another
// while it runs: pictures in other placements are drawn to the screen's size
// and shown in that mode, so the original comes back exactly.
TEST_F(PcmanfmQtBackendTest, EachPlacementIsShownAndTheOriginalComesBackExactly) {
    TPcmanfmQtDesktopBackend lxqt(config_, dir_.File("data"), Screen);
    EXPECT_EQ(lxqt.DesktopProfile(), "lxqt") << lxqt.LastError();
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), original_) << lxqt.LastError();
    EXPECT_EQ(lxqt.CurrentPlacement(), dpOther);  // zoom
    const std::string state = lxqt.SaveState();
    ASSERT_FALSE(state.empty()) << lxqt.LastError();

    // Handed over as the applier does: under two names in turn.
    const std::string names[] = {"data/vantoria-1.bmp", "data/vantoria-2.bmp"};
    struct TStep {
        TDesktopPlacement placement;
        TPixels shown;
    };
    const TStep steps[] = {
        {dpCenter, {kGrey, kGrey, kGrey, kYellow, kMagenta, kGrey}},
        {dpTile, {kYellow, kMagenta, kYellow, kMagenta, kYellow, kYellow}},
        {dpStretch, {kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}},
        {dpCenter, {kGrey, kGrey, kGrey, kYellow, kMagenta, kGrey}},
    };
    int turn = 0;
    for (const TStep& step : steps) {
        const std::string file = Picture(names[turn++ % 2], "yellow", "magenta");
        ASSERT_TRUE(lxqt.SetPlacement(step.placement));
        ASSERT_TRUE(lxqt.SetWallpaperFile(file, false)) << lxqt.LastError();
        EXPECT_TRUE(Shows(step.shown)) << "placement " << step.placement;
        EXPECT_EQ(lxqt.CurrentWallpaperFile(), file);
        EXPECT_EQ(lxqt.CurrentPlacement(), step.placement);
        // What the settings name still tells whose picture it is.
        EXPECT_EQ(
            TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).CurrentWallpaperFile(),
            file);
    }
    // The picture rewritten in other colours is shown, in the same placement.
    const std::string file = Picture(names[turn++ % 2], "cyan", "blue");
    ASSERT_TRUE(lxqt.SetWallpaperFile(file, false)) << lxqt.LastError();
    EXPECT_TRUE(Shows({kGrey, kGrey, kGrey, kCyan, kBlue, kGrey}));
    // No picture at all: the desktop's colour.
    ASSERT_TRUE(lxqt.SetWallpaperFile("", true)) << lxqt.LastError();
    EXPECT_TRUE(Shows(TPixels(6, kGrey)));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), "");

    EXPECT_EQ(TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).CurrentWallpaperFile(),
              "");

    ASSERT_TRUE(lxqt.RestoreState(state)) << lxqt.LastError();
    EXPECT_TRUE(Shows(TPixels(6, kLime)));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), original_);
    EXPECT_EQ(lxqt.CurrentPlacement(), dpOther);
    EXPECT_EQ(lxqt.SaveState(), state);
    // The settings name it too: the desktop shows it from its next start.
    StopDesktop();
    StartDesktop();
    EXPECT_EQ(TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).SaveState(), state);
}

// Pictures of the screen's size look alike in every mode: they are shown
// without leaving the desktop's own mode, and the original then comes back
// exactly while the desktop runs.
TEST_F(PcmanfmQtBackendTest, ScreenSizedPicturesLetTheOriginalComeBackExactly) {
    TPcmanfmQtDesktopBackend lxqt(config_, dir_.File("data"), Screen);
    const std::string state = lxqt.SaveState();
    ASSERT_FALSE(state.empty()) << lxqt.LastError();
    const std::string first = Picture("vantoria-1.bmp", "yellow", "magenta", 1024, 768);
    ASSERT_TRUE(lxqt.SetPlacement(dpCenter));
    ASSERT_TRUE(lxqt.SetWallpaperFile(first, false)) << lxqt.LastError();
    EXPECT_TRUE(Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}));
    const std::string second = Picture("vantoria-2.bmp", "cyan", "blue", 1024, 768);
    ASSERT_TRUE(lxqt.SetPlacement(dpStretch));
    ASSERT_TRUE(lxqt.SetWallpaperFile(second, false)) << lxqt.LastError();
    EXPECT_TRUE(Shows({kCyan, kCyan, kCyan, kCyan, kBlue, kBlue}));

    ASSERT_TRUE(lxqt.RestoreState(state)) << lxqt.LastError();
    EXPECT_TRUE(Shows(TPixels(6, kLime)));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), original_);
    EXPECT_EQ(lxqt.CurrentPlacement(), dpOther);
    EXPECT_EQ(lxqt.SaveState(), state);
}

// The applier's own road: composed bitmaps handed over under two names in
// turn, so a picture rewritten under the same name is shown anew; a run
// that ends without putting the original back finds it in its record.
TEST_F(PcmanfmQtBackendTest, ThroughTheApplierEveryChangeShowsAndTheOriginalSurvivesACrash) {
    RegSetStore(std::make_shared<TMemoryRegistryStore>());
    TFixedScreenInfo screen(Screen());
    TApplierServices services;
    services.screen = &screen;
    services.dataFolder = dir_.File("data");
    // Nearly the screen's size, so that scaling blurs little of the halves' edge.
    const std::string picture = Picture("picture.png", "yellow", "magenta", 1000, 750);
    {
        TPcmanfmQtDesktopBackend lxqt(config_, services.dataFolder, Screen);
        services.desktop = &lxqt;
        TDesktopWallpaperApplier applier(services);
        applier.DetectActiveDesktop();
        applier.RememberOriginalWallpaper();
        applier.ReadOriginalStyle();
        ASSERT_TRUE(applier.FCanChangeWallpaper);
        EXPECT_EQ(applier.FOriginalWallpaper, original_);
        applier.SetWallpaper(picture, TWallpaperChoice{wsStretch, fmStretch, 0});
        EXPECT_TRUE(Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}));
        Picture("picture.png", "cyan", "blue", 1000, 750);
        applier.SetWallpaper(picture, TWallpaperChoice{wsStretch, fmStretch, 0});
        EXPECT_TRUE(Shows({kCyan, kCyan, kCyan, kCyan, kBlue, kBlue}));
        Picture("picture.png", "cyan", "blue");
        applier.SetWallpaper(picture, TWallpaperChoice{wsTile, fmStretch, 0});
        EXPECT_TRUE(Shows({kCyan, kBlue, kCyan, kBlue, kCyan, kCyan}));
        Picture("picture.png", "yellow", "magenta");
        applier.SetWallpaper(picture, TWallpaperChoice{wsCenter, fmStretch, 0});
        EXPECT_TRUE(Shows({kGrey, kGrey, kGrey, kYellow, kMagenta, kGrey}));
        // No orderly end.
    }
    TPcmanfmQtDesktopBackend again(config_, services.dataFolder, Screen);
    services.desktop = &again;
    TDesktopWallpaperApplier applier(services);
    applier.DetectActiveDesktop();
    applier.RememberOriginalWallpaper();
    applier.ReadOriginalStyle();
    EXPECT_EQ(applier.FOriginalWallpaper, original_);
    applier.RestoreOriginalWallpaper(TWallpaperChoice{applier.FOriginalStyle, fmStretch, 0});
    EXPECT_TRUE(Shows(TPixels(6, kLime)));
    EXPECT_EQ(again.CurrentWallpaperFile(), original_);
    applier.Finish();
}

// A desktop that showed no picture gets slides, and its colour alone back.
TEST_F(PcmanfmQtBackendTest, ADesktopWithoutPictureGetsItsColourBack) {
    StopDesktop();
    WriteSettings("none");
    StartDesktop(TPixels(6, kGrey));
    TPcmanfmQtDesktopBackend lxqt(config_, dir_.File("data"), Screen);
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), "");
    const std::string state = lxqt.SaveState();
    ASSERT_FALSE(state.empty()) << lxqt.LastError();

    ASSERT_TRUE(lxqt.SetPlacement(dpCenter));
    const std::string composed = Picture("vantoria-1.bmp", "yellow", "magenta", 1024, 768);
    ASSERT_TRUE(lxqt.SetWallpaperFile(composed, false)) << lxqt.LastError();
    EXPECT_TRUE(Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}));
    ASSERT_TRUE(lxqt.SetPlacement(dpTile));
    const std::string tile = Picture("vantoria-2.bmp", "yellow", "magenta");
    ASSERT_TRUE(lxqt.SetWallpaperFile(tile, false)) << lxqt.LastError();
    EXPECT_TRUE(Shows({kYellow, kMagenta, kYellow, kMagenta, kYellow, kYellow}));

    ASSERT_TRUE(lxqt.RestoreState(state)) << lxqt.LastError();
    EXPECT_TRUE(Shows(TPixels(6, kGrey)));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), "");
    // And from its next start, as configured.
    StopDesktop();
    StartDesktop(TPixels(6, kGrey));
    EXPECT_EQ(TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).CurrentWallpaperFile(),
              "");
}

TEST_F(PcmanfmQtBackendTest, HostilePathsAreShownOrRefusedAndNothingRuns) {
    TPcmanfmQtDesktopBackend lxqt(config_, dir_.File("data"), Screen);
    const std::string folder = dir_.File("-dir $(touch pwned)");
    std::filesystem::create_directories(folder);
    // Of the screen's size, so that pcmanfm-qt gets each name as it stands.
    const std::string yellow = Picture("y.png", "yellow", "magenta", 1024, 768);
    const std::string cyan = Picture("c.png", "cyan", "blue", 1024, 768);
    ASSERT_TRUE(lxqt.SetPlacement(dpStretch));
    int turn = 0;
    for (const std::string& name :
         {std::string("it's \"a\" $(touch pwned) `touch pwned` back\\slash.png"),
          std::string("new\nline; rm -rf x.png"), std::string("-x.png"),
          std::string(" a;b,c=d @e #f [g] %h.png"), std::string("\xc3\xa9t\xc3\xa9.png"),
          std::string("@Invalid()")}) {
        const bool even = turn++ % 2 == 0;
        const std::string hostile = folder + "/" + name;
        std::filesystem::copy_file(even ? yellow : cyan, hostile);
        ASSERT_TRUE(lxqt.SetWallpaperFile(hostile, false)) << name << ": " << lxqt.LastError();
        EXPECT_TRUE(even ? Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta})
                         : Shows({kCyan, kCyan, kCyan, kCyan, kBlue, kBlue}))
            << name;
        // Read back through the settings file pcmanfm-qt wrote.
        EXPECT_EQ(
            TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).CurrentWallpaperFile(),
            hostile);
    }
    // A relative name that looks like an option.
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::filesystem::copy_file(yellow, folder + "/-y.png");
    EXPECT_TRUE(lxqt.SetWallpaperFile("-y.png", false)) << lxqt.LastError();
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), folder + "/-y.png");

    // pcmanfm-qt takes its arguments as UTF-8: other bytes are refused.
    const std::string latin = folder + "/caf\xe9 \xff.png";
    std::filesystem::copy_file(cyan, latin);
    EXPECT_FALSE(lxqt.SetWallpaperFile(latin, false));
    EXPECT_NE(lxqt.LastError().find("UTF-8"), std::string::npos) << lxqt.LastError();
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), folder + "/-y.png");

    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("pwned")));
    EXPECT_FALSE(std::filesystem::exists(folder + "/pwned"));
    EXPECT_FALSE(std::filesystem::exists(cwd / "pwned"));
    EXPECT_TRUE(Shows({kYellow, kYellow, kYellow, kYellow, kMagenta, kMagenta}));
}

TEST_F(PcmanfmQtBackendTest, MissingProgramStoppedDesktopAndDamagedRecordsChangeNothing) {
    TPcmanfmQtDesktopBackend lxqt(config_, dir_.File("data"), Screen);
    const std::string state = lxqt.SaveState();
    const std::string picture = Picture("p.png", "yellow", "magenta");

    TPcmanfmQtDesktopBackend missing(config_, dir_.File("data"), Screen,
                                     dir_.File("no-such/pcmanfm-qt"));
    EXPECT_FALSE(missing.SetWallpaperFile(picture, false));
    EXPECT_NE(missing.LastError().find("cannot be run"), std::string::npos) << missing.LastError();

    for (const std::string& damaged :
         {std::string(), std::string("pcmanfm-qt-wallpaper\n"),
          "pcmanfm-qt-wallpaper\n" + picture + "\nzoom --desktop-off\n",
          state.substr(0, state.size() - 1), state + "tile\n",
          "other-desktop" + state.substr(state.find('\n'))}) {
        EXPECT_FALSE(lxqt.RestoreState(damaged)) << damaged;
        EXPECT_NE(lxqt.LastError().find("damaged"), std::string::npos) << lxqt.LastError();
    }
    EXPECT_TRUE(Shows(TPixels(6, kLime)));
    EXPECT_EQ(lxqt.CurrentWallpaperFile(), original_);

    // A desktop that hangs holds nothing up for long.
    kill(desktop_, SIGSTOP);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lxqt.SetWallpaperFile(picture, false));
    EXPECT_NE(lxqt.LastError().find("does not answer"), std::string::npos) << lxqt.LastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    kill(desktop_, SIGCONT);
    EXPECT_TRUE(Shows(TPixels(6, kLime)));

    StopDesktop();
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lxqt.SetWallpaperFile(picture, false));
    EXPECT_NE(lxqt.LastError().find("not running"), std::string::npos) << lxqt.LastError();
    EXPECT_FALSE(lxqt.CurrentWallpaperFile().has_value());
    EXPECT_EQ(lxqt.SaveState(), "");
    EXPECT_FALSE(lxqt.RestoreState(state));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    // Nothing was started in the desktop's place.
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(
        TPcmanfmQtDesktopBackend(config_, dir_.File("data"), Screen).DesktopProfile().has_value());
}
