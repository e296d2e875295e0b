// The real program, started as a user would (inside the test harness: a
// private X display, D-Bus session and XDG folders): one instance per session,
// the close request, termination signals, kill -9, and the settings file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "registry/RegHive.h"
#include "support/InstanceSocket.h"
#include "support/TempDir.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("DISPLAY").empty() || Env("XDG_RUNTIME_DIR").empty()) {
            GTEST_SKIP() << "needs tests/support/harness (a private display and runtime folder)";
        }
        exe = Env("VANTORIA_BINARY_DIR") + "/vantoria";
        socket = InstanceSocketPath();
        hive = Env("XDG_CONFIG_HOME") + "/vantoria/user.reg";
        std::filesystem::remove_all(Env("XDG_CONFIG_HOME") + "/vantoria");
    }
    void TearDown() override {
        for (auto* p : started) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
    }
    QProcess* Start() {
        auto* p = new QProcess;
        started.push_back(p);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QString::fromStdString(exe), {});
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    // The instance is up once it listens for the close request.
    bool WaitListening(QProcess* p) {
        for (int i = 0; i < 200; ++i) {
            if (p->state() == QProcess::NotRunning) return false;
            const int fd = Connect();
            if (fd >= 0) {
                ::close(fd);
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }
    int Connect() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socket.c_str(), sizeof addr.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    void SendCloseRequest() {
        const int fd = Connect();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "vantoriamsg", 11), 11);
        ::close(fd);
    }
    static void ExpectCleanExit(QProcess* p) {
        ASSERT_TRUE(p->waitForFinished(15000)) << "did not end";
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }
    void ExpectTwelveValues() {
        const auto parsed = ParseRegFile(ReadFileBytes(hive));
        ASSERT_TRUE(parsed) << "settings file missing or damaged";
        const std::string key = "HKEY_CURRENT_USER\\Software\\Vantoria";
        for (const char* name : {"Autoplay", "Style", "ChangeTime", "Current", "Playlist", "Folder",
                                 "Stop", "Stretch", "Color", "ShowClock", "ClockX", "ClockY"}) {
            EXPECT_NE(parsed->Find(key, name), nullptr) << name;
        }
    }

    // Runs xdotool and returns what it printed; empty when it failed.
    static QString XDo(const QStringList& args) {
        QProcess x;
        x.start(QStringLiteral("xdotool"), args);
        if (!x.waitForFinished(10000) || x.exitCode() != 0) {
            return {};
        }
        return QString::fromUtf8(x.readAllStandardOutput()).trimmed();
    }
    // The first window whose plain name (WM_NAME) is name, once it is mapped.
    static QString WaitWindow(const QString& name) {
        const QString pattern =
            QLatin1Char('^') + QRegularExpression::escape(name) + QLatin1Char('$');
        for (int i = 0; i < 200; ++i) {
            const QString ids = XDo({"search", "--onlyvisible", "--name", pattern});
            if (!ids.isEmpty()) {
                return ids.split(QLatin1Char('\n')).constFirst();
            }
            QThread::msleep(50);
        }
        return {};
    }
    std::string exe, socket, hive;
    std::vector<QProcess*> started;
};

TEST_F(ProgramTest, SecondStartEndsAtOnceAndTheCloseRequestEndsTheFirstInOrder) {
    QProcess* first = Start();
    ASSERT_TRUE(WaitListening(first));
    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(10000)) << "a second instance kept running";
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);

    SendCloseRequest();
    ExpectCleanExit(first);
    ExpectTwelveValues();
}

TEST_F(ProgramTest, TerminationSignalEndsInOrderAndKillNineLeavesNoStaleGuard) {
    QProcess* victim = Start();
    ASSERT_TRUE(WaitListening(victim));
    ::kill(pid_t(victim->processId()), SIGKILL);
    victim->waitForFinished(5000);

    QProcess* next = Start();
    ASSERT_TRUE(WaitListening(next)) << "a start after kill -9 must run at once";
    ::kill(pid_t(next->processId()), SIGTERM);
    ExpectCleanExit(next);
    ExpectTwelveValues();
}

TEST_F(ProgramTest, DamagedSettingsGiveDefaultsAndAreKeptAside) {
    std::filesystem::create_directories(std::filesystem::path(hive).parent_path());
    const std::string junk = "[[[ this was edited by hand and broken\n\x01\x02";
    WriteFileBytes(hive, junk);
    QProcess* p = Start();
    ASSERT_TRUE(WaitListening(p));
    SendCloseRequest();
    ExpectCleanExit(p);
    EXPECT_EQ(ReadFileBytes(hive + ".bad"), junk);
    ExpectTwelveValues();
    const auto parsed = ParseRegFile(ReadFileBytes(hive));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed->Find("HKEY_CURRENT_USER\\Software\\Vantoria", "ChangeTime"),
              TRegValue::Dword(10));
}

// The dialogs carry their own captions, with no application name appended,
// and open in the middle of the screen (1024 x 768 in the harness).
TEST_F(ProgramTest, DialogCaptionsStandAsTheyAreAndTheDialogsAreCentred) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        GTEST_SKIP() << "xdotool is missing (scripts/install-deps)";
    }
    QProcess* p = Start();
    ASSERT_TRUE(WaitListening(p));
    const QString main = WaitWindow(QStringLiteral("Vantoria"));
    ASSERT_FALSE(main.isEmpty());
    for (const auto& [key, caption] :
         {std::pair{"ctrl+a", "About Vantoria..."}, std::pair{"ctrl+s", "Settings"}}) {
        XDo({"windowfocus", "--sync", main});
        XDo({"key", key});
        const QString dialog = WaitWindow(QString::fromLatin1(caption));
        ASSERT_FALSE(dialog.isEmpty()) << caption;
        // The name the window manager shows: nothing appended.
        EXPECT_EQ(XDo({"getwindowname", dialog}).toStdString(), caption);
        QMap<QString, int> g;
        for (const QString& line : XDo({"getwindowgeometry", "--shell", dialog}).split('\n')) {
            g[line.section('=', 0, 0)] = line.section('=', 1).toInt();
        }
        EXPECT_NEAR(g["X"] + g["WIDTH"] / 2, 512, 2) << caption;
        EXPECT_NEAR(g["Y"] + g["HEIGHT"] / 2, 384, 2) << caption;
        XDo({"windowfocus", "--sync", dialog});
        XDo({"key", "Escape"});
        for (int i = 0; i < 100 && !XDo({"search", "--onlyvisible", "--name", caption}).isEmpty();
             ++i) {
            QThread::msleep(50);
        }
    }
    SendCloseRequest();
    ExpectCleanExit(p);
}

}  // namespace
