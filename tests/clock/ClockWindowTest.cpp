// The clock window on the offscreen platform: its design, its shape, the
// "Hide Clock" item, a close request that only hides it, the drag fall-back
// and the position handed back when it is destroyed.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <optional>

#include "clock/frmClockPlugin.h"

TEST(ClockWindow, DesignIsABorderlessOwnerlessSquareFilledByTheClock) {
    TfrmClock w;
    EXPECT_EQ(w.windowTitle(), "Clock");
    EXPECT_EQ(w.parentWidget(), nullptr);
    EXPECT_TRUE(w.isWindow());
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint) << "ordinary stacking";
    EXPECT_FALSE((w.windowFlags() & Qt::WindowType_Mask) == Qt::Tool)
        << "a tool window would be owned by the application";
    EXPECT_EQ(w.size(), QSize(136, 136));
    EXPECT_EQ(w.OvcClock1->geometry(), QRect(0, 0, 136, 136));
    EXPECT_EQ(w.OvcClock1->Color(), QColor(128, 0, 0));
    EXPECT_FALSE(w.OvcClock1->DrawMarks());
    EXPECT_TRUE(w.OvcClock1->Active());
    EXPECT_GE(w.OvcClock1->TickHandle(), 0);
    EXPECT_EQ(w.OvcClock1->ClockFace().size(), QSize(100, 100));
    const TOvcHandOptions* o = w.OvcClock1->HandOptions();
    EXPECT_EQ(o->HourHandLength(), 60);
    EXPECT_EQ(o->MinuteHandLength(), 80);
    EXPECT_EQ(o->SecondHandLength(), 90);
    EXPECT_EQ(o->HourHandWidth(), 4);
    EXPECT_EQ(o->MinuteHandWidth(), 3);
    EXPECT_EQ(o->SecondHandWidth(), 1);
    EXPECT_EQ(o->SecondHandColor(), QColor(255, 0, 0));
    ASSERT_EQ(w.PopupMenu1->actions().size(), 1);
    EXPECT_EQ(w.PopupMenu1->actions().front()->text(), "Hide Clock");
    EXPECT_EQ(w.HideClock1->objectName(), "HideClock1");
}

TEST(ClockWindow, ShapeIsTheRoundFaceBeforeTheWindowIsEverShown) {
    TfrmClock w;
    EXPECT_FALSE(w.isVisible());
    const QRegion ellipse(QRect(0, 0, 136, 136), QRegion::Ellipse);
    const QRegion difference = w.VisibleRegion().xored(ellipse);
    EXPECT_TRUE(difference.isEmpty())
        << "face and hands fill exactly the ellipse; everything else is key colour; differing "
        << difference.rectCount() << " rects from (" << difference.boundingRect().x() << ","
        << difference.boundingRect().y() << ")";
    EXPECT_TRUE(w.mask().xored(ellipse).isEmpty());
    EXPECT_FALSE(w.mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(w.mask().contains(QPoint(135, 2)));
    EXPECT_TRUE(w.mask().contains(QPoint(68, 68)));
}

TEST(ClockWindow, OpaqueRegionLeavesOutExactlyTheKeyPixels) {
    QImage frame(5, 3, QImage::Format_RGB32);
    frame.fill(QColor(128, 0, 0));
    frame.setPixelColor(1, 0, QColor(128, 0, 1));  // close to the key is not the key
    frame.setPixelColor(2, 1, Qt::black);
    frame.setPixelColor(3, 1, Qt::black);
    frame.setPixelColor(4, 2, Qt::red);
    QRegion want;
    want += QRect(1, 0, 1, 1);
    want += QRect(2, 1, 2, 1);
    want += QRect(4, 2, 1, 1);
    EXPECT_EQ(OpaqueRegion(frame, QColor(128, 0, 0)), want);
    frame.fill(QColor(128, 0, 0));
    EXPECT_TRUE(OpaqueRegion(frame, QColor(128, 0, 0)).isEmpty());
}

TEST(ClockWindow, HideClockRunsTheMainCommand) {
    TfrmClock w;
    QAction command;
    QSignalSpy triggered(&command, &QAction::triggered);
    w.ShowClockAction = &command;
    w.HideClock1->trigger();
    EXPECT_EQ(triggered.count(), 1);
    w.ShowClockAction = nullptr;
    w.HideClock1->trigger();  // no command: nothing happens
    EXPECT_EQ(triggered.count(), 1);
}

TEST(ClockWindow, DestroyHandsBackTheLastPosition) {
    std::optional<QPoint> got;
    {
        auto w = std::make_unique<TfrmClock>();
        w->OnFormDestroy = [&got](const QPoint& p) { got = p; };
        w->move(-40, 1234);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->move(321, 77);
    }
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, QPoint(321, 77));
}

TEST(ClockWindow, DragsWithLeftOrMiddleButtonWhereNoWindowManagerMovesIt) {
    TfrmClock w;
    w.move(100, 100);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QWidget* c = w.OvcClock1;
    auto send = [c](QEvent::Type type, QPoint local, Qt::MouseButton button,
                    Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(local), QPointF(c->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(c, &e);
    };
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
        const QPoint start = w.pos();
        send(QEvent::MouseButtonPress, {60, 60}, button, button);
        send(QEvent::MouseMove, {90, 70}, Qt::NoButton, button);
        EXPECT_EQ(w.pos(), start + QPoint(30, 10));
        // Positions are taken from the screen, not from the moving window.
        send(QEvent::MouseMove, {60, 60}, Qt::NoButton, button);
        EXPECT_EQ(w.pos(), start + QPoint(30, 10));
        send(QEvent::MouseButtonRelease, {60, 60}, button, Qt::NoButton);
        send(QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(w.pos(), start + QPoint(30, 10)) << "no move after the release";
    }
    const QPoint before = w.pos();
    send(QEvent::MouseButtonPress, {60, 60}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {90, 90}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, {90, 90}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(w.pos(), before) << "the right button is kept for the menu";
}

TEST(ClockWindow, RightClickOpensTheMenu) {
    TfrmClock w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(60, 60),
                        w.OvcClock1->mapToGlobal(QPoint(60, 60)));
    QApplication::sendEvent(w.OvcClock1, &e);
    QTRY_VERIFY(w.PopupMenu1->isVisible());
    w.PopupMenu1->hide();
}
