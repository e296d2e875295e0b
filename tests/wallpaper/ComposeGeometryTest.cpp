#include <gtest/gtest.h>

#include <cmath>

#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/WallpaperTypes.h"

namespace {

const TPixelSize kScreen{1024, 768};

TComposePlan Plan(int mode, int w, int h, TPixelSize screen = kScreen) {
    return PlanComposition(mode, {w, h}, screen);
}

}  // namespace

TEST(RoundHalfToEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfToEven(512.5L), 512);
    EXPECT_EQ(RoundHalfToEven(513.5L), 514);
    EXPECT_EQ(RoundHalfToEven(0.5L), 0);
    EXPECT_EQ(RoundHalfToEven(1.5L), 2);
    EXPECT_EQ(RoundHalfToEven(716.8L), 717);
    EXPECT_EQ(RoundHalfToEven(716.2L), 716);
    EXPECT_EQ(RoundHalfToEven(853.3333L), 853);
    EXPECT_EQ(RoundHalfToEven(-2.5L), -2);
}

TEST(ScaledSide, QuotientFirstThenProduct) {
    EXPECT_EQ(ScaledSide(1024, 1000, 700), 717);   // 716.8
    EXPECT_EQ(ScaledSide(1024, 2048, 1025), 512);  // 512.5
    EXPECT_EQ(ScaledSide(1024, 2048, 1027), 514);  // 513.5
    EXPECT_EQ(ScaledSide(768, 900, 1600), 1365);   // 1365.33
    // A very thin picture keeps one line rather than vanishing.
    EXPECT_EQ(ScaledSide(1024, 100000, 3), 1);
    EXPECT_EQ(ScaledSide(0, 10, 10), 0);
}

TEST(PlanLetterBox, WideAndTallPicturesAtTheDisplaysSize) {
    struct Case {
        int w, h, newW, newH, left, top;
    } cases[] = {
        {1600, 900, 1024, 576, 0, 96},    // wide: width fitted
        {600, 800, 576, 768, 224, 0},     // tall: height fitted
        {1000, 700, 1024, 717, 0, 25},    // 716.8 rounded; 25 rows above, 26 below
        {2048, 1025, 1024, 512, 0, 128},  // 512.5 goes to 512
        {500, 500, 768, 768, 128, 0},     // square counts as tall
        {640, 480, 1024, 768, 0, 0},      // same shape as the display
        {3000, 1000, 1024, 341, 0, 213},  // odd spare row at the bottom
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        const TComposePlan plan = Plan(fmLetterBox, c.w, c.h);
        ASSERT_TRUE(plan.valid);
        EXPECT_TRUE(plan.letterBox);
        EXPECT_TRUE(plan.rescale);
        EXPECT_EQ(plan.scaled, (TPixelSize{c.newW, c.newH}));
        EXPECT_EQ(plan.canvas, kScreen);
        EXPECT_EQ(plan.left, c.left);
        EXPECT_EQ(plan.top, c.top);
    }
}

TEST(PlanLetterBox, PictureMatchingOneSideIsNotScaledButStillBoxed) {
    TComposePlan plan = Plan(fmLetterBox, 1024, 600);
    ASSERT_TRUE(plan.valid);
    EXPECT_FALSE(plan.rescale);
    EXPECT_TRUE(plan.letterBox);
    EXPECT_EQ(plan.scaled, (TPixelSize{1024, 600}));
    EXPECT_EQ(plan.top, 84);
    EXPECT_EQ(plan.left, 0);

    plan = Plan(fmLetterBox, 500, 768);
    EXPECT_FALSE(plan.rescale);
    EXPECT_EQ(plan.left, 262);
    EXPECT_EQ(plan.top, 0);

    plan = Plan(fmLetterBox, 1024, 768);
    EXPECT_FALSE(plan.rescale);
    EXPECT_EQ(plan.canvas, kScreen);
}

