// The clock control drawn on the offscreen platform: a rendered frame checked
// pixel by pixel (key colour outside the face, the face clipped to the
// ellipse and stretched without blending, hand and cap colours), the
// repaint-once-a-second rule and the registration with the timer pool.
#include <gtest/gtest.h>

#include <QApplication>
#include <QRegion>
#include <QSet>
#include <QTest>
#include <cmath>
#include <memory>

#include "clock/ClockFace.h"
#include "clock/OvcClock.h"
#include "clock/OvcTimerPool.h"

using namespace clockgeo;

namespace {

const QRgb kKey = qRgb(128, 0, 0);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);

// A clock of the program's kind frozen at a given time.
std::unique_ptr<TOvcClock> FrozenClock(int w, int h, double time, bool face = true) {
    auto clock = std::make_unique<TOvcClock>();
    clock->resize(w, h);
    clock->SetDrawMarks(false);
    if (face) {
        clock->SetClockFace(ClockFacePicture());
    }
    clock->SetTimeSource([time] { return time; });
    clock->SetActive(false);
    clock->Loaded();
    clock->UpdateShownTime(time);
    clock->RenderFrame();
    return clock;
}

QRgb Px(const TOvcClock& c, int x, int y) {
    return c.DrawBuffer().pixel(x, y) | 0xff000000u;
}

double DistanceFromCentre(int x, int y, int cx, int cy) {
    return std::hypot(x - cx, y - cy);
}

}  // namespace

TEST(ClockFacePicture, IsAHundredSquareGoldFaceWithWhiteCornersAndNoKeyColour) {
    const QImage face = ClockFacePicture();
    ASSERT_EQ(face.size(), QSize(100, 100));
    EXPECT_EQ(face.depth(), 24);
    for (QPoint corner : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 99), QPoint(99, 99)}) {
        EXPECT_EQ(face.pixel(corner) | 0xff000000u, qRgb(255, 255, 255));
    }
    int black = 0, gold = 0, redBrown = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QColor c = face.pixelColor(x, y);
            ASSERT_NE(c.rgb() | 0xff000000u, kKey) << "a hole in the face at " << x << "," << y;
            if (std::hypot(x + 0.5 - 50, y + 0.5 - 50) > 43) {
                continue;
            }
            if (c.red() < 40 && c.green() < 40 && c.blue() < 40) {
                ++black;  // numerals
            } else if (c.red() > 190 && c.green() > 140 && c.blue() < 140) {
                ++gold;  // dial
            } else if (c.red() > 120 && c.red() < 180 && c.green() < 90 && c.blue() < 60) {
                ++redBrown;  // ticks
            }
        }
    }
    EXPECT_GT(gold, 3500) << "mostly a golden dial";
    EXPECT_GT(black, 150) << "twelve numerals";
    EXPECT_GT(redBrown, 40) << "minute ticks";
}

TEST(ClockRender, NearestNeighbourStretchNeverBlends) {
    const QImage face = ClockFacePicture();
    QSet<QRgb> colours;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            colours.insert(face.pixel(x, y) | 0xff000000u);
        }
    }
    for (QSize size : {QSize(136, 136), QSize(200, 100), QSize(37, 251)}) {
        const QImage s = StretchNearest(face, size.width(), size.height());
        ASSERT_EQ(s.size(), size);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb want = face.pixel(StretchSourceIndex(x, 100, size.width()),
                                             StretchSourceIndex(y, 100, size.height()));
                ASSERT_EQ(s.pixel(x, y) | 0xff000000u, want | 0xff000000u) << x << "," << y;
            }
        }
    }
    const QImage s = StretchNearest(face, 136, 136);
    for (int y = 0; y < 136; ++y) {
        for (int x = 0; x < 136; ++x) {
            ASSERT_TRUE(colours.contains(s.pixel(x, y) | 0xff000000u));
        }
    }
}

