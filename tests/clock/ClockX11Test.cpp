// The clock window on a real X server: its X shape equals the face, it is
// marked for neither taskbar nor pager and owned by no window, a click just
// outside the face reaches the window behind, and it is dragged with the
// mouse both without a window manager and under openbox (where Alt+F4 only
// hides it).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <memory>

#include <signal.h>

#include "app/Main.h"
#include "clock/frmClockPlugin.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/Recorders.h"
#include "X11Probe.h"

namespace {

bool HaveTool(const char* name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Runs xdotool with the given arguments and waits for it.
void XDo(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

void Settle(int ms = 150) {
    QTest::qWait(ms);
    QApplication::processEvents();
}

// A plain window that records the mouse presses it receives.
class TBehind : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

class ClockX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QApplication::platformName(), "xcb") << "needs the X server of the harness";
        if (!HaveTool("xdotool")) {
            GTEST_SKIP() << "xdotool is missing (scripts/install-deps)";
        }
    }
    void TearDown() override {
        clock.reset();
        if (wmPid > 0) {
            ::kill(static_cast<pid_t>(wmPid), SIGTERM);
            for (int i = 0; i < 100 && X11WindowManagerRunning(); ++i) {
                QTest::qWait(50);
            }
        }
    }
    void ShowClockAt(int x, int y) {
        clock = std::make_unique<TfrmClock>();
        clock->move(x, y);
        clock->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(clock.get()));
        Settle();
    }
    bool StartWindowManager() {
        if (!HaveTool("openbox")) {
            return false;
        }
        // Started detached: as a direct child of this process openbox does
        // not take over windows mapped later.
        qint64 pid = 0;
        if (!QProcess::startDetached(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")},
                                     QString(), &pid)) {
            return false;
        }
        wmPid = pid;
        for (int i = 0; i < 100 && !X11WindowManagerRunning(); ++i) {
            QTest::qWait(50);
        }
        // openbox announces itself before it is ready to manage windows, and
        // a window mapped in between stays unmanaged: map probe windows until
        // one is taken over.
        bool ok = false;
        for (int attempt = 0; attempt < 30 && !ok; ++attempt) {
            QWidget probe;
            probe.setGeometry(0, 0, 10, 10);
            probe.show();
            const unsigned long id = static_cast<unsigned long>(probe.winId());
            for (int i = 0; i < 6 && !ok; ++i) {
                QTest::qWait(50);
                ok = X11IsManaged(id);
            }
        }
        return ok;
    }
    unsigned long Wid() const { return static_cast<unsigned long>(clock->winId()); }

    std::unique_ptr<TfrmClock> clock;
    qint64 wmPid = 0;
};

}  // namespace

TEST_F(ClockX11Test, ShapeIsTheFaceAndTheWindowIsAnOwnerlessDesktopAccessory) {
    ShowClockAt(200, 150);
    const std::vector<QRect> rects = X11BoundingShape(Wid());
    ASSERT_FALSE(rects.empty()) << "the window has no shape";
    QRegion shape;
    for (const QRect& r : rects) {
        shape += r;
    }
    EXPECT_EQ(shape, QRegion(QRect(0, 0, 136, 136), QRegion::Ellipse));
    EXPECT_FALSE(shape.contains(QPoint(2, 2)));
    EXPECT_TRUE(shape.contains(QPoint(68, 68)));
    const std::vector<std::string> states = X11WindowStates(Wid());
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_SKIP_TASKBAR"), states.end());
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_SKIP_PAGER"), states.end());
    EXPECT_EQ(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end());
    EXPECT_FALSE(X11HasTransientFor(Wid())) << "no owner window";
    EXPECT_FALSE(X11OverrideRedirect(Wid())) << "a managed window the user can move";
}

TEST_F(ClockX11Test, ClickOutsideTheFaceGoesToTheWindowBehind) {
    TBehind behind;
    behind.setGeometry(100, 100, 400, 400);
    behind.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&behind));
    ShowClockAt(200, 200);
    clock->raise();
    Settle();
    const QPoint before = clock->pos();

    // A corner of the clock's square lies outside the face.
    XDo({"mousemove", "203", "203", "click", "1"});
    QTRY_COMPARE(behind.presses, 1);

    // The face itself belongs to the clock (a press there starts a drag,
    // nothing moves without motion).
    XDo({"mousemove", "268", "268", "click", "1"});
    Settle(300);
    EXPECT_EQ(behind.presses, 1);
    EXPECT_EQ(clock->pos(), before);
}

