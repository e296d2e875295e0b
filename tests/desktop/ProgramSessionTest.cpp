// The real program in a session whose logind and screen savers are stand-ins
// on private buses, and in a session without any bus: log-off ends it in
// order exactly once; without a bus it starts and ends as always, silently.
// Runs inside tests/support/harness (a private X display and XDG folders).

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BusFixture.h"
#include "registry/RegHive.h"
#include "support/TempDir.h"
#include "support/InstanceSocket.h"

// Xlib after Qt: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

class ProgramSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("DISPLAY").empty() || Env("XDG_RUNTIME_DIR").empty()) {
            GTEST_SKIP() << "needs tests/support/harness (a private display and runtime folder)";
        }
        // Keeps the X server from resetting whenever the program disconnects.
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr);
        hive_ = Env("XDG_CONFIG_HOME") + "/vantoria/user.reg";
        record_ = Env("XDG_DATA_HOME") + "/vantoria/original-wallpaper";
        std::filesystem::remove_all(Env("XDG_CONFIG_HOME") + "/vantoria");
        std::filesystem::remove_all(Env("XDG_DATA_HOME") + "/vantoria");

        // A wallpaper found at start, and a show that runs from the start.
        ASSERT_EQ(Run("/usr/bin/convert", {"-size", "8x8", "xc:#00FF00", dir_.File("green.png")}),
                  0);
        ASSERT_EQ(Run("xwallpaper", {"--tile", dir_.File("green.png")}), 0);
        std::string list;
        for (const char* colour : {"#FF0000", "#0000FF"}) {
            const std::string file = dir_.File(std::string("slide") + (colour + 1) + ".png");
            ASSERT_EQ(
                Run("/usr/bin/convert", {"-size", "40x30", std::string("xc:") + colour, file}), 0);
            list += file + "\n";
        }
        WriteFileBytes(dir_.File("show.vpl"), list);
        std::filesystem::create_directories(Env("XDG_CONFIG_HOME") + "/vantoria");
        WriteFileBytes(hive_,
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"
                       "\"Autoplay\"=dword:00000001\r\n"
                       "\"Playlist\"=\"" +
                           dir_.File("show.vpl") +
                           "\"\r\n"
                           "\"ChangeTime\"=dword:0000000a\r\n"
                           "\"Current\"=dword:00000000\r\n");
    }

    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(5000);
        }
        if (display_) {
            XCloseDisplay(display_);
        }
    }

    static int Run(const char* tool, const std::vector<std::string>& args) {
        QStringList a;
        for (const auto& s : args)
            a << QString::fromStdString(s);
        QProcess p;
        p.start(QString::fromLatin1(tool), a);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode()
                                                                                  : -1;
    }

    void Start(const QString& systemAddress, const QString& sessionAddress) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemAddress);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionAddress);
        env.remove(QStringLiteral("XDG_SESSION_ID"));
        program_.setProcessEnvironment(env);
        program_.setProcessChannelMode(QProcess::SeparateChannels);
        program_.start(ProgramPath(), {});
        ASSERT_TRUE(program_.waitForStarted(5000));
    }

    // The program is up once it listens for the close request; from then on
    // a termination signal is not lost.
    bool WaitUntilUp() {
        const std::string socket = InstanceSocketPath();
        return WaitFor(
                   [&] {
                       return program_.state() == QProcess::NotRunning ||
                              std::filesystem::exists(socket);
                   },
                   30000) &&
               program_.state() == QProcess::Running;
    }

    void ExpectOrderlyEnd() {
        ASSERT_TRUE(program_.waitForFinished(20000))
            << "the program did not end; it said: "
            << program_.readAllStandardError().left(2000).toStdString();
        EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program_.exitCode(), 0);
        // The wallpaper found at start is back (where the show had changed
        // it): no record of it is kept.
        EXPECT_FALSE(std::filesystem::exists(record_));
        const auto parsed = ParseRegFile(ReadFileBytes(hive_));
        ASSERT_TRUE(parsed) << "settings file missing or damaged";
        const std::string key = "HKEY_CURRENT_USER\\Software\\Vantoria";
        for (const char* name : {"Autoplay", "Style", "ChangeTime", "Current", "Playlist", "Folder",
                                 "Stop", "Stretch", "Color", "ShowClock", "ClockX", "ClockY"}) {
            EXPECT_NE(parsed->Find(key, name), nullptr) << name;
        }
    }

    TTempDir dir_;
    Display* display_ = nullptr;
    std::string hive_, record_;
    QProcess program_;
};

