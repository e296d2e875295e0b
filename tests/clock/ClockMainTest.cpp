// The main window's clock command: first-run placement, the caption and
// check mark, hiding and showing again, "Hide Clock" on the clock itself, a
// close request, and the position's round trip through the settings at exit.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTest>
#include <memory>

#include "app/Main.h"
#include "clock/frmClockPlugin.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/Recorders.h"

namespace {

class ClockMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        frm = std::make_unique<TfrmMain>(services);
    }
    void TearDown() override {
        if (frm) {
            frm->ReleaseClock();
        }
        frm.reset();
        RegSetStore(nullptr);
    }
    // What the program block does at exit.
    void Exit() {
        frm->ReleaseClock();
        frm->FormDestroy();
        frm.reset();
    }
    void Restart() {
        frm = std::make_unique<TfrmMain>(services);
        frm->FormCreate();
        frm->PrepareState();
    }
    static void RunDeferred() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    std::shared_ptr<TMemoryRegistryStore> store;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1280, 1024, 32}};
    TRecordingApplier applier;
    TMainServices services;
    std::unique_ptr<TfrmMain> frm;
};

}  // namespace

TEST_F(ClockMainTest, FirstRunShowsTheClockNearTheTopRightCorner) {
    frm->FormCreate();
    frm->PrepareState();
    ASSERT_TRUE(frm->Clock());
    EXPECT_TRUE(frm->Clock()->isVisible());
    EXPECT_EQ(frm->Clock()->pos(), QPoint(1280 - 165, 20));
    EXPECT_EQ(frm->actShowClock->text(), "Hide Clock");
    EXPECT_TRUE(frm->actShowClock->isChecked());
    EXPECT_EQ(frm->actShowClock->toolTip(), "Show Clock") << "the hint never changes";
    EXPECT_GT(frm->Clock()->OvcClock1->FrameCount(), 0u) << "drawn at once";
}

TEST_F(ClockMainTest, StoredHiddenClockCreatesNoWindow) {
    RegEnsureKey(HKEY_CURRENT_USER, settings::kKey);
    RegWriteFlag(HKEY_CURRENT_USER, settings::kKey, "ShowClock", false);
    frm->FormCreate();
    frm->PrepareState();
    EXPECT_FALSE(frm->Clock());
    EXPECT_EQ(frm->actShowClock->text(), "Show Clock");
    EXPECT_FALSE(frm->actShowClock->isChecked());
}

TEST_F(ClockMainTest, HideAndShowAgainAppearsWhereItWasWhenHidden) {
    frm->FormCreate();
    frm->PrepareState();
    frm->Clock()->move(300, 400);
    frm->actShowClock->trigger();
    EXPECT_FALSE(frm->Settings().FShowClock);
    EXPECT_FALSE(frm->Clock()) << "released at once";
    EXPECT_EQ(frm->actShowClock->text(), "Show Clock");
    EXPECT_FALSE(frm->actShowClock->isChecked());
    RunDeferred();
    EXPECT_EQ(frm->Settings().FClockX, 300);
    EXPECT_EQ(frm->Settings().FClockY, 400);

    frm->actShowClock->trigger();
    EXPECT_TRUE(frm->Settings().FShowClock);
    ASSERT_TRUE(frm->Clock());
    EXPECT_EQ(frm->Clock()->pos(), QPoint(300, 400));
    EXPECT_EQ(frm->actShowClock->text(), "Hide Clock");
    EXPECT_TRUE(frm->actShowClock->isChecked());
}

TEST_F(ClockMainTest, HideClockOnTheClockActsLikeTheCommand) {
    frm->FormCreate();
    frm->PrepareState();
    QPointer<TfrmClock> clock = frm->Clock();
    clock->HideClock1->trigger();
    EXPECT_FALSE(frm->Settings().FShowClock);
    EXPECT_FALSE(frm->Clock());
    EXPECT_EQ(frm->actShowClock->text(), "Show Clock");
    EXPECT_FALSE(frm->actShowClock->isChecked());
    EXPECT_TRUE(clock) << "not destroyed inside its own menu's handler";
    RunDeferred();
    EXPECT_FALSE(clock);
}

TEST_F(ClockMainTest, ClockHiddenByTheWindowSystemStaysWanted) {
    frm->FormCreate();
    frm->PrepareState();
    QPointer<TfrmClock> first = frm->Clock();
    first->move(50, 60);
    first->hide();  // what Alt+F4 does to it
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(frm->Clock(), first);
    EXPECT_TRUE(frm->Settings().FShowClock);
    EXPECT_EQ(frm->actShowClock->text(), "Hide Clock");

    frm->actShowClock->trigger();  // releases the hidden window
    RunDeferred();
    EXPECT_FALSE(first);
    EXPECT_EQ(frm->Settings().FClockX, 50);
    EXPECT_EQ(frm->Settings().FClockY, 60);
    frm->actShowClock->trigger();
    ASSERT_TRUE(frm->Clock());
    EXPECT_NE(frm->Clock(), first);
    EXPECT_TRUE(frm->Clock()->isVisible());
}

TEST_F(ClockMainTest, ShowingAnExistingClockDoesNotMoveIt) {
    frm->FormCreate();
    frm->PrepareState();
    frm->Clock()->move(10, 10);
    frm->SetClockVisible(true);
    EXPECT_EQ(frm->Clock()->pos(), QPoint(10, 10));
    EXPECT_EQ(frm->Settings().FClockX, 1280 - 165)
        << "the fields change only when the clock is destroyed";
}

TEST_F(ClockMainTest, DraggedPositionSurvivesExitAndRestart) {
    frm->FormCreate();
    frm->PrepareState();
    frm->Clock()->move(-20, 900);  // partly off screen: the place stays
    frm->SaveSettings();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockX", 0), 1280 - 165)
        << "a shown clock's new position is not saved before it is destroyed";
    Exit();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockX", 0), -20);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockY", 0), 900);
    EXPECT_TRUE(RegReadFlag(HKEY_CURRENT_USER, settings::kKey, "ShowClock", false));

    Restart();
    ASSERT_TRUE(frm->Clock());
    EXPECT_EQ(frm->Clock()->pos(), QPoint(-20, 900));
}

TEST_F(ClockMainTest, ClockHiddenJustBeforeExitStillHandsBackItsPosition) {
    frm->FormCreate();
    frm->PrepareState();
    frm->Clock()->move(640, 480);
    frm->actShowClock->trigger();
    // The event loop ends before the released window's turn comes.
    Exit();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockX", 0), 640);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "ClockY", 0), 480);
    EXPECT_FALSE(RegReadFlag(HKEY_CURRENT_USER, settings::kKey, "ShowClock", true));
    Restart();
    EXPECT_FALSE(frm->Clock());
    frm->actShowClock->trigger();
    ASSERT_TRUE(frm->Clock());
    EXPECT_EQ(frm->Clock()->pos(), QPoint(640, 480));
}

TEST_F(ClockMainTest, ClockOutlivingTheMainWindowWritesNothing) {
    frm->FormCreate();
    frm->PrepareState();
    std::unique_ptr<TfrmClock> orphan(frm->Clock());
    frm.reset();
    orphan.reset();  // its position has nowhere to go, and must not go to freed memory
    SUCCEED();
}