TEST_F(ClockX11Test, DragsWithoutAWindowManager) {
    ASSERT_FALSE(X11WindowManagerRunning());
    ShowClockAt(100, 100);
    XDo({"mousemove", "168", "168", "mousedown", "1"});
    Settle();
    XDo({"mousemove", "190", "180"});
    Settle();
    XDo({"mousemove", "218", "198", "mouseup", "1"});
    QTRY_COMPARE(clock->pos(), QPoint(150, 130));
    EXPECT_EQ(X11WindowPosition(Wid()), QPoint(150, 130));
}

TEST_F(ClockX11Test, WindowManagerMovesItAndAltF4OnlyHidesIt) {
    if (!StartWindowManager()) {
        GTEST_SKIP() << "openbox is missing or did not start";
    }
    ShowClockAt(100, 100);
    QTRY_VERIFY(X11IsManaged(Wid()));
    const std::vector<std::string> states = X11WindowStates(Wid());
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_SKIP_TASKBAR"), states.end())
        << "the window manager keeps the mark";

    XDo({"mousemove", "168", "168", "mousedown", "1"});
    Settle();
    XDo({"mousemove", "200", "190"});
    Settle();
    XDo({"mousemove", "248", "208"});
    Settle();
    XDo({"mouseup", "1"});
    QTRY_COMPARE(clock->pos(), QPoint(180, 140));

    // Focus the clock and ask the window manager to close it.
    XDo({"windowactivate", "--sync", QString::number(Wid())});
    XDo({"key", "alt+F4"});
    QTRY_VERIFY(!clock->isVisible());
    EXPECT_GE(clock->OvcClock1->TickHandle(), 0) << "hidden, not destroyed";
}

// A tap (press and release back to back, as a touchpad sends them) is no
// drag: the clock must not follow the pointer afterwards, with or without a
// window manager, and a slow press-move-release still moves it.
TEST_F(ClockX11Test, ATapLeavesTheClockWhereItIs) {
    const bool wm = StartWindowManager();
    ShowClockAt(100, 100);
    if (wm) {
        QTRY_VERIFY(X11IsManaged(Wid()));
    }
    const QPoint before = clock->pos();
    XDo({"mousemove", "168", "168", "click", "1"});
    Settle();
    XDo({"mousemove", "300", "260"});
    Settle();
    XDo({"mousemove", "420", "330"});
    Settle(400);
    EXPECT_EQ(clock->pos(), before) << (wm ? "under openbox" : "without a window manager");
    EXPECT_EQ(X11WindowPosition(Wid()), before);

    // The next press somewhere else is an ordinary click, not the end of a move.
    XDo({"click", "1"});
    Settle();
    EXPECT_EQ(clock->pos(), before);
}

TEST_F(ClockX11Test, DraggedClockPositionIsSavedAtExitAndUsedAtTheNextStart) {
    auto store = std::make_shared<TMemoryRegistryStore>();
    RegSetStore(store);
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1024, 768, 32}};
    TRecordingApplier applier;
    TMainServices services;
    services.messages = &messages;
    services.screen = &screen;
    services.applier = &applier;

    auto frm = std::make_unique<TfrmMain>(services);
    frm->FormCreate();
    frm->PrepareState();
    ASSERT_TRUE(frm->Clock());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm->Clock()));
    EXPECT_EQ(X11WindowPosition(static_cast<unsigned long>(frm->Clock()->winId())),
              QPoint(1024 - 165, 20));
    Settle();

    XDo({"mousemove", "927", "88", "mousedown", "1"});
    Settle();
    XDo({"mousemove", "800", "150"});
    Settle();
    XDo({"mousemove", "727", "188", "mouseup", "1"});
    QTRY_COMPARE(frm->Clock()->pos(), QPoint(659, 120));

    // A close request (another instance, SIGTERM) quits the application,
    // which first closes its visible windows and stays in its event loop if
    // one refuses: the shown clock must not. Then, as at the program's end,
    // the clock goes first and the settings are saved.
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QApplication::exec(), 0) << "the event loop only ended on the fail-safe timer";
    frm->ReleaseClock();
    frm->FormDestroy();
    frm.reset();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockX", 0), 659);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockY", 0), 120);

    frm = std::make_unique<TfrmMain>(services);
    frm->FormCreate();
    frm->PrepareState();
    ASSERT_TRUE(frm->Clock());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm->Clock()));
    EXPECT_EQ(X11WindowPosition(static_cast<unsigned long>(frm->Clock()->winId())),
              QPoint(659, 120));
    frm->ReleaseClock();
    frm.reset();
    RegSetStore(nullptr);
}
