// The Linux session monitor against a stand-in logind on a private "system"
// bus and stand-in screen savers on a private session bus.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "BusFixture.h"
#include "platform/linux/session/SessionMonitor.h"

namespace {

using TCodes = std::vector<std::uint32_t>;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A round trip to the bus daemon: everything this connection sent before
// (match rules, signals) has been handled by the daemon when it returns.
void Flush(QDBusConnection& bus) {
    bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

class SessionMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(systemBus_.Started()) << "dbus-daemon could not be started";
        ASSERT_TRUE(sessionBus_.Started());
        static int serial = 0;
        systemName_ = QStringLiteral("sys%1").arg(++serial);
        sessionName_ = QStringLiteral("ses%1").arg(serial);
        system_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(systemBus_.Address(), systemName_));
        session_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(sessionBus_.Address(), sessionName_));
        ASSERT_TRUE(system_->isConnected());
        ASSERT_TRUE(session_->isConnected());
    }

    void TearDown() override {
        monitors_.clear();
        system_.reset();
        session_.reset();
        QDBusConnection::disconnectFromBus(systemName_);
        QDBusConnection::disconnectFromBus(sessionName_);
    }

    void StartStandIn(const QStringList& extra = {}) {
        standIn_ =
            std::make_unique<TSessionStandIn>(systemBus_.Address(), sessionBus_.Address(), extra);
        ASSERT_TRUE(standIn_->Ready()) << "the stand-in did not start";
    }

    // A registered monitor whose changes go to codes.
    TLinuxSessionMonitor& Monitor(TCodes& codes, const QString& xdgSessionId = {},
                                  bool withSystem = true, bool withSession = true) {
        auto monitor = std::make_unique<TLinuxSessionMonitor>(
            withSystem ? *system_ : QDBusConnection(QStringLiteral("absent")),
            withSession ? *session_ : QDBusConnection(QStringLiteral("absent")),
            quint32(::getpid()), xdgSessionId);
        lastRegistered_ =
            monitor->Register([&codes](std::uint32_t code) { codes.push_back(code); });
        Flush(*system_);
        Flush(*session_);
        monitors_.push_back(std::move(monitor));
        return *monitors_.back();
    }

    // Sends the commands and returns the changes they caused. A round trip
    // to the stand-in over each bus follows them: its signals reach this
    // process before its answer does, so all of them have arrived then.
    TCodes After(TCodes& codes, const QStringList& commands) {
        const std::size_t start = codes.size();
        for (const QString& c : commands) {
            EXPECT_TRUE(standIn_->Command(c)) << qPrintable(c);
        }
        Ping(*system_, QStringLiteral("org.freedesktop.login1"));
        Ping(*session_, QStringLiteral("org.freedesktop.ScreenSaver"));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return TCodes(codes.begin() + std::ptrdiff_t(start), codes.end());
    }

    static void Ping(QDBusConnection& bus, const QString& service) {
        const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
            service, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
            QStringLiteral("Ping")));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
    }

    TPrivateBus systemBus_;
    TPrivateBus sessionBus_;
    QString systemName_, sessionName_;
    std::unique_ptr<QDBusConnection> system_, session_;
    std::unique_ptr<TSessionStandIn> standIn_;
    std::vector<std::unique_ptr<TLinuxSessionMonitor>> monitors_;
    bool lastRegistered_ = false;
};

TEST_F(SessionMonitorTest, FindsTheSessionOfItsProcessAndReadsItsState) {
    StartStandIn();
    TCodes codes;
    TLinuxSessionMonitor& m = Monitor(codes);
    EXPECT_TRUE(lastRegistered_);
    EXPECT_TRUE(m.LogindWatched());
    EXPECT_TRUE(m.ScreenSaversWatched());
    EXPECT_EQ(m.SessionPath(), QStringLiteral("/org/freedesktop/login1/session/_37"));
    EXPECT_EQ(m.SessionId(), QStringLiteral("7"));
    const QStringList byPid = standIn_->CallsOf(QStringLiteral("GetSessionByPID"));
    ASSERT_EQ(byPid.size(), 1);
    EXPECT_EQ(byPid[0], QStringLiteral("call org.freedesktop.login1.Manager.GetSessionByPID "
                                       "/org/freedesktop/login1 %1")
                            .arg(::getpid()));
    EXPECT_TRUE(standIn_->CallsOf(QStringLiteral("GetSession")).isEmpty());
    const QStringList getAll = standIn_->CallsOf(QStringLiteral("GetAll"));
    ASSERT_EQ(getAll.size(), 1);
    EXPECT_EQ(getAll[0], QStringLiteral("call org.freedesktop.DBus.Properties.GetAll "
                                        "/org/freedesktop/login1/session/_37 "
                                        "org.freedesktop.login1.Session"));
    // The state found at start is no change.
    EXPECT_TRUE(codes.empty());
}