TEST(PlanLetterBox, PictureThatWouldOverflowIsFittedInside) {
    // Wider than tall, but less so than the display: fitting the width would
    // make it 819 rows high.
    TComposePlan plan = Plan(fmLetterBox, 1280, 1024);
    ASSERT_TRUE(plan.valid);
    EXPECT_EQ(plan.scaled, (TPixelSize{960, 768}));
    EXPECT_EQ(plan.left, 32);
    EXPECT_EQ(plan.top, 0);

    // Matching the width but too high to fit.
    plan = Plan(fmLetterBox, 1024, 900);
    EXPECT_TRUE(plan.rescale);
    EXPECT_EQ(plan.scaled, (TPixelSize{874, 768}));  // 873.8
    EXPECT_EQ(plan.left, 75);

    // Matching the height but too wide: still scaled to fit.
    plan = Plan(fmLetterBox, 1200, 768);
    EXPECT_EQ(plan.scaled, (TPixelSize{1024, 655}));  // 655.36
    EXPECT_EQ(plan.top, 56);

    // A tall picture on a display taller than wide.
    plan = Plan(fmLetterBox, 900, 1000, {768, 1024});
    EXPECT_EQ(plan.scaled, (TPixelSize{768, 853}));  // 853.33
    EXPECT_EQ(plan.top, 85);
    EXPECT_EQ(plan.left, 0);
}

TEST(PlanLetterBox, FittedPictureAlwaysLiesInsideTheDisplay) {
    const TPixelSize screens[] = {{1024, 768}, {1920, 1080}, {768, 1024},
                                  {1366, 768}, {1, 1},       {7, 3}};
    for (const TPixelSize screen : screens) {
        for (int w = 1; w < 3000; w += 97) {
            for (int h = 1; h < 3000; h += 89) {
                const TComposePlan plan = Plan(fmLetterBox, w, h, screen);
                ASSERT_TRUE(plan.valid) << w << "x" << h;
                ASSERT_GE(plan.left, 0);
                ASSERT_GE(plan.top, 0);
                ASSERT_LE(plan.left + plan.scaled.width, screen.width) << w << "x" << h;
                ASSERT_LE(plan.top + plan.scaled.height, screen.height) << w << "x" << h;
                // One side always touches the display's edges.
                ASSERT_TRUE(plan.scaled.width == screen.width ||
                            plan.scaled.height == screen.height);
            }
        }
    }
}

