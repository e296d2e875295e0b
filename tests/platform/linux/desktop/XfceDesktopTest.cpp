// The real xfdesktop (with xfconfd and openbox) drawing the program's pictures:
// letter box and tiles where the geometry puts them, and the original back on
// screen after Reset to Default, the close request, and a kill -9 followed by
// a run that changes nothing; an administrator's xfconf lock leaves the
// screen as it was.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <memory>
#include <tuple>

#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"

namespace {

const std::string kBackdrop = "/backdrop/screen0/monitorscreen/workspace0";
// The original: green on the left, yellow on the right, zoomed to the screen.
const std::vector<TPixelCheck> kOriginal{
    {200, 300, 0x00A000}, {600, 300, 0xFFFF00}, {100, 550, 0x00A000}, {700, 550, 0xFFFF00}};

class XfceDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        QImage original(80, 60, QImage::Format_RGB32);
        QPainter p(&original);
        p.fillRect(0, 0, 40, 60, QColor(0x00, 0xA0, 0x00));
        p.fillRect(40, 0, 40, 60, QColor(0xFF, 0xFF, 0x00));
        p.end();
        originalPicture = pictures.File("original.png");
        ASSERT_TRUE(original.save(QString::fromStdString(originalPicture)));
    }

    // xfdesktop on a private 800x600 display, showing the original.
    std::unique_ptr<TRealDesktop> StartXfce(std::map<std::string, std::string> env = {},
                                            bool setOriginal = true) {
        env["XDG_CURRENT_DESKTOP"] = "XFCE";
        auto d = std::make_unique<TRealDesktop>(TRealDesktopOptions{800, 600, false, env});
        if (!d->Ready()) {
            ADD_FAILURE() << d->Error();
            return nullptr;
        }
        d->PrintVersion({"xfdesktop", "--version"});
        if (setOriginal) {
            for (const auto& [key, type, value] :
                 {std::tuple{"/last-image", "string", originalPicture},
                  std::tuple{"/image-style", "int", std::string("5")}}) {
                EXPECT_EQ(d->Run({"xfconf-query", "-c", "xfce4-desktop", "-p", kBackdrop + key,
                                  "-n", "-t", type, "-s", value})
                              .exitCode,
                          0);
            }
        }
        d->Launch("openbox", {"openbox"});
        d->Launch("xfdesktop", {"xfdesktop", "--sm-client-disable"});
        if (!d->WaitForPixels("xfdesktop shows the original", kOriginal, 30000)) {
            d->DumpLogs();
            ADD_FAILURE() << "xfdesktop never drew the original";
            return nullptr;
        }
        return d;
    }

    TTempDir pictures;
    std::string originalPicture;
};

}  // namespace

TEST_F(XfceDesktopTest, PicturesAndTheOriginalOnScreen) {
    auto d = StartXfce();
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kOriginal);
    program.LetterBoxResetAndOrderlyExit();
    program.TileKillNineThenQuietRun();
    if (HasFailure()) {
        d->DumpLogs();
    }
}

TEST_F(XfceDesktopTest, LockedBackdropLeavesTheScreenAsItWas) {
    // The administrator's channel file, read by xfconfd from the system
    // configuration folders: the backdrop is locked for this user.
    TTempDir system;
    const std::string folder = system.Path() + "/xfce4/xfconf/xfce-perchannel-xml";
    std::filesystem::create_directories(folder);
    const std::string locked = std::string(" locked=\"") + getpwuid(geteuid())->pw_name + "\"";
    WriteFileBytes(
        folder + "/xfce4-desktop.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<channel name=\"xfce4-desktop\" version=\"1.0\">\n"
        " <property name=\"backdrop\" type=\"empty\">\n"
        "  <property name=\"screen0\" type=\"empty\">\n"
        "   <property name=\"monitorscreen\" type=\"empty\">\n"
        "    <property name=\"workspace0\" type=\"empty\">\n"
        "     <property name=\"last-image\" type=\"string\" value=\"" +
            originalPicture + "\"" + locked +
            "/>\n"
            "     <property name=\"image-style\" type=\"int\" value=\"5\"" +
            locked +
            "/>\n"
            "    </property>\n   </property>\n  </property>\n </property>\n</channel>\n");
    auto d = StartXfce({{"XDG_CONFIG_DIRS", system.Path() + ":/etc/xdg"}}, false);
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kOriginal);
    program.ForbiddenChangesLeaveTheScreen("policy forbids wallpaper changes");
    if (HasFailure()) {
        d->DumpLogs();
    }
}
