// The real caja drawing MATE's desktop from org.mate.background on a private
// Xvfb: the program's letter box and tiles where the geometry puts them, and
// the original back on screen after Reset to Default, the close request, and
// a kill -9 followed by a run that changes nothing; a dconf lock leaves the
// screen as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/linux/RunTool.h"
#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"

namespace {

// The original: green on the left, yellow on the right, zoomed to the screen.
const std::vector<TPixelCheck> kOriginal{
    {200, 300, 0x00A000}, {600, 300, 0xFFFF00}, {150, 550, 0x00A000}, {700, 550, 0xFFFF00}};

// Two monitors of different sizes, each showing the original zoomed.
const std::vector<TMonitorSpec> kDesk{{1024, 768, 0, 0}, {800, 600, 1024, 0}};
const std::vector<TPixelCheck> kOriginals{
    {256, 384, 0x00A000}, {768, 384, 0xFFFF00}, {1224, 300, 0x00A000}, {1624, 300, 0xFFFF00}};

// caja on a private 800x600 display (or a desk of `monitors`) showing
// `picture`, zoomed.
std::unique_ptr<TRealDesktop> StartCaja(const std::string& picture,
                                        std::map<std::string, std::string> env = {},
                                        const std::vector<TMonitorSpec>& monitors = {}) {
    env["XDG_CURRENT_DESKTOP"] = "MATE";
    auto d = std::make_unique<TRealDesktop>(TRealDesktopOptions{
        .width = 800, .height = 600, .systemBus = false, .env = env, .monitors = monitors});
    if (!d->Ready()) {
        ADD_FAILURE() << d->Error();
        return nullptr;
    }
    d->PrintVersion({"caja", "--version"});
    // No fade and no gradient: the picture as it is, at once.
    for (const auto& [key, value] : {std::pair{"picture-filename", "'" + picture + "'"},
                                     std::pair{"picture-options", std::string("'zoom'")},
                                     std::pair{"background-fade", std::string("false")},
                                     std::pair{"color-shading-type", std::string("'solid'")}}) {
        d->Run({"gsettings", "set", "org.mate.background", key, value});
    }
    d->Launch("openbox", {"openbox"});
    d->Launch("caja", {"caja", "-n", "--force-desktop"});
    if (!monitors.empty()) {
        // Desktop windows follow a new layout once it is set again.
        d->WaitForBusName("org.mate.Caja", 20000);
        d->SetMonitors(monitors);
    }
    if (!d->WaitForPixels("caja shows the original", monitors.empty() ? kOriginal : kOriginals,
                          30000)) {
        d->DumpLogs();
        ADD_FAILURE() << "caja never drew the original";
        return nullptr;
    }
    return d;
}

std::string OriginalPicture(const TTempDir& pictures) {
    QImage original(80, 60, QImage::Format_RGB32);
    QPainter p(&original);
    p.fillRect(0, 0, 40, 60, QColor(0x00, 0xA0, 0x00));
    p.fillRect(40, 0, 40, 60, Qt::yellow);
    p.end();
    original.save(QString::fromStdString(pictures.File("original.png")));
    return pictures.File("original.png");
}

}  // namespace

TEST(MateDesktopTest, PicturesAndTheOriginalOnScreen) {
    TTempDir pictures;
    auto d = StartCaja(OriginalPicture(pictures));
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kOriginal);
    program.LetterBoxResetAndOrderlyExit();
    program.TileKillNineThenQuietRun();
    if (HasFailure()) {
        d->DumpLogs();
    }
}

// One picture spanning both monitors, each monitor's part its own letter box;
// the original back, zoomed on each, at the end.
TEST(MateDesktopTest, AKeptPictureStaysAndResetLaterBringsTheOriginal) {
    TTempDir pictures;
    auto d = StartCaja(OriginalPicture(pictures));
    ASSERT_TRUE(d);
    TProgramOnDesktop(*d, kOriginal).KeepWallpaperThenResetNextRun();
}

TEST(MateDesktopTest, SpannedLetterBoxOnTwoMonitors) {
    TTempDir pictures;
    auto d = StartCaja(OriginalPicture(pictures), {}, kDesk);
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kOriginals);
    program.MonitorsLetterBoxAndOrderlyExit();
    if (HasFailure()) {
        d->DumpLogs();
    }
}

TEST(MateDesktopTest, DconfLockLeavesTheScreenAsItWas) {
    // An administrator's dconf database with MATE's picture locked.
    TTempDir pictures;
    const std::string original = OriginalPicture(pictures);
    const std::string keyfiles = pictures.File("db.d");
    std::filesystem::create_directories(keyfiles + "/locks");
    WriteFileBytes(keyfiles + "/background",
                   "[org/mate/desktop/background]\npicture-filename='" + original + "'\n");
    WriteFileBytes(keyfiles + "/locks/background",
                   "/org/mate/desktop/background/picture-filename\n"
                   "/org/mate/desktop/background/picture-options\n");
    ASSERT_EQ(RunTool({"dconf", "compile", pictures.File("locked"), keyfiles}).exitCode, 0);
    WriteFileBytes(pictures.File("profile"),
                   "user-db:user\nfile-db:" + pictures.File("locked") + "\n");
    auto d = StartCaja(original, {{"DCONF_PROFILE", pictures.File("profile")}});
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kOriginal);
    program.ForbiddenChangesLeaveTheScreen("policy forbids wallpaper changes");
    if (HasFailure()) {
        d->DumpLogs();
    }
}
