// Desktops at scale 2 on a 3840x2160 screen: GNOME Shell (X11) with
// scaling-factor 2 and KDE Plasma at 2x show a slide pixel for pixel. A
// one-pixel checkerboard in the middle is seen one-to-one, and the picture's
// corners (a one-pixel frame inside another) are the screen's.
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <memory>

#include "support/TempDir.h"
#include "support/desktop/RealDesktop.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;
constexpr std::uint32_t kOuter = 0xFF0000, kInner = 0x0000FF, kField = 0x808080;
constexpr std::uint32_t kOriginal = 0x00A000;

// The slide: a red frame one pixel wide, a blue one inside it, grey within,
// and an 8x8 checkerboard of single black and white pixels in the middle.
std::string Slide(const TTempDir& dir) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(kOuter));
    for (int y = 1; y < kHeight - 1; ++y) {
        for (int x = 1; x < kWidth - 1; ++x) {
            const bool inner = x == 1 || y == 1 || x == kWidth - 2 || y == kHeight - 2;
            image.setPixel(x, y, 0xFF000000 | (inner ? kInner : kField));
        }
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            image.setPixel(kWidth / 2 - 4 + x, kHeight / 2 - 4 + y,
                           (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000);
        }
    }
    const std::string path = dir.File("slide.png");
    image.save(QString::fromStdString(path));
    return path;
}

// The checkerboard, and the two corners at screen row `row` (0: top, else
// bottom), which the desktop's panel leaves free.
std::vector<TPixelCheck> OneToOne(bool top) {
    std::vector<TPixelCheck> checks;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            checks.push_back(
                {kWidth / 2 - 4 + x, kHeight / 2 - 4 + y, (x + y) % 2 ? 0xFFFFFFu : 0x000000u});
        }
    }
    const int edge = top ? 0 : kHeight - 1;
    const int in = top ? 1 : kHeight - 2;
    for (const auto& [x, inX] : {std::pair{0, 1}, std::pair{kWidth - 1, kWidth - 2}}) {
        checks.push_back({x, edge, kOuter});
        checks.push_back({inX, in, kInner});
        checks.push_back({inX + (x == 0 ? 1 : -1), in + (top ? 1 : -1), kField});
    }
    return checks;
}

const std::vector<TPixelCheck> kOriginalLook{{1000, 1000, kOriginal}, {2800, 1000, kOriginal}};

void ShowSlideThenOriginal(TRealDesktop& d, const std::string& slide, bool top,
                           const std::map<std::string, std::string>& env = {}) {
    d.WriteSettings({{"Autoplay", "dword:00000002"},
                     {"Style", "dword:00000002"},
                     {"ShowClock", "dword:00000000"}},
                    {slide});
    const TProcessId program = d.StartVantoria(env);
    EXPECT_TRUE(d.WaitForPixels("the slide one-to-one, its corners the screen's", OneToOne(top),
                                60000, 24));
    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(program, 60000), 0);
    EXPECT_TRUE(d.WaitForPixels("the original back", kOriginalLook, 60000));
}

std::string Original(const TTempDir& dir) {
    QImage image(80, 60, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(kOriginal));
    const std::string path = dir.File("original.png");
    image.save(QString::fromStdString(path));
    return path;
}

}  // namespace

TEST(ScaledDesktopTest, GnomeShellAtScalingFactorTwo) {
    TTempDir pictures;
    const std::string slide = Slide(pictures);
    TRealDesktop d({.width = kWidth,
                    .height = kHeight,
                    .systemBus = true,
                    .env = {{"XDG_CURRENT_DESKTOP", "GNOME"}, {"XDG_SESSION_TYPE", "x11"}}});
    ASSERT_TRUE(d.Ready()) << d.Error();
    d.PrintVersion({"gnome-shell", "--version"});
    const auto set = [&](const std::string& schema, const std::string& key,
                         const std::string& value) {
        EXPECT_EQ(d.Run({"gsettings", "set", schema, key, value}).exitCode, 0) << key;
    };
    set("org.gnome.desktop.interface", "scaling-factor", "2");
    set("org.gnome.desktop.background", "picture-uri", "'file://" + Original(pictures) + "'");
    set("org.gnome.desktop.background", "picture-options", "'zoom'");
    set("org.gnome.desktop.notifications", "show-banners", "false");
    d.Launch("gnome-shell", {"gnome-shell", "--x11"});
    ASSERT_TRUE(d.WaitForLog("gnome-shell", "GNOME Shell started", 120000));
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            d.Run({"gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell",
                   "-m", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive",
                   "<false>"});
            return d.Run({"gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o",
                          "/org/gnome/Shell", "-m", "org.freedesktop.DBus.Properties.Get",
                          "org.gnome.Shell", "OverviewActive"})
                       .out.find("<false>") != std::string::npos;
        },
        60000));
    ASSERT_TRUE(d.WaitForPixels("GNOME shows the original", kOriginalLook, 60000));
    // The top bar covers the upper corners.
    ShowSlideThenOriginal(d, slide, false);
    if (HasFailure()) {
        d.SaveScreenshot(d.Root() + "/failed.png");
        d.DumpLogs();
    }
}

TEST(ScaledDesktopTest, PlasmaAtTwoX) {
    TTempDir pictures;
    const std::string slide = Slide(pictures);
    TRealDesktop d({.width = kWidth, .height = kHeight, .env = PlasmaSessionEnv()});
    ASSERT_TRUE(d.Ready()) << d.Error();
    std::ofstream(d.ConfigHome() + "/plasmashellrc") << "[softwarerenderer]\nneverShow=true\n";
    d.PrintVersion({"plasmashell", "--version"});
    d.Launch("openbox", {"openbox"});
    d.Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.ActivityManager",
           "/ActivityManager/Activities", "org.freedesktop.DBus.Peer.Ping"});
    d.Launch("plasmashell", {"plasmashell"}, {{"QT_SCALE_FACTOR", "2"}});
    ASSERT_TRUE(d.WaitForBusName("org.kde.plasmashell", 60000));
    const TToolRun set =
        d.Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
               "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript",
               "string:desktops().forEach(function (d) { d.wallpaperPlugin = 'org.kde.image';"
               "d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
               "d.writeConfig('Image', 'file://" +
                   Original(pictures) + "'); d.writeConfig('FillMode', 2); });"},
              60000);
    ASSERT_EQ(set.exitCode, 0) << set.out;
    ASSERT_TRUE(d.WaitForPixels("Plasma shows the original", kOriginalLook, 60000));
    // The panel covers the lower corners.
    ShowSlideThenOriginal(d, slide, true, {{"QT_SCREEN_SCALE_FACTORS", "2"}});
    if (HasFailure()) {
        d.SaveScreenshot(d.Root() + "/failed.png");
        d.DumpLogs();
    }
}