TEST(ClockRender, FrameIsKeyOutsideTheEllipseAndTheStretchedFaceInside) {
    const double t = EncodeTime({3, 0, 0, 0});
    auto clock = FrozenClock(136, 136, t);
    const QImage stretched = StretchNearest(ClockFacePicture(), 136, 136);
    const QRegion ellipse(QRect(0, 0, 136, 136), QRegion::Ellipse);
    int faceChecked = 0;
    for (int y = 0; y < 136; ++y) {
        for (int x = 0; x < 136; ++x) {
            const QRgb p = Px(*clock, x, y);
            if (!ellipse.contains(QPoint(x, y))) {
                ASSERT_EQ(p, kKey) << "outside the face at " << x << "," << y;
            } else if (DistanceFromCentre(x, y, 68, 68) > 62) {
                // Beyond the reach of every hand: the face alone.
                ASSERT_EQ(p, stretched.pixel(x, y) | 0xff000000u) << x << "," << y;
                ++faceChecked;
            }
            // The face's white corners never show.
            const QColor c = QColor::fromRgb(p);
            ASSERT_FALSE(c.red() > 235 && c.green() > 235 && c.blue() > 235)
                << "white fringe at " << x << "," << y;
        }
    }
    EXPECT_GT(faceChecked, 1500);
    EXPECT_EQ(Px(*clock, 0, 0), kKey);
    EXPECT_EQ(Px(*clock, 135, 135), kKey);
    EXPECT_NE(Px(*clock, 68, 1), kKey) << "the face reaches the top edge";
}

TEST(ClockRender, HandsAndCapHaveTheirColoursAtThreeOClock) {
    auto clock = FrozenClock(136, 136, EncodeTime({3, 0, 0, 0}));
    // Hour hand towards 3, minute and second hands towards 12.
    for (int x = 72; x <= 106; ++x) {
        EXPECT_EQ(Px(*clock, x, 68), kBlack) << "hour hand at x=" << x;
    }
    EXPECT_EQ(Px(*clock, 78, 64), kBlack) << "the hour kite's widest point";
    EXPECT_EQ(Px(*clock, 78, 72), kBlack);
    EXPECT_EQ(Px(*clock, 68, 11), kRed) << "second hand alone near its tip";
    EXPECT_EQ(Px(*clock, 68, 40), kRed) << "second hand drawn over the minute hand";
    EXPECT_EQ(Px(*clock, 66, 55), kBlack) << "minute hand beside the thin second hand";
    EXPECT_EQ(Px(*clock, 70, 55), kBlack);
    EXPECT_NE(Px(*clock, 68, 4), kRed) << "second hand ends at its length";
    // Centre cap: red inside a black outline, (64,64)-(72,72).
    EXPECT_EQ(Px(*clock, 68, 68), kRed);
    EXPECT_EQ(Px(*clock, 64, 68), kBlack);
    EXPECT_EQ(Px(*clock, 68, 72), kBlack);
    EXPECT_NE(Px(*clock, 68, 74), kBlack) << "nothing below the cap at three o'clock";
}

TEST(ClockRender, EmptyFaceLeavesOnlyHandsAndCap) {
    auto clock = FrozenClock(136, 136, EncodeTime({3, 0, 0, 0}), false);
    int opaque = 0;
    for (int y = 0; y < 136; ++y) {
        for (int x = 0; x < 136; ++x) {
            const QRgb p = Px(*clock, x, y);
            if (p != kKey) {
                ++opaque;
                ASSERT_TRUE(p == kBlack || p == kRed) << x << "," << y;
                // Hands lie along the vertical and horizontal axes here.
                ASSERT_TRUE(std::abs(x - 68) <= 4 || std::abs(y - 68) <= 4) << x << "," << y;
            }
        }
    }
    EXPECT_GT(opaque, 200);
}

TEST(ClockRender, WideClockStretchesFaceAndHands) {
    auto clock = FrozenClock(200, 100, EncodeTime({0, 15, 0, 0}));
    // Minute hand at 15: length trunc(50 * 0.8) = 40, stretched to 80 to the right.
    EXPECT_EQ(Px(*clock, 175, 50), kBlack);
    EXPECT_NE(Px(*clock, 183, 50), kBlack);
    EXPECT_EQ(Px(*clock, 0, 0), kKey);
    EXPECT_NE(Px(*clock, 100, 1), kKey) << "the ellipse reaches the top edge";
    EXPECT_EQ(Px(*clock, 2, 10), kKey) << "outside the 200 x 100 ellipse";
    const QImage stretched = StretchNearest(ClockFacePicture(), 200, 100);
    EXPECT_EQ(Px(*clock, 30, 50), stretched.pixel(30, 50) | 0xff000000u);
}

TEST(ClockRender, MarksShrinkTheFaceAndDrawDotsOnTheRing) {
    const double t = EncodeTime({3, 0, 0, 0});
    auto plain = FrozenClock(136, 136, t);
    auto marked = FrozenClock(136, 136, t);
    marked->SetDrawMarks(true);
    marked->RenderFrame();
    EXPECT_NE(Px(*plain, 60, 2), kKey);
    EXPECT_EQ(Px(*marked, 60, 2), kKey) << "face clipped 3 pixels inside";
    EXPECT_EQ(Px(*marked, 68, 2), kBlack) << "hour mark at twelve";
    EXPECT_EQ(Px(*marked, 61, 2), kBlack) << "minute mark at 59";
}

