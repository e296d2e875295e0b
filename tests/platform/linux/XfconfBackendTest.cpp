// XFCE's back-end against the real xfconfd, started by D-Bus activation on the
// harness's private session bus; read back with xfconf-query.
#include <gtest/gtest.h>

#include <cstdlib>

#include "RunTool.h"
#include "platform/linux/desktop/xfce/XfconfDesktopBackend.h"

namespace {

const std::string kA = "/backdrop/screen0/monitorVirtual-1/workspace0";
const std::string kB = "/backdrop/screen0/monitorVirtual-1/workspace1";

std::string Query(const std::string& property) {
    return Trimmed(RunTool({"xfconf-query", "-c", "xfce4-desktop", "-p", property}).out);
}

void Create(const std::string& property, const char* type, const std::string& value) {
    ASSERT_EQ(RunTool({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-n", "-t", type,
                       "-s", value})
                  .exitCode,
              0)
        << property;
}

class XfconfBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run inside the harness";
        RunTool({"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop", "-r", "-R"});
        Create(kA + "/last-image", "string", "/usr/share/backgrounds/xfce/original.svg");
        Create(kA + "/image-style", "int", "5");
        Create(kB + "/last-image", "string", "/usr/share/backgrounds/xfce/second.svg");
        Create(kB + "/image-style", "int", "5");
    }
};

}  // namespace

TEST_F(XfconfBackendTest, EveryWorkspaceGetsThePictureAndPlacement) {
    TXfconfDesktopBackend xfce;
    EXPECT_FALSE(xfce.ChangesForbidden()) << xfce.LastError();
    EXPECT_EQ(xfce.CurrentWallpaperFile(), "/usr/share/backgrounds/xfce/original.svg");
    EXPECT_EQ(xfce.CurrentPlacement(), dpOther);  // zoomed

    const std::string hostile = "/tmp/it's \"a\" \\b\n$(touch pwned) `x`.bmp";
    ASSERT_TRUE(xfce.SetPlacement(dpTile)) << xfce.LastError();
    ASSERT_TRUE(xfce.SetWallpaperFile(hostile, false)) << xfce.LastError();
    for (const std::string& prefix : {kA, kB}) {
        EXPECT_EQ(Query(prefix + "/last-image"), Trimmed(hostile));
        EXPECT_EQ(Query(prefix + "/image-style"), "2");
    }
    EXPECT_EQ(xfce.CurrentWallpaperFile(), hostile);
    xfce.SetPlacement(dpStretch);
    EXPECT_EQ(Query(kB + "/image-style"), "3");
    xfce.SetPlacement(dpCenter);
    EXPECT_EQ(Query(kB + "/image-style"), "1");

    EXPECT_FALSE(xfce.SetWallpaperFile("/tmp/\xff.bmp", false));
    ASSERT_TRUE(xfce.SetWallpaperFile("", true));
    EXPECT_EQ(Query(kA + "/image-style"), "0");
    EXPECT_EQ(xfce.CurrentWallpaperFile(), "");
}

TEST_F(XfconfBackendTest, SnapshotPutsBackEveryWorkspace) {
    TXfconfDesktopBackend xfce;
    const std::string state = xfce.SaveState();
    ASSERT_FALSE(state.empty());
    xfce.SetPlacement(dpCenter);
    xfce.SetWallpaperFile("/tmp/vantoria-1.bmp", false);
    ASSERT_EQ(Query(kA + "/last-image"), "/tmp/vantoria-1.bmp");
    ASSERT_TRUE(xfce.RestoreState(state)) << xfce.LastError();
    EXPECT_EQ(Query(kA + "/last-image"), "/usr/share/backgrounds/xfce/original.svg");
    EXPECT_EQ(Query(kB + "/last-image"), "/usr/share/backgrounds/xfce/second.svg");
    EXPECT_EQ(Query(kA + "/image-style"), "5");
    EXPECT_EQ(Query(kB + "/image-style"), "5");
    // A record naming other properties writes nothing.
    EXPECT_FALSE(xfce.RestoreState("/general/other\ts\tx\n"));
}
