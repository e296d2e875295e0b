// KDE Plasma started two seconds after the program, as at a log-in where the
// program comes first: the original is read once Plasma is there, a change
// then shows, the notice about a desktop not running goes by itself, and the
// close request leaves the user's own wallpaper on screen.
#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "support/TempDir.h"
#include "support/desktop/RealDesktop.h"

namespace {

std::string Plain(const TTempDir& dir, const std::string& name, QColor colour) {
    QImage image(80, 60, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir.File(name);
    image.save(QString::fromStdString(path));
    return path;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(LateShellTest, PlasmaStartedAfterTheProgramGetsItsOriginalBack) {
    TTempDir pictures;
    const std::string original = Plain(pictures, "original.png", QColor(0x00, 0xA0, 0x00));
    const std::string red = Plain(pictures, "red.png", Qt::red);
    // Two slides alike: whichever --next picks after the refused first one.
    const std::string red2 = Plain(pictures, "red2.png", Qt::red);
    // Above Plasma's panel, away from the middle where a notice would open.
    const std::vector<TPixelCheck> at{{60, 60}, {960, 60}, {60, 650}, {960, 650}, {512, 384}};
    const auto look = [&](std::uint32_t colour) {
        std::vector<TPixelCheck> checks = at;
        for (TPixelCheck& c : checks) {
            c.colour = colour;
        }
        return checks;
    };
    TRealDesktop d({.width = 1024, .height = 768, .env = PlasmaSessionEnv()});
    ASSERT_TRUE(d.Ready()) << d.Error();
    std::ofstream(d.ConfigHome() + "/plasmashellrc") << "[softwarerenderer]\nneverShow=true\n";
    d.PrintVersion({"plasmashell", "--version"});
    d.Launch("openbox", {"openbox"});
    const auto startShell = [&] {
        d.Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.ActivityManager",
               "/ActivityManager/Activities", "org.freedesktop.DBus.Peer.Ping"});
        return d.Launch("plasmashell", {"plasmashell"});
    };

    // The user's wallpaper, set in an earlier session and saved by Plasma.
    TProcessId shell = startShell();
    ASSERT_TRUE(d.WaitForBusName("org.kde.plasmashell", 30000));
    const TToolRun set =
        d.Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
               "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript",
               "string:desktops().forEach(function (d) { d.wallpaperPlugin = 'org.kde.image';"
               "d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
               "d.writeConfig('Image', 'file://" +
                   original + "'); d.writeConfig('FillMode', 2); });"});
    ASSERT_EQ(set.exitCode, 0) << set.out;
    ASSERT_TRUE(d.WaitForPixels("Plasma shows the original", look(0x00A000), 60000));
    const std::string applets = d.ConfigHome() + "/plasma-org.kde.plasma.desktop-appletsrc";
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] { return Slurp(applets).find("original.png") != std::string::npos; }, 30000));
    d.Stop(shell);

    // The program first, showing its first slide at start; Plasma two seconds later.
    d.WriteSettings({{"Autoplay", "dword:00000002"},
                     {"Style", "dword:00000002"},
                     {"ShowClock", "dword:00000000"}},
                    {red, red2});
    const TProcessId program = d.StartVantoria();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    shell = startShell();
    ASSERT_TRUE(d.WaitForBusName("org.kde.plasmashell", 30000));
    // The notice of a desktop not running may still stand in the middle.
    std::vector<TPixelCheck> corners = look(0x00A000);
    corners.pop_back();
    ASSERT_TRUE(d.WaitForPixels("Plasma, come late, shows the original", corners, 60000));

    // A change once Plasma is there: shown, and the notice of a desktop not
    // running (over the middle) has gone by itself.
    const TToolRun next = d.Run({d.VantoriaPath(), "--next"});
    EXPECT_EQ(next.exitCode, 0) << next.out;
    EXPECT_TRUE(d.WaitForPixels("the next slide, with no notice over it", look(0xFF0000), 30000));

    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(program, 30000), 0);
    EXPECT_TRUE(
        d.WaitForPixels("the user's original back after the close request", look(0x00A000), 60000));
    if (HasFailure()) {
        d.DumpLogs();
    }
}
