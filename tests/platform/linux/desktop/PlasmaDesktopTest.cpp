// The real KDE Plasma plasmashell (software Qt Quick rendering, openbox)
// drawing the program's pictures, set through its D-Bus scripting: letter box
// and tiles where the geometry puts them, the original back on screen after
// Reset to Default, the close request, and a kill -9 followed by a run that
// changes nothing; Plasma's kiosk lock on scripting leaves the screen as it
// was. Plasma's own system tray hosts the program's StatusNotifierItem, and
// the program notices when plasmashell is gone.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <fstream>
#include <memory>

#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"
#include "support/desktop/TrayOnDesktop.h"

namespace {

// The original: green on the left, yellow on the right, cropped to the
// screen (Plasma's default placement). Plasma's panel covers the bottom.
const std::vector<TPixelCheck> kOriginal{
    {200, 300, 0x00A000}, {800, 300, 0xFFFF00}, {100, 600, 0x00A000}, {900, 600, 0xFFFF00}};

// The right half of Plasma's panel, where its system tray sits.
const TrayOnDesktop::TArea kTray{512, 724, 512, 44};

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
}

class PlasmaDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        QImage original(80, 60, QImage::Format_RGB32);
        QPainter p(&original);
        p.fillRect(0, 0, 40, 60, QColor(0x00, 0xA0, 0x00));
        p.fillRect(40, 0, 40, 60, QColor(0xFF, 0xFF, 0x00));
        p.end();
        originalPicture = pictures.File("original.png");
        ASSERT_TRUE(original.save(QString::fromStdString(originalPicture)));
        d = std::make_unique<TRealDesktop>(TRealDesktopOptions{
            .width = 1024, .height = 768, .env = PlasmaSessionEnv(), .monitors = monitors_});
        ASSERT_TRUE(d->Ready()) << d->Error();
        // No notice about software rendering over the pictures.
        Append(d->ConfigHome() + "/plasmashellrc", "[softwarerenderer]\nneverShow=true\n");
        d->PrintVersion({"plasmashell", "--version"});
        d->Launch("openbox", {"openbox"});
    }
    void TearDown() override {
        if (HasFailure() && d) {
            d->DumpLogs();
        }
    }

    // plasmashell gives up at once when the activity manager is not there.
    void StartShell() {
        d->Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.ActivityManager",
                "/ActivityManager/Activities", "org.freedesktop.DBus.Peer.Ping"});
        shell = d->Launch("plasmashell", {"plasmashell"});
        ASSERT_TRUE(d->WaitForBusName("org.kde.plasmashell", 30000));
    }

    TToolRun Script(const std::string& script) {
        return d->Run({"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
                       "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", "string:" + script});
    }

    // The original on every desktop (each screen's), cropped to fill it.
    void ShowOriginal(const std::vector<TPixelCheck>& original = kOriginal) {
        const TToolRun set = Script(
            "desktops().forEach(function (d) { d.wallpaperPlugin = 'org.kde.image';"
            "d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];"
            "d.writeConfig('Image', 'file://" +
            originalPicture + "'); d.writeConfig('FillMode', 2); });");
        ASSERT_EQ(set.exitCode, 0) << set.out;
        ASSERT_TRUE(d->WaitForPixels("Plasma shows the original", original, 30000));
    }

    std::vector<TMonitorSpec> monitors_;
    TTempDir pictures;
    std::string originalPicture;
    std::unique_ptr<TRealDesktop> d;
    TProcessId shell = -1;
};

}  // namespace

TEST_F(PlasmaDesktopTest, PicturesTrayAndKioskLockOnScreen) {
    ASSERT_NO_FATAL_FAILURE(StartShell());
    ASSERT_NO_FATAL_FAILURE(ShowOriginal());
    TProgramOnDesktop program(*d, kOriginal);
    ASSERT_NO_FATAL_FAILURE(program.LetterBoxResetAndOrderlyExit());
    ASSERT_NO_FATAL_FAILURE(program.TileKillNineThenQuietRun());

    // Plasma's system tray: a click (the host's Activate) shows the window,
    // the menu ends the program, and the original is back.
    ASSERT_NO_FATAL_FAILURE(TrayOnDesktop::ClickShowsWindowMenuExits(*d, kTray, originalPicture));
    EXPECT_TRUE(d->WaitForPixels("original after Exit from the tray menu", kOriginal));

    // The administrator forbids desktop scripting: Plasma refuses every
    // change, and the program warns once and leaves the screen alone.
    d->Stop(shell);
    Append(d->ConfigHome() + "/kdeglobals",
           "\n[KDE Action Restrictions][$i]\nplasma-desktop/scripting_console=false\n");
    ASSERT_NO_FATAL_FAILURE(StartShell());
    ASSERT_TRUE(d->WaitForPixels("Plasma shows the original again", kOriginal, 30000));
    program.ForbiddenChangesLeaveTheScreen("policy forbids wallpaper changes");

    // plasmashell gone for good while the program sits in its tray (kded's
    // watcher stays and still claims a host): the window comes back.
    d->WriteSettings({{"Autoplay", "dword:00000002"}, {"ShowClock", "dword:00000000"}},
                     {originalPicture});
    const TProcessId inTray = d->StartVantoria();
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] { return TrayOnDesktop::FindIcon(*d, kTray).has_value(); }, 30000));
    d->Stop(shell);
    EXPECT_TRUE(
        TRealDesktop::WaitFor([&] { return TrayOnDesktop::WindowShown(*d, inTray); }, 25000))
        << "the program stayed hidden with no tray";
    d->Kill9(inTray);
}

// Two monitors of different sizes: a desktop containment on each screen, each
// showing its monitor's letter box, and each its original back.
class PlasmaTwoMonitorsTest : public PlasmaDesktopTest {
protected:
    PlasmaTwoMonitorsTest() { monitors_ = {{1024, 768, 0, 0}, {800, 600, 1024, 0}}; }
};

TEST_F(PlasmaTwoMonitorsTest, EveryScreenItsLetterBoxAndItsOriginalBack) {
    const std::vector<TPixelCheck> originals{
        {256, 300, 0x00A000}, {768, 300, 0xFFFF00}, {1224, 300, 0x00A000}, {1624, 300, 0xFFFF00}};
    ASSERT_NO_FATAL_FAILURE(StartShell());
    // The shell makes the second screen's desktop a while after it starts.
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            return Script(
                       "print('screens ' + desktops().filter(function (d) {"
                       " return d.screen >= 0; }).length)")
                       .out.find("screens 2") != std::string::npos;
        },
        30000));
    ASSERT_NO_FATAL_FAILURE(ShowOriginal(originals));
    TProgramOnDesktop program(*d, originals);
    ASSERT_NO_FATAL_FAILURE(program.MonitorsLetterBoxAndOrderlyExit());
    program.MonitorsKillNineThenQuietRun();
}