TEST_F(SessionMonitorTest, FallsBackToTheSessionNamedByTheEnvironment) {
    StartStandIn({QStringLiteral("--no-pid-session")});
    TCodes codes;
    TLinuxSessionMonitor& m = Monitor(codes, QStringLiteral("7"));
    EXPECT_TRUE(m.LogindWatched());
    EXPECT_EQ(m.SessionPath(), QStringLiteral("/org/freedesktop/login1/session/_37"));
    const QStringList byId = standIn_->CallsOf(QStringLiteral("GetSession"));
    ASSERT_EQ(byId.size(), 1);
    EXPECT_EQ(byId[0], QStringLiteral("call org.freedesktop.login1.Manager.GetSession "
                                      "/org/freedesktop/login1 7"));
    EXPECT_EQ(After(codes, {QStringLiteral("unlock")}), TCodes({8}));

    // No session for the process and none named: logind is not watched, the
    // screen savers still are.
    TCodes other;
    TLinuxSessionMonitor& none = Monitor(other);
    EXPECT_FALSE(none.LogindWatched());
    EXPECT_TRUE(none.ScreenSaversWatched());
    EXPECT_TRUE(lastRegistered_);
}

TEST_F(SessionMonitorTest, LockRequestsAndLockedHintBecomeLockAndUnlock) {
    StartStandIn();
    TCodes codes;
    Monitor(codes);
    EXPECT_EQ(After(codes, {QStringLiteral("unlock")}), TCodes({8}));
    // Repeated requests each count: an unanswered lock request must not
    // swallow the next one.
    EXPECT_EQ(After(codes, {QStringLiteral("lock"), QStringLiteral("lock")}), TCodes({7, 7}));
    EXPECT_EQ(After(codes, {QStringLiteral("lockedhint 1"), QStringLiteral("lockedhint 1"),
                            QStringLiteral("lockedhint 0")}),
              TCodes({7, 8}));
}

TEST_F(SessionMonitorTest, SwitchingAwayAndBackIsDisconnectThenConnect) {
    StartStandIn();
    TCodes codes;
    Monitor(codes);
    EXPECT_EQ(After(codes, {QStringLiteral("active 0"), QStringLiteral("active 0"),
                            QStringLiteral("active 1"), QStringLiteral("active 1")}),
              TCodes({2, 1}));
    // A change announced without its value is read from logind.
    After(codes, {QStringLiteral("active-invalidated 0")});
    EXPECT_TRUE(WaitUntil([&] { return codes == TCodes({2, 1, 2}); }));
    EXPECT_FALSE(standIn_
                     ->WaitForLine(QStringLiteral("call org.freedesktop.DBus.Properties.Get "
                                                  "/org/freedesktop/login1/session/_37 "
                                                  "org.freedesktop.login1.Session Active"))
                     .isEmpty());
}

TEST_F(SessionMonitorTest, RemovalOfItsSessionIsOneLogOff) {
    StartStandIn();
    TCodes codes;
    Monitor(codes);
    EXPECT_EQ(After(codes, {QStringLiteral("removed-other")}), TCodes());
    EXPECT_EQ(After(codes, {QStringLiteral("removed"), QStringLiteral("removed")}), TCodes({6}));
}

