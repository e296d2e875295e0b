// The real caja drawing MATE's desktop from org.mate.background on a private
// Xvfb: the program's letter box and tiles where the geometry puts them, and
// the original back on screen after Reset to Default, the close request, and
// a kill -9 followed by a run that changes nothing.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <memory>

#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"

namespace {

// The original: green on the left, yellow on the right, zoomed to the screen.
const std::vector<TPixelCheck> kOriginal{
    {200, 300, 0x00A000}, {600, 300, 0xFFFF00}, {150, 550, 0x00A000}, {700, 550, 0xFFFF00}};

}  // namespace

TEST(MateDesktopTest, PicturesAndTheOriginalOnScreen) {
    TTempDir pictures;
    QImage original(80, 60, QImage::Format_RGB32);
    QPainter p(&original);
    p.fillRect(0, 0, 40, 60, QColor(0x00, 0xA0, 0x00));
    p.fillRect(40, 0, 40, 60, Qt::yellow);
    p.end();
    ASSERT_TRUE(original.save(QString::fromStdString(pictures.File("original.png"))));

    TRealDesktop d({800, 600, false, {{"XDG_CURRENT_DESKTOP", "MATE"}}});
    ASSERT_TRUE(d.Ready()) << d.Error();
    d.PrintVersion({"caja", "--version"});
    // No fade and no gradient: the picture as it is, at once.
    for (const auto& [key, value] :
         {std::pair{"picture-filename", "'" + pictures.File("original.png") + "'"},
          std::pair{"picture-options", std::string("'zoom'")},
          std::pair{"background-fade", std::string("false")},
          std::pair{"color-shading-type", std::string("'solid'")}}) {
        ASSERT_EQ(d.Run({"gsettings", "set", "org.mate.background", key, value}).exitCode, 0)
            << key;
    }
    d.Launch("openbox", {"openbox"});
    d.Launch("caja", {"caja", "-n", "--force-desktop"});
    if (!d.WaitForPixels("caja shows the original", kOriginal, 30000)) {
        d.DumpLogs();
        FAIL() << "caja never drew the original";
    }
    TProgramOnDesktop program(d, kOriginal);
    program.LetterBoxResetAndOrderlyExit();
    program.TileKillNineThenQuietRun();
    if (HasFailure()) {
        d.DumpLogs();
    }
}
