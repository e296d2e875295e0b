// The clock's geometry on numbers: centre, hand lengths, dial positions, the
// kite vertices of each hand, the centre cap, the stretch and the time split.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "clock/ClockGeometry.h"

using namespace clockgeo;

namespace {

using TPolygon = std::array<TPoint, 7>;

TPolygon Poly(std::initializer_list<TPoint> pts) {
    TPolygon out{};
    std::size_t i = 0;
    for (const TPoint& p : pts) {
        out[i++] = p;
    }
    return out;
}

struct THands {
    TPolygon hour, minute, second;
};

// The three hands of the 136 x 136 clock with the program's hand settings.
THands HandsAt(int width, int height, int hour, int minute, int second) {
    const TCentre c = ClockCentre(width, height);
    return {HandPolygon(c, HourHandPos(hour, minute), HandLength(c.radius, 60), 4),
            HandPolygon(c, minute, HandLength(c.radius, 80), 3),
            HandPolygon(c, second, HandLength(c.radius, 90), 1)};
}

}  // namespace

TEST(ClockGeometry, CentreRadiusAndLengthsOfTheProgramsClock) {
    const TCentre c = ClockCentre(136, 136);
    EXPECT_EQ(c, (TCentre{68, 68, 68}));
    EXPECT_EQ(HandLength(c.radius, 60), 40);
    EXPECT_EQ(HandLength(c.radius, 80), 54);
    EXPECT_EQ(HandLength(c.radius, 90), 61);
    EXPECT_EQ(CentreCapBox(c), (TBox{64, 64, 72, 72}));

    // Narrower or lower than 2 pixels: the centre is raised to 1.
    EXPECT_EQ(ClockCentre(1, 0), (TCentre{1, 1, 1}));
    EXPECT_EQ(ClockCentre(200, 100), (TCentre{100, 50, 50}));
    EXPECT_EQ(ClockCentre(101, 57), (TCentre{50, 28, 28}));
}

TEST(ClockGeometry, WorkedExampleThreeOClock) {
    const THands h = HandsAt(136, 136, 3, 0, 0);
    EXPECT_EQ(HandDegrees(HourHandPos(3, 0)) % 360, 90);
    EXPECT_EQ(h.hour,
              Poly({{68, 68}, {78, 68}, {108, 68}, {78, 64}, {68, 68}, {78, 72}, {108, 68}}));
    EXPECT_EQ(h.minute,
              Poly({{68, 68}, {68, 55}, {68, 14}, {65, 55}, {68, 68}, {71, 55}, {68, 14}}));
    EXPECT_EQ(h.second, Poly({{68, 68}, {68, 68}, {68, 7}, {67, 68}, {68, 68}, {69, 68}, {68, 7}}));
}

TEST(ClockGeometry, WorkedExampleAfternoonUsesTheSecondTurnOfTheHourHand) {
    const THands h = HandsAt(136, 136, 15, 36, 45);
    EXPECT_EQ(HourHandPos(15, 36), 78);
    EXPECT_EQ(HandDegrees(78) % 360, 108);
    EXPECT_EQ(HandDegrees(36), 216);
    EXPECT_EQ(HandDegrees(45), 270);
    EXPECT_EQ(h.hour,
              Poly({{68, 68}, {78, 71}, {106, 80}, {79, 67}, {68, 68}, {76, 75}, {106, 80}}));
    EXPECT_EQ(h.minute,
              Poly({{68, 68}, {60, 79}, {36, 112}, {63, 80}, {68, 68}, {58, 77}, {36, 112}}));
    EXPECT_EQ(h.second, Poly({{68, 68}, {68, 68}, {7, 68}, {68, 69}, {68, 68}, {68, 67}, {7, 68}}));
    // 15:00 and 03:00 put the hour hand in the same place.
    EXPECT_EQ(HandsAt(136, 136, 15, 0, 0).hour, HandsAt(136, 136, 3, 0, 0).hour);
}

