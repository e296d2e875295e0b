// The desk's monitors as Qt reports them: the primary first, each placed in
// the desktop's own coordinates and sized in device pixels.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/QtScreenInfo.h"
#include "support/TempDir.h"

TEST(QtScreenInfoTest, MonitorsArePlacedAndSizedInDevicePixels) {
    TTempDir dir;
    // A 1280x1024 monitor and, to its right, a 3840x2160 one shown at twice the scale.
    WriteFileBytes(dir.File("screens.json"),
                   R"({"screens": [
                       {"name": "HIDPI", "x": 1280, "y": 0, "width": 1920, "height": 1080,
                        "dpr": 2},
                       {"name": "LEFT", "x": 0, "y": 0, "width": 1280, "height": 1024, "dpr": 1}]})");
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + dir.File("screens.json")).c_str());
    int argc = 1;
    char name[] = "qt_screen_info_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    TQtScreenInfo screen;
    const std::vector<TMonitor> monitors = screen.Monitors();
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].name, QGuiApplication::primaryScreen()->name().toStdString());
    EXPECT_TRUE(monitors[0].primary);
    EXPECT_FALSE(monitors[1].primary);
    for (TMonitor m : monitors) {
        m.primary = false;
        EXPECT_TRUE(m == (TMonitor{"LEFT", 0, 0, 1280, 1024, false}) ||
                    m == (TMonitor{"HIDPI", 1280, 0, 3840, 2160, false}))
            << m.name << " " << m.x << "," << m.y << " " << m.width << "x" << m.height;
    }
}
