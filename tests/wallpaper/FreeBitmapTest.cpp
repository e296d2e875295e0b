#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "TestPictures.h"
#include "support/TempDir.h"
#include "wallpaper/FastRescale.h"
#include "wallpaper/FreeBitmap.h"
#include "wallpaper/FreeUtils.h"

TEST(FreeBitmap, EmptyObjectsAreInvalidAndRefuseWork) {
    TFreeObject base;
    EXPECT_FALSE(base.IsValid());
    TFreeBitmap image;  // zeros: nothing allocated
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.ConvertTo8Bits());
    EXPECT_FALSE(image.ConvertTo24Bits());
    EXPECT_FALSE(image.ConvertToGrayscale());
    EXPECT_FALSE(image.Rescale(10, 10, FILTER_LANCZOS3));
    EXPECT_FALSE(image.Save("/tmp/never-written.bmp"));
    TFreeBitmap other(FIT_BITMAP, 4, 4, 24);
    EXPECT_FALSE(image.Paste(other, 0, 0, 256));
    EXPECT_EQ(image.GetWidth(), 0u);
}

TEST(FreeBitmap, SetSizeGivesLowDepthsAGreyRampAndNotifies) {
    int changes = 0;
    TFreeBitmap image;
    image.OnChange = [&](TFreeBitmap&) { ++changes; };
    ASSERT_TRUE(image.SetSize(FIT_BITMAP, 16, 8, 8));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(image.GetWidth(), 16u);
    EXPECT_EQ(image.GetHeight(), 8u);
    const RGBQUAD* palette = FreeImage_GetPalette(image.Dib());
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(palette[i].rgbRed, i);
        ASSERT_EQ(palette[i].rgbGreen, i);
        ASSERT_EQ(palette[i].rgbBlue, i);
    }
    ASSERT_TRUE(image.SetSize(FIT_BITMAP, 3, 3, 4));
    EXPECT_EQ(FreeImage_GetPalette(image.Dib())[15].rgbRed, 15);
    EXPECT_FALSE(image.SetSize(FIT_BITMAP, 0, 3, 24));
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(changes, 2);
}

TEST(FreeBitmap, ReplaceClearAssignOwnership) {
    int changes = 0;
    TFreeBitmap image(FIT_BITMAP, 5, 5, 24);
    image.OnChange = [&](TFreeBitmap&) { ++changes; };
    EXPECT_FALSE(image.Replace(nullptr));
    EXPECT_TRUE(image.IsValid());
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(image.Replace(FreeImage_Allocate(7, 3, 32)));
    EXPECT_EQ(image.GetWidth(), 7u);
    EXPECT_EQ(changes, 1);

    TFreeBitmap copy;
    copy.Assign(&image);
    EXPECT_EQ(copy.GetWidth(), 7u);
    EXPECT_NE(copy.Dib(), image.Dib());
    copy.Assign(&copy);
    EXPECT_TRUE(copy.IsValid());
    TFreeBitmap empty;
    copy.Assign(&empty);
    EXPECT_FALSE(copy.IsValid());
    copy.Assign(&image);
    copy.Assign(nullptr);
    EXPECT_FALSE(copy.IsValid());

    image.Clear();
    EXPECT_EQ(changes, 2);
    image.Clear();  // nothing to clear: no notification
    EXPECT_EQ(changes, 2);
}

