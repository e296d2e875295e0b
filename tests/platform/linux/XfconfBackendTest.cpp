// XFCE's back-end against the real xfconfd, started by D-Bus activation on the
// harness's private session bus; read back with xfconf-query.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStringList>
#include <cstdlib>
#include <filesystem>

#include "RunTool.h"
#include "platform/linux/desktop/xfce/XfconfDesktopBackend.h"
#include "support/TempDir.h"

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
    // The placement goes with the next picture, never alone.
    xfce.SetPlacement(dpStretch);
    EXPECT_EQ(Query(kB + "/image-style"), "2");
    ASSERT_TRUE(xfce.SetWallpaperFile("/tmp/next.bmp", false)) << xfce.LastError();
    EXPECT_EQ(Query(kB + "/image-style"), "3");

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

namespace {

// The backdrop properties xfconfd announces as changed, each a reload of
// xfdesktop's.
class TChangeCounter : public QObject {
    Q_OBJECT
public:
    TChangeCounter() {
        QDBusConnection::sessionBus().connect(
            QString(), QStringLiteral("/org/xfce/Xfconf"), QStringLiteral("org.xfce.Xfconf"),
            QStringLiteral("PropertyChanged"), this, SLOT(Changed(QString, QString)));
    }
    // The changes announced until now, once a change of a marker made last
    // has come through.
    QStringList Take() {
        Create("/vantoria-marker", "int", std::to_string(++marks_));
        for (int i = 0; i < 500 && !changes_.contains(QStringLiteral("/vantoria-marker")); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        changes_.removeAll(QStringLiteral("/vantoria-marker"));
        return std::exchange(changes_, {});
    }

public slots:
    void Changed(const QString&, const QString& property) { changes_.append(property); }

private:
    QStringList changes_;
    int marks_ = 0;
};

}  // namespace

TEST_F(XfconfBackendTest, EachMonitorItsPictureInOneChangeAndAllBack) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    TChangeCounter counter;
    const std::string kOther = "/backdrop/screen0/monitorDUMMY1/workspace";
    TXfconfDesktopBackend xfce;
    EXPECT_NE(xfce.MonitorFiles(), nullptr);
    const std::string state = xfce.SaveState();
    ASSERT_TRUE(xfce.SetPlacement(dpCenter));
    const TMonitor one{"Virtual-1", 0, 0, 1920, 1080, true};
    const TMonitor two{"DUMMY1", 1920, 0, 1280, 1024, false};
    ASSERT_TRUE(
        xfce.SetMonitorWallpaperFiles({{one, "/tmp/a-1.bmp"}, {two, "/tmp/b-1.bmp"}}, false))
        << xfce.LastError();
    // The monitor xfdesktop had no backdrop for gets one in every workspace.
    for (const char* workspace : {"0", "1"}) {
        EXPECT_EQ(Query(kOther + workspace + "/last-image"), "/tmp/b-1.bmp");
        EXPECT_EQ(Query(kOther + workspace + "/image-style"), "1");
    }
    EXPECT_EQ(Query(kB + "/last-image"), "/tmp/a-1.bmp");
    counter.Take();

    // The next slide in the same style: one change per backdrop, its picture.
    xfce.SetPlacement(dpCenter);
    ASSERT_TRUE(
        xfce.SetMonitorWallpaperFiles({{one, "/tmp/a-2.bmp"}, {two, "/tmp/b-2.bmp"}}, false));
    QStringList changes = counter.Take();
    changes.sort();
    EXPECT_EQ(changes.join(QLatin1Char(' ')).toStdString(),
              kOther + "0/last-image " + kOther + "1/last-image " + kA + "/last-image " + kB +
                  "/last-image");

    // The original back, and no backdrop left for the monitor that had none.
    ASSERT_TRUE(xfce.RestoreState(state)) << xfce.LastError();
    EXPECT_EQ(Query(kA + "/last-image"), "/usr/share/backgrounds/xfce/original.svg");
    EXPECT_EQ(Query(kB + "/image-style"), "5");
    EXPECT_EQ(
        RunTool({"xfconf-query", "-c", "xfce4-desktop", "-p", kOther + "0/last-image"}).exitCode,
        1);
}

namespace {

// Makes the session bus start xfconfd anew, with `configDirs` as the system
// configuration folders it reads locks from.
void RestartXfconfd(const std::string& configDirs) {
    ASSERT_EQ(
        RunTool({"dbus-update-activation-environment", "XDG_CONFIG_DIRS=" + configDirs}).exitCode,
        0);
    const std::string pid =
        RunTool({"gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o",
                 "/org/freedesktop/DBus", "-m", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                 "org.xfce.Xfconf"})
            .out;
    // The answer reads "(uint32 1234,)".
    const std::size_t digits = pid.find("uint32 ");
    if (digits == std::string::npos) {
        return;  // not running
    }
    const pid_t xfconfd = static_cast<pid_t>(std::stol(pid.substr(digits + 7)));
    kill(xfconfd, SIGTERM);
    for (int i = 0; i < 200 && kill(xfconfd, 0) == 0; ++i) {
        usleep(10000);
    }
}

}  // namespace

// An administrator's lock (a system-wide channel file naming the user)
// forbids every change, and nothing is written.
TEST(XfconfLockTest, LockedBackdropForbidsChanges) {
    TTempDir system;
    const std::string folder = system.Path() + "/xfce4/xfconf/xfce-perchannel-xml";
    std::filesystem::create_directories(folder);
    const std::string user = getpwuid(geteuid())->pw_name;
    WriteFileBytes(
        folder + "/xfce4-desktop.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<channel name=\"xfce4-desktop\" version=\"1.0\">\n"
        " <property name=\"backdrop\" type=\"empty\">\n"
        "  <property name=\"screen0\" type=\"empty\">\n"
        "   <property name=\"monitorVirtual-1\" type=\"empty\">\n"
        "    <property name=\"workspace0\" type=\"empty\">\n"
        "     <property name=\"last-image\" type=\"string\" value=\"/locked.png\" "
        "locked=\"" +
            user +
            "\"/>\n"
            "     <property name=\"image-style\" type=\"int\" value=\"5\" locked=\"" +
            user +
            "\"/>\n"
            "    </property>\n   </property>\n  </property>\n </property>\n</channel>\n");
    const char* previous = getenv("XDG_CONFIG_DIRS");
    RestartXfconfd(system.Path());

    TXfconfDesktopBackend xfce;
    EXPECT_TRUE(xfce.ChangesForbidden());
    EXPECT_NE(xfce.LastError().find("locked"), std::string::npos) << xfce.LastError();
    EXPECT_FALSE(xfce.SetWallpaperFile("/tmp/vantoria.bmp", false));
    EXPECT_EQ(Query(kA + "/last-image"), "/locked.png");
    EXPECT_EQ(Query(kA + "/image-style"), "5");

    RestartXfconfd(previous ? previous : "/etc/xdg");
}

#include "XfconfBackendTest.moc"
