// Session notifications for a window and the main window's reactions to
// them: lock, unlock, switching away and back, log-off.

#include <gtest/gtest.h>

#include <QAction>
#include <algorithm>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <memory>
#include <stdexcept>

#include "app/Main.h"
#include "desktop/UserSwitch.h"
#include "platform/TrayService.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/Recorders.h"
#include "support/TempDir.h"

namespace {

// What the fake platform source saw, shared with the test after the source
// itself has been dropped by the registration.
struct TSourceLog {
    int created = 0;
    int registered = 0;
    int unregistered = 0;
    int destroyed = 0;
    TSessionNotifier::TChangeHandler handler;
};

class TFakeNotifier : public TSessionNotifier {
public:
    TFakeNotifier(std::shared_ptr<TSourceLog> log, bool reachable)
        : log_(std::move(log)), reachable_(reachable) {
        ++log_->created;
    }
    ~TFakeNotifier() override { ++log_->destroyed; }
    bool Register(TChangeHandler onChange) override {
        ++log_->registered;
        if (reachable_) {
            log_->handler = std::move(onChange);
        }
        return reachable_;
    }
    void Unregister() override {
        ++log_->unregistered;
        log_->handler = nullptr;
    }

private:
    std::shared_ptr<TSourceLog> log_;
    bool reachable_;
};

// Records the messages that reach it.
class TReceiver : public QObject {
public:
    void customEvent(QEvent* event) override {
        if (event->type() == TWTSSessionChangeEvent::EventType()) {
            auto& message = static_cast<TWTSSessionChangeEvent*>(event)->Message;
            messages.push_back(message);
        }
    }
    std::vector<TWMWTSSessionChange> messages;
};

class UserSwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        log = std::make_shared<TSourceLog>();
        UseSource(true);
    }
    void TearDown() override { SetSessionNotifierFactory(nullptr); }
    void UseSource(bool reachable) {
        auto l = log;
        SetSessionNotifierFactory([l, reachable]() -> std::unique_ptr<TSessionNotifier> {
            return std::make_unique<TFakeNotifier>(l, reachable);
        });
    }
    void Report(std::uint32_t code) {
        ASSERT_TRUE(log->handler) << "no registration receives changes";
        log->handler(code);
    }
    std::shared_ptr<TSourceLog> log;
};

TEST_F(UserSwitchTest, ChangesArriveAsPostedMessagesInOrder) {
    TReceiver window;
    RegisterSessionNotification(&window);
    EXPECT_EQ(log->registered, 1);
    Report(WTS_SESSION_LOCK);
    Report(WTS_SESSION_UNLOCK);
    // Posted, not sent: nothing is handled inside the source's own call.
    EXPECT_TRUE(window.messages.empty());
    QCoreApplication::sendPostedEvents(&window);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].Msg, 0x02B1u);
    EXPECT_EQ(window.messages[0].WParam, 7u);
    EXPECT_EQ(window.messages[1].WParam, 8u);
    UnregisterSessionNotification(&window);
    EXPECT_EQ(log->unregistered, 1);
    EXPECT_EQ(log->destroyed, 1);
}

TEST_F(UserSwitchTest, WithoutAPlatformSourceRegistrationDoesNothing) {
    SetSessionNotifierFactory(nullptr);
    TReceiver window;
    RegisterSessionNotification(&window);
    UnregisterSessionNotification(&window);
    EXPECT_EQ(log->created, 0);
}

TEST_F(UserSwitchTest, AnUnreachableSourceIsDroppedAtOnce) {
    UseSource(false);
    TReceiver window;
    RegisterSessionNotification(&window);
    EXPECT_EQ(log->registered, 1);
    EXPECT_EQ(log->unregistered, 1);
    EXPECT_EQ(log->destroyed, 1);
    UnregisterSessionNotification(&window);
    EXPECT_EQ(log->unregistered, 1) << "nothing left to unregister";
}