TEST(ClockGeometry, MidnightAndNoonPointEveryHandStraightUp) {
    for (int hour : {0, 12}) {
        const THands h = HandsAt(136, 136, hour, 0, 0);
        EXPECT_EQ(h.hour[2], (TPoint{68, 28})) << hour;
        EXPECT_EQ(h.minute[2], (TPoint{68, 14})) << hour;
        EXPECT_EQ(h.second[2], (TPoint{68, 7})) << hour;
        EXPECT_EQ(h.hour[3], (TPoint{64, 58})) << "kite widest point left of the axis";
    }
}

TEST(ClockGeometry, HourHandStepsEveryTwelveMinutes) {
    EXPECT_EQ(HourHandPos(6, 30), 32);
    EXPECT_EQ(HandDegrees(32), 192);
    // hh:00-hh:11 on the hour mark, hh:12-hh:23 one step past it.
    for (int minute = 0; minute < 60; ++minute) {
        EXPECT_EQ(HourHandPos(4, minute), 20 + minute / 12) << minute;
    }
    EXPECT_EQ(HourHandPos(4, 11), 20);
    EXPECT_EQ(HourHandPos(4, 12), 21);
    EXPECT_EQ(HourHandPos(4, 23), 21);
    EXPECT_EQ(HourHandPos(4, 24), 22);
    EXPECT_EQ(HourHandPos(23, 59), 119);
}

TEST(ClockGeometry, RoundingHalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(2.51), 3);
    EXPECT_EQ(RoundHalfEven(-2.49), -2);
    EXPECT_EQ(RoundHalfEven(-3.7e-15), 0);
}

TEST(ClockGeometry, WideControlStretchesHorizontalOffsets) {
    // 200 x 100: cx 100, cy 50, R 50; every x offset of the square dial is doubled.
    const TCentre wide = ClockCentre(200, 100);
    const TCentre square = ClockCentre(100, 100);
    for (int pos : {0, 7, 15, 22, 38, 45, 53}) {
        const auto w = HandPolygon(wide, pos, HandLength(wide.radius, 80), 3);
        const auto s = HandPolygon(square, pos, HandLength(square.radius, 80), 3);
        for (std::size_t i = 0; i < w.size(); ++i) {
            EXPECT_EQ(w[i].x - 100, 2 * (s[i].x - 50)) << pos << " vertex " << i;
            EXPECT_EQ(w[i].y, s[i].y) << pos << " vertex " << i;
        }
    }
    // Three o'clock minute hand: tip 40 px out on the square dial, 80 on the wide one.
    EXPECT_EQ(HandPolygon(wide, 15, 40, 3)[2], (TPoint{180, 50}));

    // A high control stretches vertical offsets instead.
    const TCentre tall = ClockCentre(100, 200);
    EXPECT_EQ(HandPolygon(tall, 0, 40, 3)[2], (TPoint{50, 20}));
    EXPECT_EQ(HandPolygon(tall, 15, 40, 3)[2], (TPoint{90, 100}));
}

TEST(ClockGeometry, SecondHandIsAThinTriangleAndWideHandsAKite) {
    const TCentre c = ClockCentre(136, 136);
    const auto second = HandPolygon(c, 0, 61, 1);
    EXPECT_EQ(second[1], second[0]) << "no offset of the widest point for width 1";
    EXPECT_EQ(second[3], (TPoint{67, 68}));
    EXPECT_EQ(second[5], (TPoint{69, 68}));
    const auto hour = HandPolygon(c, 0, 40, 4);
    EXPECT_EQ(hour[3].x - hour[5].x, -8) << "2 * width across";
    EXPECT_EQ(hour[3].y, 58) << "widest point L/4 out";
}