TEST(PlanZoom, ThePictureCoversTheDisplay) {
    struct Case {
        int w, h;
        TPixelSize screen;
        int newW, newH;
    } cases[] = {
        {1600, 900, kScreen, 1365, 768},
        {600, 800, kScreen, 1024, 1365},
        {500, 500, kScreen, 1024, 1024},
        // Fitted by the other side where the picture's shape alone would leave bands.
        {1000, 900, kScreen, 1024, 922},
        {4000, 3000, {1920, 1080}, 1920, 1440},
        {3000, 2000, {1920, 1080}, 1920, 1280},
        {1024, 500, kScreen, 1573, 768},  // one side already the display's
        {1024, 100, kScreen, 7864, 768},
        {300, 768, kScreen, 1024, 2621},
        // One side the display's, the other past it: written as it is.
        {3000, 768, kScreen, 3000, 768},
        {1024, 900, kScreen, 1024, 900},
        {1024, 768, kScreen, 1024, 768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        const TComposePlan plan = Plan(fmZoom, c.w, c.h, c.screen);
        ASSERT_TRUE(plan.valid);
        EXPECT_EQ(plan.rescale, c.newW != c.w || c.newH != c.h);
        EXPECT_FALSE(plan.letterBox);
        EXPECT_EQ(plan.scaled, (TPixelSize{c.newW, c.newH}));
        EXPECT_EQ(plan.canvas, plan.scaled);
        EXPECT_TRUE(plan.scaled.width >= c.screen.width && plan.scaled.height >= c.screen.height);
        EXPECT_TRUE(plan.scaled.width == c.screen.width || plan.scaled.height == c.screen.height);
    }
}

TEST(PlanStretchAndConvert, SizesAndUnknownModes) {
    TComposePlan plan = Plan(fmStretch, 800, 600);
    EXPECT_TRUE(plan.valid);
    EXPECT_TRUE(plan.rescale);
    EXPECT_EQ(plan.canvas, kScreen);
    plan = Plan(fmStretch, 1024, 768);
    EXPECT_TRUE(plan.valid);
    EXPECT_FALSE(plan.rescale);

    plan = Plan(fmConvertOnly, 1600, 1200);
    EXPECT_TRUE(plan.valid);
    EXPECT_FALSE(plan.rescale);
    EXPECT_EQ(plan.canvas, (TPixelSize{1600, 1200}));
    // Convert only needs no display.
    EXPECT_TRUE(Plan(fmConvertOnly, 10, 10, {0, 0}).valid);

    EXPECT_FALSE(Plan(7, 800, 600).valid);
    EXPECT_FALSE(Plan(-1, 800, 600).valid);
    EXPECT_FALSE(Plan(fmStretch, 0, 600).valid);
    EXPECT_FALSE(Plan(fmLetterBox, 800, 600, {0, 768}).valid);
    EXPECT_FALSE(Plan(fmZoom, 800, 600, {-5, 768}).valid);
}

TEST(PlanZoom, ResultsTooLargeAreRefusedNotOverflowed) {
    // A one-pixel-wide strip zoomed to the display's width would need
    // 1024 x 10 million pixels.
    EXPECT_FALSE(Plan(fmZoom, 1, 10000000).valid);
    EXPECT_FALSE(Plan(fmZoom, 2000000000, 1).valid);
    EXPECT_FALSE(Plan(fmStretch, 10, 10, {100000, 100000}).valid);
    EXPECT_TRUE(Plan(fmZoom, 4000, 3000, {3840, 2160}).valid);
}

TEST(JpegShrink, FactorKeepsAtLeastTheTargetOnEachSide) {
    EXPECT_EQ(JpegShrinkFactor({6000, 4000}, {1620, 1080}), 2);
    EXPECT_EQ(JpegShrinkFactor({6000, 4000}, {1500, 1000}), 4);
    EXPECT_EQ(JpegShrinkFactor({6000, 4000}, {750, 500}), 8);
    EXPECT_EQ(JpegShrinkFactor({6000, 4000}, {3840, 2160}), 1);
    EXPECT_EQ(JpegShrinkFactor({1601, 900}, {801, 450}), 2);  // ceil(1601 / 2) = 801
    EXPECT_EQ(JpegShrinkFactor({1600, 900}, {801, 450}), 1);
    EXPECT_EQ(JpegShrinkFactor({4000, 6000}, {1024, 1536}), 2);  // stretch-like, both sides count
}

TEST(JpegShrink, HintMakesTheLoaderPickExactlyTheFactor) {
    // The loader shrinks by the largest of 8, 4, 2 not above longer / hint.
    const auto loaderFactor = [](int longer, int hint) {
        const double scale = static_cast<double>(longer) / hint;
        return scale >= 8 ? 8 : scale >= 4 ? 4 : scale >= 2 ? 2 : 1;
    };
    for (int longer = 16; longer < 70000; longer += 7) {
        for (int factor : {2, 4, 8}) {
            const int hint = JpegSizeHint(longer, factor);
            if (hint == 0) {
                continue;
            }
            ASSERT_LE(hint, 32767);
            ASSERT_EQ(loaderFactor(longer, hint), factor) << longer << " / " << factor;
        }
    }
    EXPECT_EQ(JpegSizeHint(6000, 1), 0);
    EXPECT_GT(JpegSizeHint(6000, 2), 0);
}

TEST(ComposeGeometry, JpegEighthsKeepAtLeastTheTargetSize) {
    EXPECT_EQ(JpegEighths({6000, 4000}, {3240, 2160}), 5);  // 3750 x 2500
    EXPECT_EQ(JpegEighths({6000, 4000}, {1620, 1080}), 3);  // 2250 x 1500
    EXPECT_EQ(JpegEighths({6000, 4000}, {6000, 4000}), 8);
    EXPECT_EQ(JpegEighths({6001, 4001}, {751, 501}), 1);  // sides rounded up: 751 x 501
    EXPECT_EQ(JpegEighths({100, 100}, {200, 50}), 8);     // enlarged: never shrunk
}

TEST(ComposeGeometry, ShownPartOfCentredAndTiledPictures) {
    // Centred, the odd pixel left over goes to the right as the centring rounds.
    EXPECT_EQ(ShownPart({6001, 4001}, {1920, 1080}, false), (TPixelRect{2040, 1460, 1920, 1080}));
    EXPECT_EQ(ShownPart({100, 50}, {1920, 1080}, false), (TPixelRect{0, 0, 100, 50}));
    EXPECT_EQ(ShownPart({3000, 50}, {1920, 1080}, false), (TPixelRect{540, 0, 1920, 50}));
    EXPECT_EQ(ShownPart({3000, 2000}, {1920, 1080}, true), (TPixelRect{0, 0, 1920, 1080}));
    EXPECT_EQ(ShownPart({300, 2000}, {1920, 1080}, true), (TPixelRect{0, 0, 300, 1080}));
}