TEST_F(UserSwitchTest, AFailingSourceIsSwallowed) {
    SetSessionNotifierFactory([]() -> std::unique_ptr<TSessionNotifier> {
        throw std::runtime_error("no session service");
    });
    TReceiver window;
    EXPECT_NO_THROW(RegisterSessionNotification(&window));
    EXPECT_NO_THROW(UnregisterSessionNotification(&window));
}

TEST_F(UserSwitchTest, UnregisteringAnotherWindowLeavesTheRegistration) {
    TReceiver window, other;
    RegisterSessionNotification(&window);
    UnregisterSessionNotification(&other);
    EXPECT_EQ(log->unregistered, 0);
    Report(WTS_SESSION_LOCK);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.messages.size(), 1u);
    UnregisterSessionNotification(&window);
    EXPECT_EQ(log->unregistered, 1);
}

TEST_F(UserSwitchTest, RegisteringAgainReplacesTheEarlierRegistration) {
    TReceiver window;
    RegisterSessionNotification(&window);
    RegisterSessionNotification(&window);
    EXPECT_EQ(log->created, 2);
    EXPECT_EQ(log->destroyed, 1);
    UnregisterSessionNotification(&window);
    EXPECT_EQ(log->destroyed, 2);
}

TEST_F(UserSwitchTest, AChangeForAWindowAlreadyGoneIsDropped) {
    auto window = std::make_unique<TReceiver>();
    RegisterSessionNotification(window.get());
    window.reset();
    Report(WTS_SESSION_LOCK);  // must not reach freed memory
    QCoreApplication::sendPostedEvents();
    TReceiver next;
    UnregisterSessionNotification(&next);
    EXPECT_EQ(log->unregistered, 1) << "a registration whose window is gone still ends";
}

// The main window, as the program block runs it, fed by the fake source.
class MainWindowSessionTest : public UserSwitchTest {
protected:
    void SetUp() override {
        UserSwitchTest::SetUp();
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        RegEnsureKey(HKEY_CURRENT_USER, settings::kKey);
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            WriteFileBytes(dir.File(name), "x");
            files.push_back(dir.File(name));
        }
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        services.tray = &tray;
        frm = std::make_unique<TfrmMain>(services);
        frm->FormCreate();
        applier.FOriginalWallpaper = "/usr/share/backgrounds/found-at-start.png";
        frm->SlideShow().SetPlaylist(files);
    }
    void TearDown() override {
        frm.reset();
        RegSetStore(nullptr);
        UserSwitchTest::TearDown();
    }
    // The show runs and has changed the wallpaper once.
    void RunShow() {
        frm->actRunExecute();
        ASSERT_TRUE(frm->SlideShow().Running());
        ASSERT_TRUE(frm->SlideShow().Timer().isActive());
        tray.hints.clear();
    }
    void Deliver(std::uint32_t code) {
        Report(code);
        QCoreApplication::sendPostedEvents(frm.get());
    }
    int Stops() const { return int(std::count(tray.hints.begin(), tray.hints.end(), "Vantoria")); }

    TTempDir dir;
    std::vector<std::string> files;
    std::shared_ptr<TMemoryRegistryStore> store;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1024, 768, 32}};
    TRecordingApplier applier;
    TRecordingTray tray;
    TMainServices services;
    std::unique_ptr<TfrmMain> frm;
};

TEST_F(MainWindowSessionTest, FormCreateRegistersAndFormDestroyUnregisters) {
    EXPECT_EQ(log->registered, 1);
    EXPECT_EQ(log->unregistered, 0);
    frm->FormDestroy();
    EXPECT_EQ(log->unregistered, 1);
    frm.reset();
    EXPECT_EQ(log->unregistered, 1);
}

