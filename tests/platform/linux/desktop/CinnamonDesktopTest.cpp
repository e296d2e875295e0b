// Cinnamon's background as Cinnamon draws it: the real csd-background
// (cinnamon-settings-daemon) painting org.cinnamon.desktop.background into the
// root window of a private Xvfb, in a session a stand-in session manager says
// is running. The program's letter box and tiles where the geometry puts them,
// and the original back on screen after Reset to Default, the close request,
// and a kill -9 followed by a run that changes nothing.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <tuple>

#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"

namespace {

const std::vector<TPixelCheck> kOriginal{
    {200, 300, 0x00A000}, {600, 300, 0xFFFF00}, {150, 550, 0x00A000}, {700, 550, 0xFFFF00}};

}  // namespace

TEST(CinnamonDesktopTest, PicturesAndTheOriginalOnScreen) {
    TTempDir pictures;
    QImage original(80, 60, QImage::Format_RGB32);
    QPainter p(&original);
    p.fillRect(0, 0, 40, 60, QColor(0x00, 0xA0, 0x00));
    p.fillRect(40, 0, 40, 60, Qt::yellow);
    p.end();
    ASSERT_TRUE(original.save(QString::fromStdString(pictures.File("original.png"))));

    TRealDesktop d({.width = 800,
                    .height = 600,
                    .systemBus = true,
                    .env = {{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}});
    ASSERT_TRUE(d.Ready()) << d.Error();
    d.PrintVersion({"cinnamon", "--version"});
    // Cinnamon's own slide show would fight any other changer.
    for (const auto& [schema, key, value] :
         {std::tuple{"org.cinnamon.desktop.background", "picture-uri",
                     "'file://" + pictures.File("original.png") + "'"},
          std::tuple{"org.cinnamon.desktop.background", "picture-options", std::string("'zoom'")},
          std::tuple{"org.cinnamon.desktop.background.slideshow", "slideshow-enabled",
                     std::string("false")}}) {
        ASSERT_EQ(d.Run({"gsettings", "set", schema, key, value}).exitCode, 0) << key;
    }
    d.Launch("session-manager", {SESSION_MANAGER_STAND_IN});
    ASSERT_TRUE(d.WaitForBusName("org.gnome.SessionManager")) << d.Log("session-manager");
    d.Launch("openbox", {"openbox"});
    d.Launch("csd-background", {"csd-background"});
    if (!d.WaitForPixels("csd-background shows the original", kOriginal, 30000)) {
        d.DumpLogs();
        FAIL() << "csd-background never drew the original";
    }
    TProgramOnDesktop program(d, kOriginal);
    program.LetterBoxResetAndOrderlyExit();
    program.TileKillNineThenQuietRun();
    if (HasFailure()) {
        d.DumpLogs();
    }
}
