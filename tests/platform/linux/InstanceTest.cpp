// The single-instance guard and the close request.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <cstring>

#include "platform/linux/instance/FlockInstanceGuard.h"
#include "platform/linux/instance/LocalSocketCloseRequest.h"
#include "platform/linux/instance/RuntimeDir.h"
#include "support/InstanceSocket.h"
#include "support/TempDir.h"

namespace {

const char* kName = "3F1C9B27-8D4E-4A6B-9C52-7E0D1A2B3C4D";

TEST(InstanceGuard, OneHolderAtATimeAcrossProcessesAndNoStaleLock) {
    TTempDir dir;
    {
        TFlockInstanceGuard first(dir.Path(), kName);
        ASSERT_TRUE(first.Acquire());
        TFlockInstanceGuard second(dir.Path(), kName);
        EXPECT_FALSE(second.Acquire());
        const pid_t child = ::fork();
        if (child == 0) {
            TFlockInstanceGuard other(dir.Path(), kName);
            ::_exit(other.Acquire() ? 1 : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "another process got the guard";
    }
    // The holder is gone: a new start gets the guard at once, the lock file
    // left behind does not matter.
    TFlockInstanceGuard later(dir.Path(), kName);
    EXPECT_TRUE(later.Acquire());

    // A holder killed outright leaves no stale lock either.
    TTempDir dir2;
    const pid_t holder = ::fork();
    if (holder == 0) {
        TFlockInstanceGuard g(dir2.Path(), kName);
        if (!g.Acquire())
            ::_exit(2);
        ::pause();
        ::_exit(0);
    }
    ::usleep(200 * 1000);
    TFlockInstanceGuard blocked(dir2.Path(), kName);
    EXPECT_FALSE(blocked.Acquire());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    TFlockInstanceGuard after(dir2.Path(), kName);
    EXPECT_TRUE(after.Acquire());
}

TEST(InstanceGuard, ASessionIsKnownByItsLoginSessionAndItsDisplays) {
    EXPECT_EQ(
        SessionKeys({{"XDG_SESSION_ID", "3"}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
        (std::vector<std::string>{"3", ":0", "wayland-0"}));
    EXPECT_EQ(SessionKeys({{"DISPLAY", "../x y:1"}, {"XDG_SESSION_ID", ""}}),
              (std::vector<std::string>{".._x_y:1"}));
    EXPECT_EQ(SessionKeys({}), (std::vector<std::string>{"default"}));
    // The names of one X display make one key; another screen, another host
    // (a forwarded "localhost:10" included) make others.
    const std::pair<const char*, const char*> displays[] = {
        {":5", ":5"},
        {":5.0", ":5"},
        {"unix:5", ":5"},
        {"unix:5.0", ":5"},
        {"unix/:5", ":5"},
        {"local/box:05.00", ":5"},
        {":5.1", ":5.1"},
        {"localhost:5", "localhost:5"},
        {"tcp/host:5.0", "tcp_host:5"},
        {"::1:5", "::1:5"},
        {"odd", "odd"},
        {":x.1", ":x.1"},
    };
    for (const auto& [display, key] : displays) {
        EXPECT_EQ(SessionKeys({{"DISPLAY", display}}), (std::vector<std::string>{key})) << display;
    }
}

TEST(CloseRequest, OnlyTheExactTextOverThePrivateSocketAsksToClose) {
    TTempDir dir;
    // A socket file left by a crashed instance is replaced.
    WriteFileBytes(dir.File("vantoriamsg"), "stale");
    TLocalSocketCloseRequest channel(dir.Path(), {"vantoriamsg"});
    ASSERT_TRUE(channel.Listen());
    QSignalSpy spy(&channel, &TCloseRequestChannel::closeRequested);
    struct stat st {};
    ASSERT_EQ(::stat(channel.SocketPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "other users must not reach the socket";

    int fd = ConnectInstance(channel.SocketPath());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "hello", 5), 5);
    ::close(fd);
    fd = ConnectInstance(channel.SocketPath());
    ASSERT_EQ(::write(fd, std::string(200, 'x').data(), 200), 200);
    ::close(fd);
    QTest::qWait(200);
    EXPECT_EQ(spy.count(), 0);

    fd = ConnectInstance(channel.SocketPath());
    ASSERT_EQ(::write(fd, "vantoria", 8), 8);  // may arrive in pieces
    QTest::qWait(50);
    ASSERT_EQ(::write(fd, "msg", 3), 3);
    EXPECT_TRUE(spy.wait(2000));
    EXPECT_EQ(spy.count(), 1);
    ::close(fd);
}

TEST(CloseRequest, TerminationSignalsAskToCloseThroughTheEventLoop) {
    TTempDir dir;
    TLocalSocketCloseRequest channel(dir.Path(), {"vantoriamsg"});
    ASSERT_TRUE(channel.Listen());
    QSignalSpy spy(&channel, &TCloseRequestChannel::closeRequested);
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        ::raise(sig);
        EXPECT_TRUE(spy.wait(2000)) << sig;
    }
    EXPECT_EQ(spy.count(), 3);
}

}  // namespace