TEST_F(MainWindowSessionTest, LockStopsTheShowAndUnlockDoesNotResumeIt) {
    RunShow();
    const auto appliedBefore = applier.applied;
    Deliver(WTS_SESSION_LOCK);
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_FALSE(frm->SlideShow().Timer().isActive());
    EXPECT_EQ(frm->actRun->text(), "Run Slide Show");
    Deliver(WTS_SESSION_UNLOCK);
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_FALSE(frm->SlideShow().Timer().isActive());
    EXPECT_EQ(Stops(), 1);
    // The wallpaper last applied stays.
    EXPECT_EQ(applier.applied, appliedBefore);
}

TEST_F(MainWindowSessionTest, SwitchingAwayAndBackStopsOnce) {
    RunShow();
    Deliver(WTS_CONSOLE_DISCONNECT);
    EXPECT_FALSE(frm->SlideShow().Running());
    Deliver(WTS_CONSOLE_CONNECT);
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(Stops(), 1);
}

TEST_F(MainWindowSessionTest, EveryCodeButLogonAndLogOffStopsTheShow) {
    for (std::uint32_t code : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 10u, 0xFFFFu}) {
        RunShow();
        TWMWTSSessionChange message;
        message.WParam = code;
        frm->WMWTSSessionChange(message);
        EXPECT_FALSE(frm->SlideShow().Running()) << "code " << code;
        EXPECT_EQ(message.Result, 1) << "code " << code;
    }
    RunShow();
    QSignalSpy terminate(frm.get(), &TfrmMain::terminateRequested);
    TWMWTSSessionChange logon;
    logon.WParam = WTS_SESSION_LOGON;
    frm->WMWTSSessionChange(logon);
    EXPECT_TRUE(frm->SlideShow().Running());
    EXPECT_EQ(logon.Result, 1);
    EXPECT_EQ(terminate.count(), 0);
}

TEST_F(MainWindowSessionTest, LogOffEndsTheProgramInOrderOnce) {
    RunShow();
    frm->SlideShow().SetPosition(2);
    // The program block: a terminate request ends the event loop, then the
    // orderly end runs.
    QEventLoop loop;
    int requests = 0;
    QObject::connect(frm.get(), &TfrmMain::terminateRequested, &loop, [&] {
        ++requests;
        loop.quit();
    });
    QTimer::singleShot(0, [this] {
        // The session is removed and the session manager asks as well.
        Report(WTS_SESSION_LOGOFF);
        Report(WTS_SESSION_LOGOFF);
    });
    QTimer failSafe;
    failSafe.setSingleShot(true);
    QObject::connect(&failSafe, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    failSafe.start(10000);
    ASSERT_EQ(loop.exec(), 0) << "log-off did not end the event loop";
    frm->ReleaseClock();
    frm->FormDestroy();
    frm.reset();

    EXPECT_GE(requests, 1);
    // Settings written, with the position the show had reached.
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Current", -1), 2);
    // The wallpaper found at start is back, put there exactly once.
    ASSERT_FALSE(applier.applied.empty());
    EXPECT_EQ(applier.applied.back(), applier.FOriginalWallpaper);
    EXPECT_EQ(
        std::count(applier.applied.begin(), applier.applied.end(), applier.FOriginalWallpaper), 1);
    EXPECT_EQ(log->unregistered, 1);
}

TEST_F(MainWindowSessionTest, SessionManagersQuitEndsTheEventLoop) {
    // An X session manager's "die" reaches Qt programs as a Quit event to the
    // application; with the main window shown or in the tray it ends the loop.
    for (bool shown : {true, false}) {
        if (shown) {
            frm->show();
        } else {
            frm->hide();
        }
        QTimer::singleShot(0, [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        });
        QTimer failSafe;
        failSafe.setSingleShot(true);
        QObject::connect(&failSafe, &QTimer::timeout, [] { QCoreApplication::exit(2); });
        failSafe.start(10000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << (shown ? "shown" : "in the tray");
    }
}

}  // namespace