TEST_F(SessionMonitorTest, IgnoresOtherSessionsInterfacesAndSenders) {
    StartStandIn();
    TCodes codes;
    Monitor(codes);
    // A Lock signal on this session's path sent by some other program on the
    // system bus is not logind's.
    QDBusConnection forger =
        QDBusConnection::connectToBus(systemBus_.Address(), QStringLiteral("forger"));
    forger.send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1/session/_37"),
                                           QStringLiteral("org.freedesktop.login1.Session"),
                                           QStringLiteral("Lock")));
    QDBusMessage forgedRemoval = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("SessionRemoved"));
    forgedRemoval << QStringLiteral("7")
                  << QVariant::fromValue(QDBusObjectPath("/org/freedesktop/login1/session/_37"));
    forger.send(forgedRemoval);
    Flush(forger);
    EXPECT_EQ(
        After(codes, {QStringLiteral("lock-other"), QStringLiteral("lock-wrong-interface"),
                      QStringLiteral("active-other 0"), QStringLiteral("gnome-wrong-path 1")}),
        TCodes());
    QDBusConnection::disconnectFromBus(QStringLiteral("forger"));
}

// A screen saver's ActiveChanged alone is no lock: it may only blank the
// screen (GNOME's shield with locking off, light-locker before it locks).
// KDE's locker, which also owns org.kde.screensaver, sends it only on lock.
TEST_F(SessionMonitorTest, OnlyKdesLockerTellsLockingByActiveChanged) {
    StartStandIn();
    TCodes codes;
    Monitor(codes);
    EXPECT_EQ(
        After(codes, {QStringLiteral("fdo 1"), QStringLiteral("fdo 0"), QStringLiteral("fdo-alt 1"),
                      QStringLiteral("gnome 1"), QStringLiteral("gnome 0")}),
        TCodes());
    // The real lock is logind's word.
    EXPECT_EQ(After(codes, {QStringLiteral("lockedhint 1"), QStringLiteral("lockedhint 0")}),
              TCodes({7, 8}));

    standIn_.reset();
    StartStandIn({QStringLiteral("--kde-locker")});
    TCodes kde;
    Monitor(kde);
    EXPECT_EQ(After(kde, {QStringLiteral("fdo 1"), QStringLiteral("fdo 0"),
                          QStringLiteral("fdo-alt 1"), QStringLiteral("gnome 1")}),
              TCodes({7, 8, 7}));
}

TEST_F(SessionMonitorTest, KdesLockerAloneWithoutLogind) {
    StartStandIn({QStringLiteral("--kde-locker")});
    TCodes codes;
    TLinuxSessionMonitor& m = Monitor(codes, {}, /*withSystem=*/false);
    EXPECT_TRUE(lastRegistered_);
    EXPECT_FALSE(m.LogindWatched());
    EXPECT_TRUE(standIn_->CallsOf(QStringLiteral("GetSessionByPID")).isEmpty());
    ASSERT_TRUE(standIn_->Command(QStringLiteral("fdo 1")));
    EXPECT_TRUE(WaitUntil([&] { return codes == TCodes({7}); }));
}

TEST_F(SessionMonitorTest, NothingArrivesAfterUnregister) {
    StartStandIn({QStringLiteral("--kde-locker")});
    TCodes first, second;
    TLinuxSessionMonitor& a = Monitor(first);
    a.Unregister();
    Monitor(second);
    // The two buses keep no order between each other.
    TCodes got = After(second, {QStringLiteral("unlock"), QStringLiteral("fdo 1"),
                                QStringLiteral("active 0"), QStringLiteral("removed")});
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, TCodes({2, 6, 7, 8}));
    EXPECT_TRUE(first.empty());
}

TEST_F(SessionMonitorTest, NoBusesRegistersNothing) {
    TCodes codes;
    TLinuxSessionMonitor monitor(QDBusConnection(QStringLiteral("absent1")),
                                 QDBusConnection(QStringLiteral("absent2")), quint32(::getpid()),
                                 QStringLiteral("7"));
    EXPECT_FALSE(monitor.Register([&codes](std::uint32_t c) { codes.push_back(c); }));
    EXPECT_FALSE(monitor.LogindWatched());
    EXPECT_FALSE(monitor.ScreenSaversWatched());
    monitor.Unregister();
    EXPECT_TRUE(codes.empty());
}

TEST_F(SessionMonitorTest, LogindAbsentFromTheSystemBus) {
    // A system bus without logind: only the screen savers are watched.
    TCodes codes;
    TLinuxSessionMonitor& m = Monitor(codes, QStringLiteral("7"));
    EXPECT_FALSE(m.LogindWatched());
    EXPECT_TRUE(m.ScreenSaversWatched());
    EXPECT_TRUE(lastRegistered_);
    EXPECT_TRUE(m.SessionPath().isEmpty());
}

}  // namespace