TEST(ClockGeometry, NearestNeighbourStretchRepeatsAndDropsWholePixels) {
    // 100 -> 136: each source column used once or twice, in order, all of them.
    std::vector<int> uses(100, 0);
    int previous = 0;
    for (int x = 0; x < 136; ++x) {
        const int src = StretchSourceIndex(x, 100, 136);
        ASSERT_GE(src, previous);
        ASSERT_LE(src - previous, 1);
        previous = src;
        ++uses[static_cast<std::size_t>(src)];
    }
    for (int u : uses) {
        EXPECT_TRUE(u == 1 || u == 2);
    }
    EXPECT_EQ(StretchSourceIndex(0, 100, 136), 0);
    EXPECT_EQ(StretchSourceIndex(135, 100, 136), 99);
    // 100 -> 200 doubles, 100 -> 50 keeps every other pixel.
    EXPECT_EQ(StretchSourceIndex(199, 100, 200), 99);
    EXPECT_EQ(StretchSourceIndex(77, 100, 200), 38);
    EXPECT_EQ(StretchSourceIndex(17, 100, 50), 34);
    EXPECT_EQ(StretchSourceIndex(5, 0, 10), 0) << "an empty source does not index out of range";
}

TEST(ClockGeometry, TimeOfDaySplitsIntoShownSeconds) {
    const double t = EncodeTime({15, 36, 45, 999});
    const THms back = DecodeTime(t);
    EXPECT_EQ(back.hour, 15);
    EXPECT_EQ(back.minute, 36);
    EXPECT_EQ(back.second, 45);
    EXPECT_EQ(back.millisecond, 999);
    EXPECT_EQ(DecodeTime(45000.5).hour, 12) << "the date part is ignored";
    EXPECT_TRUE(SameShownSecond(EncodeTime({8, 0, 1, 0}), EncodeTime({8, 0, 1, 999})));
    EXPECT_FALSE(SameShownSecond(EncodeTime({8, 0, 1, 999}), EncodeTime({8, 0, 2, 0})));
    EXPECT_FALSE(SameShownSecond(EncodeTime({8, 0, 1, 0}), EncodeTime({9, 0, 1, 0})));
    EXPECT_EQ(DecodeTime(EncodeTime({23, 59, 59, 999})).second, 59);
    // Every millisecond of a day splits back exactly (sampled).
    for (int ms = 0; ms < 86400000; ms += 4099) {
        const THms in{ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000};
        const THms out = DecodeTime(EncodeTime(in));
        ASSERT_EQ(out.hour * 3600000 + out.minute * 60000 + out.second * 1000 + out.millisecond,
                  ms);
    }
}

TEST(ClockGeometry, PlaceStaysOnScreen) {
    // A 3840-wide desk at scale 2 is 1920 wide in the units windows are placed in.
    const std::vector<TArea> scaled{{0, 0, 1920, 1080}};
    const std::vector<TArea> twoScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    struct TRow {
        TPoint saved;
        std::vector<TArea> screens;
        TPoint want;
    } const rows[] = {
        {{3675, 20}, scaled, {1755, 20}},        // first place reckoned in device pixels
        {{1700, 900}, scaled, {1700, 900}},      // saved, on screen
        {{1851, 20}, scaled, {1851, 20}},        // centre still on screen
        {{1852, 20}, scaled, {1755, 20}},        // centre off the right edge
        {{-100, -100}, scaled, {1755, 20}},      // off the top left
        {{3000, 500}, twoScreens, {3000, 500}},  // on the second screen
        {{3000, 880}, twoScreens, {3000, 880}},
        {{3000, 1100},
         twoScreens,
         {1755, 20}},  // below the second screen: the primary's first place
        {{INT32_MAX, INT32_MAX}, scaled, {1755, 20}},
        {{5, 5}, {}, {5, 5}},  // no screens known
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(ClockPlace(row.saved, 136, row.screens, 165, 20), row.want)
            << row.saved.x << "," << row.saved.y;
    }
}