TEST(ClockRender, RepaintsOnlyWhenTheShownSecondChanges) {
    double now = EncodeTime({10, 20, 30, 100});
    TOvcClock clock;
    clock.SetClockFace(ClockFacePicture());
    clock.SetTimeSource([&now] { return now; });
    clock.SetActive(false);
    clock.Loaded();
    clock.UpdateShownTime(now);
    clock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&clock));
    QTRY_VERIFY(clock.FrameCount() > 0);
    QApplication::processEvents();
    const auto frames = clock.FrameCount();

    now = EncodeTime({10, 20, 30, 600});
    clock.ClockTick();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(clock.FrameCount(), frames) << "two ticks within the same second";
    EXPECT_DOUBLE_EQ(clock.ShownTime(), EncodeTime({10, 20, 30, 100}));

    now = EncodeTime({10, 20, 31, 50});
    clock.ClockTick();
    EXPECT_DOUBLE_EQ(clock.ShownTime(), now);
    QTRY_COMPARE(clock.FrameCount(), frames + 1);
    QApplication::processEvents();
    EXPECT_EQ(clock.FrameCount(), frames + 1) << "one repaint for one new second";

    // A clock set back (daylight saving) shows on the next tick.
    now = EncodeTime({9, 20, 31, 50});
    clock.ClockTick();
    QTRY_COMPARE(clock.FrameCount(), frames + 2);
}

TEST(ClockRender, ActiveRegistersOneTickWithTheProcessPool) {
    TOvcTimerPool& pool = TOvcTimerPool::Instance();
    const std::size_t before = pool.Count();
    const double t = EncodeTime({7, 8, 9, 0});
    {
        TOvcClock clock;
        clock.SetTimeSource([t] { return t; });
        clock.SetActive(true);
        EXPECT_EQ(clock.TickHandle(), -1) << "not before loading has finished";
        EXPECT_EQ(pool.Count(), before);
        clock.Loaded();
        EXPECT_GE(clock.TickHandle(), 0);
        EXPECT_EQ(pool.Count(), before + 1);
        EXPECT_EQ(pool.Period(), 500);
        EXPECT_DOUBLE_EQ(clock.ShownTime(), t);
        clock.SetActive(true);
        EXPECT_EQ(pool.Count(), before + 1) << "registered once";
        clock.SetActive(false);
        EXPECT_EQ(clock.TickHandle(), -1);
        EXPECT_EQ(pool.Count(), before);
        clock.SetActive(true);
        EXPECT_EQ(pool.Count(), before + 1);
    }
    EXPECT_EQ(pool.Count(), before) << "destroying the clock unregisters its tick";
}

TEST(ClockRender, RunningClockFollowsTheTimeSourceThroughThePool) {
    double now = EncodeTime({11, 0, 0, 0});
    TOvcClock clock;
    clock.SetTimeSource([&now] { return now; });
    clock.SetActive(true);
    clock.Loaded();
    now = EncodeTime({11, 0, 1, 0});
    QTRY_COMPARE_WITH_TIMEOUT(clock.ShownTime(), now, 3000);
}

TEST(ClockRender, HandOptionChangesRepaint) {
    TOvcClock clock;
    clock.SetActive(false);
    clock.Loaded();
    clock.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&clock));
    QTRY_VERIFY(clock.FrameCount() > 0);
    QApplication::processEvents();
    const auto frames = clock.FrameCount();
    clock.HandOptions()->SetSecondHandColor(QColor(0, 0, 255));
    QTRY_VERIFY(clock.FrameCount() > frames);
    EXPECT_EQ(clock.DrawBuffer().pixel(68, 68) | 0xff000000u, qRgb(0, 0, 255))
        << "the cap takes the second hand's colour";
    clock.HandOptions()->SetShowSecondHand(false);
    clock.RenderFrame();
    EXPECT_EQ(clock.DrawBuffer().pixel(68, 68) | 0xff000000u, kBlack)
        << "without a second hand the cap takes the minute hand's colour";
    clock.HandOptions()->SetHourHandLength(250);
    EXPECT_EQ(clock.HandOptions()->HourHandLength(), 100);
}