TEST(FreeBitmap, GrayscaleConversionFollowsTheColourType) {
    TFreeBitmap grey(FIT_BITMAP, 4, 4, 8);  // grey ramp: minimum-is-black
    EXPECT_FALSE(grey.ConvertToGrayscale());

    TFreeBitmap colour(FIT_BITMAP, 4, 4, 24);
    EXPECT_TRUE(colour.ConvertToGrayscale());
    EXPECT_EQ(FreeImage_GetBPP(colour.Dib()), 8u);

    TFreeBitmap palette(FIT_BITMAP, 4, 4, 4);
    FreeImage_GetPalette(palette.Dib())[3] = RGBQUAD{200, 10, 10, 0};
    EXPECT_TRUE(palette.ConvertToGrayscale());
    EXPECT_EQ(FreeImage_GetBPP(palette.Dib()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(palette.Dib()), FIC_MINISBLACK);
}

TEST(FreeBitmap, RescaleKeepsFewColoursAndTurnsOnlyGreyPicturesGrey) {
    TFreeBitmap image(FIT_BITMAP, 8, 8, 4);
    RGBQUAD* palette = FreeImage_GetPalette(image.Dib());
    palette[1] = RGBQUAD{0, 0, 255, 0};  // pure red
    for (unsigned y = 0; y < 8; ++y) {
        for (unsigned x = 0; x < 8; ++x) {
            BYTE index = 1;
            FreeImage_SetPixelIndex(image.Dib(), x, y, &index);
        }
    }
    TFreeBitmap target;
    ASSERT_TRUE(image.Rescale(16, 12, FILTER_LANCZOS3, &target));
    EXPECT_EQ(target.GetWidth(), 16u);
    EXPECT_EQ(target.GetHeight(), 12u);
    EXPECT_EQ(FreeImage_GetBPP(target.Dib()), 24u);
    EXPECT_EQ(PixelAt(target.Dib(), 5, 5), (TRgb{255, 0, 0, 255}));
    // The image itself was converted but not scaled.
    EXPECT_EQ(image.GetWidth(), 8u);

    // A black-and-white picture is scaled as grey.
    TFreeBitmap mono(FIT_BITMAP, 8, 8, 1);
    FreeImage_GetPalette(mono.Dib())[1] = RGBQUAD{255, 255, 255, 0};
    ASSERT_EQ(FreeImage_GetColorType(mono.Dib()), FIC_MINISBLACK);
    ASSERT_TRUE(mono.Rescale(16, 16, FILTER_LANCZOS3));
    EXPECT_EQ(FreeImage_GetBPP(mono.Dib()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(mono.Dib()), FIC_MINISBLACK);

    TFreeBitmap sixteen(FIT_BITMAP, 8, 8, 16);
    ASSERT_TRUE(sixteen.Rescale(4, 4, FILTER_BOX));
    EXPECT_EQ(FreeImage_GetBPP(sixteen.Dib()), 24u);
    EXPECT_FALSE(sixteen.Rescale(0, 4, FILTER_BOX));
    EXPECT_EQ(sixteen.GetWidth(), 4u);  // unchanged by the failed call
}

TEST(FreeBitmap, LoadAndSaveChooseFormatsAndRefuseWhatTheyCannotDo) {
    TTempDir dir;
    const TDib picture = SolidPicture(6, 4, {10, 20, 30});
    ASSERT_TRUE(SavePicture(picture, FIF_PNG, dir.File("photo.png")));
    // Content decides, not the name.
    ASSERT_TRUE(SavePicture(picture, FIF_PNG, dir.File("misnamed.jpg")));
    EXPECT_EQ(GetImageFileType(dir.File("misnamed.jpg")), FIF_PNG);
    WriteFileBytes(dir.File("text.jpg"), "not a picture at all");
    EXPECT_EQ(GetImageFileType(dir.File("text.jpg")), FIF_UNKNOWN);
    EXPECT_EQ(GetImageFileType(dir.File("missing.png")), FIF_UNKNOWN);

    TFreeBitmap image;
    ASSERT_TRUE(image.Load(dir.File("misnamed.jpg")));
    EXPECT_EQ(image.GetWidth(), 6u);
    FIBITMAP* before = image.Dib();
    // Unknown content and extension: the image stays as it was.
    WriteFileBytes(dir.File("text.xyz"), "still not a picture");
    EXPECT_FALSE(image.Load(dir.File("text.xyz")));
    EXPECT_EQ(image.Dib(), before);

    EXPECT_TRUE(image.Save(dir.File("out.bmp")));
    EXPECT_EQ(GetImageFileType(dir.File("out.bmp")), FIF_BMP);
    EXPECT_FALSE(image.Save(dir.File("out.unknownext")));
    EXPECT_FALSE(image.Save(dir.File("no-such-folder/out.bmp")));

    // The BMP writer takes no 16-bit-per-channel image.
    TFreeBitmap deep(FIT_RGB16, 4, 4, 48);
    ASSERT_TRUE(deep.IsValid());
    EXPECT_FALSE(deep.Save(dir.File("deep.bmp")));
}

TEST(FreeBitmap, PasteNeedsRoomAndMatchingDepth) {
    TFreeBitmap canvas(FIT_BITMAP, 10, 10, 24);
    TFreeBitmap small(FIT_BITMAP, 4, 4, 24);
    EXPECT_TRUE(canvas.Paste(small, 6, 6, 256));
    EXPECT_FALSE(canvas.Paste(small, 7, 0, 256));  // would stick out
    EXPECT_FALSE(canvas.Paste(small, -1, 0, 256));
    TFreeBitmap wide(FIT_BITMAP, 4, 4, 32);
    EXPECT_FALSE(canvas.Paste(wide, 0, 0, 256));  // 32 onto 24 bits
}

TEST(FreeBitmap, CopyFromBitmapTakesDisplayPixelsUpright) {
    TFreeBitmap image;
    EXPECT_FALSE(image.CopyFromBitmap(nullptr));
    for (int bpp : {24, 32}) {
        TScreenBitmap bitmap = MakeSolidScreenBitmap(5, 3, bpp, 0x00332211);  // red 0x11
        ASSERT_EQ(bitmap.bitsPerPixel, bpp);
        // Paint the top row white.
        for (int x = 0; x < 5; ++x) {
            for (int c = 0; c < 3; ++c)
                bitmap.bits[x * (bpp / 8) + c] = 0xFF;
        }
        ASSERT_TRUE(image.CopyFromBitmap(&bitmap));
        EXPECT_EQ(FreeImage_GetBPP(image.Dib()), static_cast<unsigned>(bpp));
        EXPECT_EQ((PixelAt(image.Dib(), 2, 0)), (TRgb{255, 255, 255, 255}));
        const TRgb fill = PixelAt(image.Dib(), 4, 2);
        EXPECT_EQ(fill.r, 0x11);
        EXPECT_EQ(fill.g, 0x22);
        EXPECT_EQ(fill.b, 0x33);
        EXPECT_EQ(fill.a, 255);
    }
    TScreenBitmap broken = MakeSolidScreenBitmap(5, 3, 24, 0);
    broken.bits.resize(4);
    try {
        image.CopyFromBitmap(&broken);
        FAIL() << "no error raised";
    } catch (const EFreeBitmapError& e) {
        EXPECT_STREQ(e.what(), "Error: GetDIBits failed");
    }
    TScreenBitmap odd = MakeSolidScreenBitmap(5, 3, 24, 0);
    odd.bitsPerPixel = 16;
    EXPECT_THROW(image.CopyFromBitmap(&odd), EFreeBitmapError);
}

TEST(FreeBitmap, WinBitmapReleasesLikeItsBase) {
    TFreeWinBitmap background(FIT_BITMAP, 12, 12, 32);
    EXPECT_TRUE(background.IsValid());
    TScreenBitmap bitmap = MakeSolidScreenBitmap(3, 2, 32, 0x00FF0000);
    EXPECT_TRUE(background.CopyFromBitmap(&bitmap));
    EXPECT_EQ(PixelAt(background.Dib(), 0, 0).b, 255);
}

// The rows of `source` streamed through TLanczos3Rows give `shown` of `scaled`
// within 1 / 255, each shown row once the rows it needs have come.
static void ExpectRowsMatch(FIBITMAP* source, FIBITMAP* scaled, TPixelRect shown) {
    const int height = static_cast<int>(FreeImage_GetHeight(source));
    TLanczos3Rows rows;
    ASSERT_TRUE(rows.Start({static_cast<int>(FreeImage_GetWidth(source)), height},
                           {static_cast<int>(FreeImage_GetWidth(scaled)),
                            static_cast<int>(FreeImage_GetHeight(scaled))},
                           shown));
    const TPixelRect part = rows.SourcePart();
    std::vector<std::uint32_t> out(static_cast<std::size_t>(shown.width));
    int made = 0;
    int worst = 0;
    for (int y = part.top; y < part.top + part.height; ++y) {
        rows.Push(FreeImage_GetScanLine(source, height - 1 - y) + std::size_t(part.left) * 3);
        while (rows.Pop(out.data())) {
            for (int x = 0; x < shown.width; ++x) {
                const TRgb a = PixelAt(scaled, shown.left + x, shown.top + made);
                const std::uint32_t p = out[std::size_t(x)];
                for (int d :
                     {a.r - int(p >> 16 & 0xFF), a.g - int(p >> 8 & 0xFF), a.b - int(p & 0xFF)}) {
                    worst = std::max(worst, std::abs(d));
                }
            }
            ++made;
        }
    }
    EXPECT_EQ(made, shown.height);
    EXPECT_LE(worst, 1);
}

TEST(FastRescale, MatchesFreeImagesLanczos3) {
    struct Case {
        int w, h, newW, newH, bpp;
    } cases[] = {
        {600, 400, 324, 216, 24},  // shrink about 1.85 times
        {600, 400, 75, 50, 32},    // shrink 8 times
        {300, 200, 640, 360, 24},  // enlarge, other proportions
        {97, 61, 96, 60, 32},      // almost the same size
        {1, 1, 5, 3, 24},
        {2000, 30, 150, 90, 24},  // narrowed a lot but made taller: rows narrowed first
        {2000, 30, 150, 90, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.w << "x" << c.h << " -> " << c.newW << "x" << c.newH);
        TDib photo = PhotoPicture(c.w, c.h, 2);
        TDib source(c.bpp == 32 ? FreeImage_ConvertTo32Bits(photo.get())
                                : FreeImage_Clone(photo.get()));
        const TDib reference(FreeImage_Rescale(source.get(), c.newW, c.newH, FILTER_LANCZOS3));
        const TDib fast(RescaleLanczos3(source.get(), c.newW, c.newH));
        ASSERT_TRUE(reference);
        ASSERT_TRUE(fast);
        ASSERT_EQ(fast.width(), static_cast<unsigned>(c.newW));
        ASSERT_EQ(fast.height(), static_cast<unsigned>(c.newH));
        ASSERT_EQ(fast.bpp(), static_cast<unsigned>(c.bpp));
        double sum = 0;
        int worst = 0;
        long count = 0;
        for (int y = 0; y < c.newH; ++y) {
            for (int x = 0; x < c.newW; ++x) {
                const TRgb a = PixelAt(reference.get(), x, y);
                const TRgb b = PixelAt(fast.get(), x, y);
                for (int d : {a.r - b.r, a.g - b.g, a.b - b.b, a.a - b.a}) {
                    sum += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                    ++count;
                }
            }
        }
        EXPECT_LT(sum / count, 0.6);
        EXPECT_LE(worst, 6);
        if (c.bpp == 24) {
            ExpectRowsMatch(source.get(), fast.get(), {0, 0, c.newW, c.newH});
            // A shown part (the middle of a zoomed picture) is that part.
            ExpectRowsMatch(source.get(), fast.get(),
                            {c.newW / 3, c.newH / 4, (c.newW + 2) / 3, (c.newH + 1) / 2});
        }
    }
}

TEST(FastRescale, KeepsFlatColoursExactAndRefusesWhatItDoesNotHandle) {
    const TDib flat = SolidPicture(333, 222, {200, 100, 7, 99}, 32);
    const TDib scaled(RescaleLanczos3(flat.get(), 1000, 97));
    ASSERT_TRUE(scaled);
    for (int y : {0, 50, 96}) {
        for (int x : {0, 1, 500, 999}) {
            EXPECT_EQ(PixelAt(scaled.get(), x, y), (TRgb{200, 100, 7, 99}));
        }
    }
    const TDib grey(FreeImage_Allocate(10, 10, 8));
    EXPECT_EQ(RescaleLanczos3(grey.get(), 5, 5), nullptr);
    EXPECT_EQ(RescaleLanczos3(flat.get(), 0, 5), nullptr);
    EXPECT_EQ(RescaleLanczos3(nullptr, 5, 5), nullptr);
}

TEST(FreeBitmap, ReleaseHandsTheImageOver) {
    int changes = 0;
    TFreeBitmap image(FIT_BITMAP, 3, 3, 24);
    image.OnChange = [&](TFreeBitmap&) { ++changes; };
    const TDib taken(image.Release());
    EXPECT_TRUE(taken);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(image.Release(), nullptr);
    EXPECT_EQ(changes, 1);
}