TEST_F(ProgramSessionTest, RemovalOfTheSessionEndsTheProgramInOrderOnce) {
    TPrivateBus systemBus, sessionBus;
    ASSERT_TRUE(systemBus.Started() && sessionBus.Started());
    TSessionStandIn standIn(systemBus.Address(), sessionBus.Address());
    ASSERT_TRUE(standIn.Ready());
    Start(systemBus.Address(), sessionBus.Address());
    ASSERT_TRUE(WaitUntilUp());
    // The program found its session by its process and watches it.
    const QString getAll =
        standIn.WaitForLine(QStringLiteral("call org.freedesktop.DBus.Properties.GetAll "
                                           "/org/freedesktop/login1/session/_37"));
    ASSERT_FALSE(getAll.isEmpty());
    const QStringList byPid = standIn.CallsOf(QStringLiteral("GetSessionByPID"));
    ASSERT_EQ(byPid.size(), 1);
    EXPECT_TRUE(byPid[0].endsWith(QStringLiteral(" %1").arg(program_.processId())));

    // Locking on the way out changes nothing of the end.
    ASSERT_TRUE(standIn.Command(QStringLiteral("lock")));
    ASSERT_TRUE(standIn.Command(QStringLiteral("removed")));
    ExpectOrderlyEnd();
}

TEST_F(ProgramSessionTest, RemovalAndTheTerminationSignalTogetherEndItOnce) {
    TPrivateBus systemBus, sessionBus;
    ASSERT_TRUE(systemBus.Started() && sessionBus.Started());
    TSessionStandIn standIn(systemBus.Address(), sessionBus.Address());
    ASSERT_TRUE(standIn.Ready());
    Start(systemBus.Address(), sessionBus.Address());
    ASSERT_TRUE(WaitUntilUp());
    ASSERT_FALSE(standIn.WaitForLine(QStringLiteral("call org.freedesktop.DBus.Properties.GetAll"))
                     .isEmpty());
    ASSERT_TRUE(standIn.Command(QStringLiteral("removed")));
    // The session's end also sends the termination signal.
    ::kill(pid_t(program_.processId()), SIGTERM);
    ExpectOrderlyEnd();
}

TEST_F(ProgramSessionTest, ALogOffDuringStartUpIsNotLost) {
    TPrivateBus systemBus, sessionBus;
    ASSERT_TRUE(systemBus.Started() && sessionBus.Started());
    TSessionStandIn standIn(systemBus.Address(), sessionBus.Address(),
                            {QStringLiteral("--remove-when-watched")});
    ASSERT_TRUE(standIn.Ready());
    Start(systemBus.Address(), sessionBus.Address());
    ExpectOrderlyEnd();
}

TEST_F(ProgramSessionTest, WithoutAnyBusTheProgramRunsAndEndsSilently) {
    const QString none =
        QStringLiteral("unix:path=") + QString::fromStdString(dir_.File("no-bus-here"));
    Start(none, none);
    ASSERT_TRUE(WaitUntilUp());
    ::kill(pid_t(program_.processId()), SIGTERM);
    ExpectOrderlyEnd();
    const QString errors = QString::fromLocal8Bit(program_.readAllStandardError());
    for (const char* topic : {"dbus", "d-bus", "logind", "login1", "session", "screensaver"}) {
        EXPECT_FALSE(errors.contains(QLatin1String(topic), Qt::CaseInsensitive))
            << topic << " in: " << qPrintable(errors);
    }
}

}  // namespace
