#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "ComposeCalls.h"
#include "TestPictures.h"
#include "platform/ScreenInfo.h"
#include "support/TempDir.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/Composer.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/FreeBitmap.h"
#include "wallpaper/JpegDecoder.h"

namespace {

const TRgb kRed{220, 30, 40};
const TColor kFill = 0x00604020;  // red 0x20, green 0x40, blue 0x60
const TRgb kFillRgb{0x20, 0x40, 0x60};

// Counts how often the composer asks for the display.
class TCountingScreen : public TScreenInfo {
public:
    explicit TCountingScreen(TScreenSize size) : size(size) {}
    TScreenSize PrimaryScreenSize() override {
        ++reads;
        return size;
    }
    TScreenSize size;
    int reads = 0;
};

bool Near(TRgb a, TRgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool SameRgb(TRgb a, TRgb b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

// The smallest rectangle holding every pixel that is not the fill colour.
struct TBox {
    int left = -1, top = -1, width = 0, height = 0;
};
TBox PictureBox(FIBITMAP* dib, TRgb fill) {
    const int w = static_cast<int>(FreeImage_GetWidth(dib));
    const int h = static_cast<int>(FreeImage_GetHeight(dib));
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!SameRgb(PixelAt(dib, x, y), fill)) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0)
        return {};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

class ComposerTest : public ::testing::Test {
protected:
    std::string Picture(const std::string& name, const TDib& dib,
                        FREE_IMAGE_FORMAT format = FIF_PNG, int flags = 0) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(SavePicture(dib, format, path, flags));
        return path;
    }
    bool Compose(const std::string& source, int mode, TColor fill = kFill) {
        return ComposeWallpaper(source, mode, destination, fill, screen);
    }
    // Composes a solid red picture of w x h by letter box and checks the
    // bitmap against the expected placement.
    void ExpectLetterBox(int w, int h, int left, int top, int newW, int newH) {
        SCOPED_TRACE(::testing::Message()
                     << w << "x" << h << " on " << screen.size.width << "x" << screen.size.height);
        const std::string source = Picture("lb.png", SolidPicture(w, h, kRed));
        ASSERT_TRUE(Compose(source, fmLetterBox));
        const TDib out = LoadPicture(destination);
        ASSERT_TRUE(out);
        EXPECT_EQ(out.width(), static_cast<unsigned>(screen.size.width));
        EXPECT_EQ(out.height(), static_cast<unsigned>(screen.size.height));
        EXPECT_EQ(out.bpp(), static_cast<unsigned>(screen.size.depth));
        const TBox box = PictureBox(out.get(), kFillRgb);
        EXPECT_EQ(box.left, left);
        EXPECT_EQ(box.top, top);
        EXPECT_EQ(box.width, newW);
        EXPECT_EQ(box.height, newH);
        // The picture keeps its colour inside, the bands are the fill colour.
        EXPECT_TRUE(Near(PixelAt(out.get(), left + newW / 2, top + newH / 2), kRed, 2));
        EXPECT_TRUE(Near(PixelAt(out.get(), left, top), kRed, 2));
        EXPECT_TRUE(Near(PixelAt(out.get(), left + newW - 1, top + newH - 1), kRed, 2));
        if (top > 0) {
            EXPECT_TRUE(SameRgb(PixelAt(out.get(), 0, 0), kFillRgb));
        }
    }

    TTempDir dir;
    std::string destination = dir.File("vantoria.bmp");
    TCountingScreen screen{{1024, 768, 24}};
};

}  // namespace

TEST_F(ComposerTest, LetterBoxPlacesThePictureOnTheFillColour) {
    ExpectLetterBox(1600, 900, 0, 96, 1024, 576);
    ExpectLetterBox(600, 800, 224, 0, 576, 768);
    ExpectLetterBox(1000, 700, 0, 25, 1024, 717);  // 25 rows of fill above, 26 below
    ExpectLetterBox(2048, 1025, 0, 128, 1024, 512);
    ExpectLetterBox(500, 500, 128, 0, 768, 768);
    ExpectLetterBox(640, 480, 0, 0, 1024, 768);
}

TEST_F(ComposerTest, LetterBoxOnOtherDisplays) {
    screen.size = {1366, 768, 32};
    ExpectLetterBox(1000, 1000, 299, 0, 768, 768);
    screen.size = {1920, 1080, 24};
    ExpectLetterBox(1003, 333, 0, 221, 1920, 637);  // 637.44
    screen.size = {768, 1024, 32};
    ExpectLetterBox(300, 700, 164, 0, 439, 1024);  // 438.857 rounds up; odd column on the right
}

TEST_F(ComposerTest, LetterBoxKeepsPicturesThatWouldOverflowInside) {
    ExpectLetterBox(1280, 1024, 32, 0, 960, 768);
    ExpectLetterBox(1024, 900, 75, 0, 874, 768);
    ExpectLetterBox(1200, 768, 0, 56, 1024, 655);
}

TEST_F(ComposerTest, LetterBoxOfAMatchingPictureStillPaintsTheBands) {
    ExpectLetterBox(1024, 600, 0, 84, 1024, 600);
    ExpectLetterBox(500, 768, 262, 0, 500, 768);
    // Exact pixels survive when nothing is scaled.
    TDib picture = SolidPicture(1024, 600, kRed);
    FillRect(picture.get(), 10, 20, 1, 1, {1, 2, 3});
    ASSERT_TRUE(Compose(Picture("exact.png", picture), fmLetterBox));
    const TDib out = LoadPicture(destination);
    EXPECT_EQ((PixelAt(out.get(), 10, 84 + 20)), (TRgb{1, 2, 3, 255}));
}

TEST_F(ComposerTest, LetterBoxTakesTheDisplaysDepthWhateverTheSource) {
    screen.size.depth = 32;
    ExpectLetterBox(800, 450, 0, 96, 1024, 576);
    // An 8-bit grey source and a 32-bit one end up 32-bit, with their colours.
    TFreeBitmap grey(FIT_BITMAP, 300, 200, 8);
    for (unsigned y = 0; y < 200; ++y) {
        BYTE* line = FreeImage_GetScanLine(grey.Dib(), y);
        std::fill(line, line + 300, BYTE{150});
    }
    ASSERT_TRUE(grey.Save(dir.File("grey.png")));
    ASSERT_TRUE(Compose(dir.File("grey.png"), fmLetterBox));
    TDib out = LoadPicture(destination);
    EXPECT_EQ(out.bpp(), 32u);
    EXPECT_TRUE(Near(PixelAt(out.get(), 512, 384), {150, 150, 150}, 2));

    screen.size.depth = 24;
    ASSERT_TRUE(
        Compose(Picture("rgba.png", SolidPicture(400, 300, {9, 200, 9, 255}, 32)), fmLetterBox));
    out = LoadPicture(destination);
    EXPECT_EQ(out.bpp(), 24u);
    EXPECT_TRUE(Near(PixelAt(out.get(), 512, 384), {9, 200, 9}, 2));
}

TEST_F(ComposerTest, ZoomStretchAndConvertOnlySizes) {
    const std::string wide = Picture("wide.png", SolidPicture(1600, 900, kRed));
    ASSERT_TRUE(Compose(wide, fmZoom));
    EXPECT_EQ(LoadPicture(destination).width(), 1365u);
    EXPECT_EQ(LoadPicture(destination).height(), 768u);

    ASSERT_TRUE(Compose(Picture("tall.png", SolidPicture(600, 800, kRed)), fmZoom));
    EXPECT_EQ(LoadPicture(destination).width(), 1024u);
    EXPECT_EQ(LoadPicture(destination).height(), 1365u);

    ASSERT_TRUE(Compose(Picture("almost.png", SolidPicture(1000, 900, kRed)), fmZoom));
    EXPECT_EQ(LoadPicture(destination).width(), 1024u);  // covers the display
    EXPECT_EQ(LoadPicture(destination).height(), 922u);

    ASSERT_TRUE(Compose(Picture("strip.png", SolidPicture(1024, 500, kRed)), fmZoom));
    EXPECT_EQ(LoadPicture(destination).width(), 1573u);
    EXPECT_EQ(LoadPicture(destination).height(), 768u);

    ASSERT_TRUE(Compose(Picture("small.png", SolidPicture(800, 600, kRed)), fmStretch));
    TDib out = LoadPicture(destination);
    EXPECT_EQ(out.width(), 1024u);
    EXPECT_EQ(out.height(), 768u);
    EXPECT_EQ(out.bpp(), 24u);
    EXPECT_TRUE(Near(PixelAt(out.get(), 0, 0), kRed, 2));

    ASSERT_TRUE(Compose(Picture("exact.png", SolidPicture(1024, 768, kRed)), fmStretch));
    EXPECT_EQ(LoadPicture(destination).width(), 1024u);

    const std::string jpeg =
        Picture("photo.jpg", PhotoPicture(1600, 1200), FIF_JPEG, JPEG_QUALITYGOOD);
    ASSERT_TRUE(Compose(jpeg, fmConvertOnly));
    out = LoadPicture(destination);
    EXPECT_EQ(FreeImage_GetFileType(destination.c_str(), 0), FIF_BMP);
    EXPECT_EQ(out.width(), 1600u);
    EXPECT_EQ(out.height(), 1200u);
    EXPECT_EQ(out.bpp(), 24u);
}

TEST_F(ComposerTest, FourBitColourKeepsItsColoursScaledOrNot) {
    TDib picture(FreeImage_Allocate(64, 48, 4));
    RGBQUAD* palette = FreeImage_GetPalette(picture.get());
    palette[0] = RGBQUAD{0, 0, 255, 0};  // red
    palette[1] = RGBQUAD{255, 0, 0, 0};  // blue
    for (unsigned y = 0; y < 48; ++y) {
        for (unsigned x = 0; x < 64; ++x) {
            BYTE index = x < 32 ? 0 : 1;
            FreeImage_SetPixelIndex(picture.get(), x, y, &index);
        }
    }
    const std::string source = Picture("four.bmp", picture, FIF_BMP);
    ASSERT_TRUE(Compose(source, fmStretch));
    TDib out = LoadPicture(destination);
    EXPECT_EQ(out.bpp(), 24u);
    EXPECT_EQ((PixelAt(out.get(), 100, 300)), (TRgb{255, 0, 0, 255}));
    EXPECT_EQ((PixelAt(out.get(), out.width() - 100, 300)), (TRgb{0, 0, 255, 255}));

    ASSERT_TRUE(Compose(source, fmConvertOnly));
    out = LoadPicture(destination);
    EXPECT_EQ(out.bpp(), 4u);
    EXPECT_EQ((PixelAt(out.get(), 5, 5)), (TRgb{255, 0, 0, 255}));
}

TEST_F(ComposerTest, TransparentPartsShowTheFillColourInAnOpaqueBitmap) {
    // Green is stored under the transparent left half; a half-transparent
    // strip on the right mixes green with the fill colour.
    TDib picture = SolidPicture(400, 300, {10, 200, 30, 255}, 32);
    FillRect(picture.get(), 0, 0, 200, 300, {10, 200, 30, 0});
    FillRect(picture.get(), 380, 0, 20, 300, {10, 200, 30, 128});
    const std::string source = Picture("alpha.png", picture);
    for (int depth : {24, 32}) {
        screen.size.depth = depth;
        for (int mode : {fmStretch, fmLetterBox, fmZoom, fmConvertOnly}) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " depth " << depth);
            ASSERT_TRUE(Compose(source, mode));
            const TDib out = LoadPicture(destination);
            const int w = static_cast<int>(out.width());
            EXPECT_TRUE(out.bpp() == 24 || PixelAt(out.get(), 1, 1).a == 255) << out.bpp();
            EXPECT_TRUE(Near(PixelAt(out.get(), 1, 1), kFillRgb, 1));
            EXPECT_TRUE(Near(PixelAt(out.get(), w * 3 / 4, 1), {10, 200, 30}, 2));
            EXPECT_TRUE(Near(PixelAt(out.get(), w - 1, 1), {21, 132, 63}, 3));
            EXPECT_EQ(PixelAt(out.get(), w - 1, 1).a, 255);
        }
    }
}

TEST_F(ComposerTest, PngChunksLongerThanTheFileAreRefusedBeforeDecoding) {
    // A 1 x 1 grey PNG whose second chunk declares almost 2 GB of text: the
    // decoder would allocate that before finding the file short.
    const std::string signature("\x89PNG\r\n\x1a\n", 8);
    const std::string header("\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\0\0\0\0\x3a\x7e\x9b\x55", 25);
    WriteFileBytes(
        dir.File("huge.png"),
        signature + header + std::string("\x7f\xff\xff\xf0zTXtab\0\0", 12) + std::string(8, '\0'));
    WriteFileBytes(destination, "previous wallpaper");
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_FALSE(Compose(dir.File("huge.png"), fmStretch));
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200L * 1024L);  // kilobytes
    EXPECT_TRUE(ReadFileBytes(destination) == "previous wallpaper");

    // Sound PNGs, with chunks up to the end of the file, still compose.
    EXPECT_TRUE(Compose(Picture("small.png", SolidPicture(30, 20, kRed)), fmStretch));
}

TEST_F(ComposerTest, DeepAndFloatingPointPicturesAreWrittenAsOrdinaryBitmaps) {
    TDib deep(FreeImage_AllocateT(FIT_RGB16, 40, 30));
    for (unsigned y = 0; y < 30; ++y) {
        auto* line = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(deep.get(), y));
        for (unsigned x = 0; x < 40; ++x)
            line[x] = FIRGB16{60000, 30000, 1000};
    }
    const std::string source = Picture("deep.png", deep);
    for (int mode : {fmConvertOnly, fmStretch, fmLetterBox}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(Compose(source, mode));
        const TDib out = LoadPicture(destination);
        ASSERT_TRUE(out);
        EXPECT_EQ(FreeImage_GetImageType(out.get()), FIT_BITMAP);
        EXPECT_TRUE(Near(PixelAt(out.get(), out.width() / 2, out.height() / 2), {234, 117, 4}, 2));
    }
    TDib hdr(FreeImage_AllocateT(FIT_RGBF, 20, 10));
    for (unsigned y = 0; y < 10; ++y) {
        auto* line = reinterpret_cast<FIRGBF*>(FreeImage_GetScanLine(hdr.get(), y));
        for (unsigned x = 0; x < 20; ++x)
            line[x] = FIRGBF{0.2f * x, 0.5f, 2.0f};
    }
    ASSERT_TRUE(Compose(Picture("light.pfm", hdr, FIF_PFM), fmZoom));
    const TDib out = LoadPicture(destination);
    EXPECT_EQ(out.width(), 1536u);
    EXPECT_EQ(out.height(), 768u);
    EXPECT_EQ(out.bpp(), 24u);
}

// The formats FreeImage numbers after the first 24 are shown like any other;
// a picture of several frames shows its first.
TEST_F(ComposerTest, LaterFormatsAndTheFirstFrameOfSeveral) {
    const std::pair<const char*, FREE_IMAGE_FORMAT> formats[] = {
        {"a.webp", FIF_WEBP}, {"a.jp2", FIF_JP2}, {"a.j2k", FIF_J2K}, {"a.gif", FIF_GIF}};
    for (const auto& [name, format] : formats) {
        SCOPED_TRACE(name);
        TDib picture = SolidPicture(64, 48, kRed);
        if (format == FIF_GIF)
            picture = TDib(FreeImage_ColorQuantize(picture.get(), FIQ_WUQUANT));
        ASSERT_TRUE(Compose(Picture(name, picture, format, format == FIF_WEBP ? WEBP_LOSSLESS : 0),
                            fmStretch));
        EXPECT_TRUE(Near(PixelAt(LoadPicture(destination).get(), 512, 384), kRed, 8));
    }
    const std::string frames = dir.File("frames.gif");
    FIMULTIBITMAP* gif = FreeImage_OpenMultiBitmap(FIF_GIF, frames.c_str(), TRUE, FALSE);
    ASSERT_NE(gif, nullptr);
    for (const TRgb colour : {kRed, TRgb{0, 0, 255}}) {
        const TDib frame(FreeImage_ColorQuantize(SolidPicture(64, 48, colour).get(), FIQ_WUQUANT));
        FreeImage_AppendPage(gif, frame.get());
    }
    ASSERT_TRUE(FreeImage_CloseMultiBitmap(gif));
    ASSERT_TRUE(Compose(frames, fmStretch));
    EXPECT_TRUE(Near(PixelAt(LoadPicture(destination).get(), 512, 384), kRed, 8));
}

TEST_F(ComposerTest, UprightPhotographsFromTurnedCameras) {
    // Stored sideways: red on the left, blue on the right; orientation 6
    // means the picture is to be turned a quarter clockwise.
    TDib stored = SolidPicture(64, 32, {255, 0, 0});
    FillRect(stored.get(), 32, 0, 32, 32, {0, 0, 255});
    const std::string intel = Picture("turned.jpg", stored, FIF_JPEG, JPEG_QUALITYSUPERB);
    AddExifOrientation(intel, 6);
    const std::string motorola = Picture("turned-mm.jpg", stored, FIF_JPEG, JPEG_QUALITYSUPERB);
    AddExifOrientation(motorola, 6, true);
    for (const std::string& source : {intel, motorola}) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(Compose(source, fmConvertOnly));
        TDib out = LoadPicture(destination);
        ASSERT_EQ(out.width(), 32u);
        ASSERT_EQ(out.height(), 64u);
        EXPECT_TRUE(Near(PixelAt(out.get(), 16, 5), {255, 0, 0}, 30));
        EXPECT_TRUE(Near(PixelAt(out.get(), 16, 58), {0, 0, 255}, 30));
        // Letter box fits the upright shape: a tall picture, fitted by height.
        ASSERT_TRUE(Compose(source, fmLetterBox));
        out = LoadPicture(destination);
        EXPECT_TRUE(Near(PixelAt(out.get(), 512, 100), {255, 0, 0}, 30));
        EXPECT_TRUE(Near(PixelAt(out.get(), 512, 700), {0, 0, 255}, 30));
        EXPECT_TRUE(SameRgb(PixelAt(out.get(), 100, 384), kFillRgb));  // 384 x 768 in the middle
    }
}

TEST_F(ComposerTest, ShrinkingWhileDecodingLooksLikeThePlainPath) {
    screen.size = {640, 360, 24};
    const std::string upright =
        Picture("upright.jpg", PhotoPicture(2400, 1600, 3), FIF_JPEG, JPEG_QUALITYSUPERB);
    const std::string source =
        Picture("big.jpg", PhotoPicture(2400, 1600, 3), FIF_JPEG, JPEG_QUALITYSUPERB);
    AddExifOrientation(source, 8);  // and upright: 1600 x 2400
    for (const auto& [source, mode] :
         {std::pair{source, int{fmLetterBox}}, std::pair{source, int{fmStretch}},
          std::pair{source, int{fmZoom}}, std::pair{upright, int{fmLetterBox}},
          std::pair{upright, int{fmZoom}}}) {
        SCOPED_TRACE(source + " " + std::to_string(mode));
        const std::string plainPath = dir.File("plain.bmp");
        TComposeOptions plainOptions;
        plainOptions.shrinkOnLoad = false;
        ASSERT_TRUE(ComposeWallpaper(source, mode, plainPath, kFill, screen, plainOptions));
        ASSERT_TRUE(ComposeWallpaper(source, mode, destination, kFill, screen, TComposeOptions{}));
        const TDib plain = LoadPicture(plainPath);
        const TDib fast = LoadPicture(destination);
        ASSERT_EQ(plain.width(), fast.width());
        ASSERT_EQ(plain.height(), fast.height());
        ASSERT_EQ(plain.bpp(), fast.bpp());
        double sum = 0;
        int worst = 0;
        long count = 0;
        for (unsigned y = 0; y < plain.height(); y += 3) {
            for (unsigned x = 0; x < plain.width(); x += 3) {
                const TRgb a = PixelAt(plain.get(), x, y);
                const TRgb b = PixelAt(fast.get(), x, y);
                for (int d : {a.r - b.r, a.g - b.g, a.b - b.b}) {
                    sum += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                    ++count;
                }
            }
        }
        EXPECT_LT(sum / count, 1.5);
        EXPECT_LE(worst, 24);
    }
}

TEST_F(ComposerTest, JpegSizeHintShrinksAsComputed) {
    const std::string source = Picture("hint.jpg", PhotoPicture(1203, 801), FIF_JPEG);
    for (int factor : {2, 4, 8}) {
        const int hint = JpegSizeHint(1203, factor);
        ASSERT_GT(hint, 0);
        TDib loaded(FreeImage_Load(FIF_JPEG, source.c_str(), hint << 16));
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded.width(), static_cast<unsigned>((1203 + factor - 1) / factor));
        EXPECT_EQ(loaded.height(), static_cast<unsigned>((801 + factor - 1) / factor));
    }
}

TEST_F(ComposerTest, DisplaySizeIsReadAtEveryCall) {
    const std::string source = Picture("p.png", SolidPicture(300, 200, kRed));
    ASSERT_TRUE(Compose(source, fmStretch));
    EXPECT_EQ(screen.reads, 1);
    screen.size = {640, 480, 24};
    ASSERT_TRUE(Compose(source, fmStretch));
    EXPECT_EQ(screen.reads, 2);
    EXPECT_EQ(LoadPicture(destination).width(), 640u);
}

TEST_F(ComposerTest, FailuresLeaveTheDestinationUntouched) {
    WriteFileBytes(destination, "previous wallpaper");
    const std::string good = Picture("good.png", SolidPicture(50, 40, kRed));

    WriteFileBytes(dir.File("fake.jpg"), "this is no image, only text");
    EXPECT_FALSE(Compose(dir.File("fake.jpg"), fmStretch));
    EXPECT_FALSE(Compose(dir.File("missing.png"), fmStretch));
    EXPECT_FALSE(Compose(good, 7));
    EXPECT_FALSE(Compose(good, -1));
    WriteFileBytes(dir.File("empty.png"), "");
    EXPECT_FALSE(Compose(dir.File("empty.png"), fmStretch));
    std::filesystem::create_directory(dir.File("folder.jpg"));
    EXPECT_FALSE(Compose(dir.File("folder.jpg"), fmStretch));
    ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(Compose(dir.File("pipe.jpg"), fmStretch));  // must not wait for a writer

    // Truncated and corrupt pictures.
    const std::string png = ReadFileBytes(Picture("whole.png", PhotoPicture(200, 150)));
    WriteFileBytes(dir.File("cut.png"), png.substr(0, png.size() / 2));
    EXPECT_FALSE(Compose(dir.File("cut.png"), fmStretch));
    const std::string jpeg = ReadFileBytes(Picture("whole.jpg", PhotoPicture(400, 300), FIF_JPEG));
    WriteFileBytes(dir.File("cut.jpg"), jpeg.substr(0, jpeg.size() / 2));
    EXPECT_FALSE(Compose(dir.File("cut.jpg"), fmStretch));
    std::string garbled = png;
    for (size_t i = 60; i < garbled.size(); i += 7)
        garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    WriteFileBytes(dir.File("garbled.png"), garbled);
    EXPECT_FALSE(Compose(dir.File("garbled.png"), fmStretch));

    // A screen of no size cannot be fitted.
    screen.size = {0, 0, 24};
    EXPECT_FALSE(Compose(good, fmLetterBox));
    screen.size = {1024, 768, 24};

    EXPECT_TRUE(ReadFileBytes(destination) == "previous wallpaper");
    // No temporary file is left behind.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        entries += entry.path().filename().string().rfind(".vantoria.bmp", 0) == 0;
    }
    EXPECT_EQ(entries, 0);
}

TEST_F(ComposerTest, HugeDimensionsAreRefusedBeforeDecoding) {
    // A PNG header claiming 60000 x 60000 pixels with almost no data.
    const std::string png = ReadFileBytes(Picture("tiny.png", SolidPicture(2, 2, kRed)));
    std::string huge = png;
    // IHDR width and height sit at bytes 16 to 23, its CRC at 29 to 32.
    const unsigned char size[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
    huge.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    const std::uint32_t crc = Crc32(huge.substr(12, 17));
    for (int i = 0; i < 4; ++i)
        huge[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    WriteFileBytes(dir.File("huge.png"), huge);
    WriteFileBytes(destination, "previous wallpaper");
    EXPECT_FALSE(Compose(dir.File("huge.png"), fmLetterBox));
    EXPECT_TRUE(ReadFileBytes(destination) == "previous wallpaper");

    // A limit can be set lower; a picture within it still composes.
    TComposeOptions options;
    options.budget.maxPixels = 100 * 100;
    const std::string fits = Picture("fits.png", SolidPicture(100, 100, kRed));
    EXPECT_TRUE(ComposeWallpaper(fits, fmStretch, destination, 0, screen, options));
    const std::string over = Picture("over.png", SolidPicture(101, 100, kRed));
    EXPECT_FALSE(ComposeWallpaper(over, fmStretch, destination, 0, screen, options));
}

TEST_F(ComposerTest, UnwritableDestinationFailsCleanly) {
    const std::string good = Picture("good.png", SolidPicture(50, 40, kRed));
    EXPECT_FALSE(ComposeWallpaper(good, fmStretch, dir.File("missing/vantoria.bmp"), 0, screen));
    EXPECT_FALSE(ComposeWallpaper(good, fmStretch, dir.File("wallpaper.unknown"), 0, screen));
    // A folder where the bitmap should go is not replaced.
    std::filesystem::create_directory(dir.File("taken.bmp"));
    EXPECT_FALSE(ComposeWallpaper(good, fmStretch, dir.File("taken.bmp"), 0, screen));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.bmp")));
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir.File("locked"));
        ::chmod(dir.File("locked").c_str(), 0500);
        EXPECT_FALSE(ComposeWallpaper(good, fmStretch, dir.File("locked/vantoria.bmp"), 0, screen));
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().filename().string().rfind(".", 0), 0u) << entry.path();
    }
}

TEST_F(ComposerTest, ReplacesTheDestinationAsAWhole) {
    const std::string good = Picture("good.png", SolidPicture(50, 40, kRed));
    WriteFileBytes(destination, "previous wallpaper");
    // A reader holding the old file keeps reading the old bytes.
    struct stat before {};
    ASSERT_EQ(::stat(destination.c_str(), &before), 0);
    ASSERT_TRUE(Compose(good, fmStretch));
    struct stat after {};
    ASSERT_EQ(::stat(destination.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    EXPECT_EQ(LoadPicture(destination).width(), 1024u);
}

TEST_F(ComposerTest, HugeGifFramesAreRefusedBeforeDecoding) {
    // FreeImage reads no GIF header alone: the composer reads the first
    // frame's descriptor itself, past a global palette and an extension.
    std::string gif("GIF89a");
    gif += std::string("\x02\x00\x02\x00\x80\x00\x00", 7);      // 2 x 2 screen, 2-colour palette
    gif += std::string("\x00\x00\x00\xff\xff\xff", 6);          // the palette
    gif += std::string("\x21\xf9\x04\x00\x00\x00\x00\x00", 8);  // graphic control extension
    gif += std::string("\x2c\x00\x00\x00\x00\x60\xea\x60\xea\x00", 10);  // 60000 x 60000 frame
    gif += std::string("\x02\x02\x44\x01\x00\x3b", 6);
    WriteFileBytes(dir.File("huge.gif"), gif);
    WriteFileBytes(destination, "previous wallpaper");
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    EXPECT_FALSE(Compose(dir.File("huge.gif"), fmStretch));
    EXPECT_TRUE(ReadFileBytes(destination) == "previous wallpaper");
    // Decoding that frame takes FreeImage seconds and about 450 MB.
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200L * 1024L);  // kilobytes

    // The same picture with a 2 x 2 frame composes.
    gif.replace(gif.size() - 11, 4, std::string("\x02\x00\x02\x00", 4));
    WriteFileBytes(dir.File("small.gif"), gif);
    EXPECT_TRUE(Compose(dir.File("small.gif"), fmStretch));
    TComposeOptions options;
    options.budget.maxPixels = 3;
    EXPECT_FALSE(
        ComposeWallpaper(dir.File("small.gif"), fmStretch, destination, 0, screen, options));
}

// A screen painted straight from the decoded picture shows what the desktop
// would show of the bitmap: the middle when centred, repeats from the top
// left when tiled, the fill colour's bands in letter box, black elsewhere.
TEST(ComposeScreenPictureTest, PlacesCropsAndTilesAsTheDesktopWould) {
    TTempDir dir;
    TDib quarters = SolidPicture(300, 200, {255, 0, 0});
    FillRect(quarters.get(), 150, 0, 150, 100, {0, 255, 0});      // top right
    FillRect(quarters.get(), 0, 100, 150, 100, {0, 0, 255});      // bottom left
    FillRect(quarters.get(), 150, 100, 150, 100, {255, 255, 0});  // bottom right
    const std::string big = dir.File("quarters.png");
    ASSERT_TRUE(SavePicture(quarters, FIF_PNG, big));
    const std::string small = dir.File("small.png");
    ASSERT_TRUE(SavePicture(SolidPicture(60, 50, {0, 255, 0}), FIF_PNG, small));
    TScreenPicture out;
    auto at = [&out](int x, int y) { return out.pixels[std::size_t(y) * out.width + x]; };

    ASSERT_TRUE(ComposeScreenPicture(big, fmConvertOnly, dpCenter, kFill, {100, 80}, out));
    ASSERT_EQ(out.pixels.size(), 8000u);
    EXPECT_EQ(at(0, 0), 0xFF0000u);   // the picture's (100, 60)
    EXPECT_EQ(at(99, 0), 0x00FF00u);  // (199, 60)
    EXPECT_EQ(at(0, 79), 0x0000FFu);  // (100, 139)
    EXPECT_EQ(at(99, 79), 0xFFFF00u);

    ASSERT_TRUE(ComposeScreenPicture(small, fmConvertOnly, dpCenter, kFill, {100, 80}, out));
    EXPECT_EQ(at(19, 14), 0u);
    EXPECT_EQ(at(20, 15), 0x00FF00u);
    EXPECT_EQ(at(79, 64), 0x00FF00u);
    EXPECT_EQ(at(80, 65), 0u);

    ASSERT_TRUE(ComposeScreenPicture(big, fmConvertOnly, dpTile, kFill, {400, 300}, out));
    EXPECT_EQ(at(0, 0), 0xFF0000u);
    EXPECT_EQ(at(299, 199), 0xFFFF00u);
    EXPECT_EQ(at(300, 200), 0xFF0000u);  // the second repeat starts
    EXPECT_EQ(at(399, 0), 0xFF0000u);

    ASSERT_TRUE(ComposeScreenPicture(small, fmLetterBox, dpCenter, kFill, {120, 80}, out));
    EXPECT_EQ(at(0, 40), 0x204060u) << "the fill colour's band";
    EXPECT_EQ(at(60, 40), 0x00FF00u);

    EXPECT_FALSE(ComposeScreenPicture(dir.File("absent.png"), fmConvertOnly, dpCenter, kFill,
                                      {100, 80}, out));
}

// A photograph larger than the screen is decoded only where the screen shows
// it; the screen looks as it does with the whole picture decoded and placed,
// whether a tile is handed whole or in bands for the display to repeat.
TEST(ComposeScreenPictureTest, PartlyDecodedPhotographsLookWhole) {
    TTempDir dir;
    const std::string photo = dir.File("photo.jpg");
    ASSERT_TRUE(SavePicture(PhotoPicture(641, 481, 5), FIF_JPEG, photo, JPEG_QUALITYSUPERB));
    const TDib whole = LoadPicture(photo);
    ASSERT_TRUE(whole);
    for (const auto& [placement, screen, repeats] :
         {std::tuple{int{dpCenter}, TPixelSize{200, 151}, false},
          std::tuple{int{dpTile}, TPixelSize{200, 151}, false},
          std::tuple{int{dpTile}, TPixelSize{200, 151}, true},
          std::tuple{int{dpTile}, TPixelSize{1500, 300}, false},
          std::tuple{int{dpTile}, TPixelSize{1500, 300}, true},
          std::tuple{int{dpCenter}, TPixelSize{900, 33}, false}}) {
        SCOPED_TRACE(::testing::Message() << placement << " " << screen.width << "x"
                                          << screen.height << (repeats ? " repeated" : ""));
        TWholePicture painter(screen, kFill);
        painter.repeats = repeats;
        ASSERT_TRUE(Compose(Request(photo, fmConvertOnly, kFill,
                                    {{"", 0, 0, screen.width, screen.height, true}}, 32, placement),
                            TScreenParts{screen, &painter}));
        const TScreenPicture& out = painter.picture;
        ASSERT_EQ(out.width, screen.width);
        ASSERT_EQ(out.height, screen.height);
        const int left = placement == dpTile ? 0 : (screen.width - 641) / 2;
        const int top = placement == dpTile ? 0 : (screen.height - 481) / 2;
        double sum = 0;
        int worst = 0;
        long count = 0;
        for (int y = 0; y < screen.height; ++y) {
            for (int x = 0; x < screen.width; ++x) {
                int sx = x - left;
                int sy = y - top;
                if (placement == dpTile) {
                    sx %= 641;
                    sy %= 481;
                }
                const std::uint32_t p = out.pixels[std::size_t(y) * out.width + x];
                if (sx < 0 || sy < 0 || sx >= 641 || sy >= 481) {
                    EXPECT_EQ(p, 0u);
                    continue;
                }
                const TRgb a = PixelAt(whole.get(), sx, sy);
                for (int d :
                     {a.r - int(p >> 16 & 0xFF), a.g - int(p >> 8 & 0xFF), a.b - int(p & 0xFF)}) {
                    sum += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                    ++count;
                }
            }
        }
        ASSERT_GT(count, 0);
        EXPECT_LT(sum / count, 1.0);
        EXPECT_LE(worst, 16);
    }
}

// A JPEG cut short is refused even where the screen shows only a part of it
// that the cut left whole; one garbled in its data goes through the partial
// decoder without harm, whatever it shows filling the screen.
TEST(ComposeScreenPictureTest, CutAndGarbledPhotographsEndCleanly) {
    TTempDir dir;
    const std::string good = dir.File("good.jpg");
    ASSERT_TRUE(SavePicture(PhotoPicture(640, 480, 7), FIF_JPEG, good));
    const std::string bytes = ReadFileBytes(good);
    WriteFileBytes(dir.File("cut.jpg"), bytes.substr(0, bytes.size() * 3 / 4));
    std::string garbled = bytes;
    for (std::size_t i = garbled.size() / 3; i + 2 < garbled.size(); i += 5) {
        garbled[i] = static_cast<char>(garbled[i] ^ 0xA5);
    }
    WriteFileBytes(dir.File("garbled.jpg"), garbled);
    for (const auto& [mode, placement] :
         {std::pair{int{fmConvertOnly}, int{dpCenter}}, std::pair{int{fmConvertOnly}, int{dpTile}},
          std::pair{int{fmLetterBox}, int{dpCenter}}, std::pair{int{fmZoom}, int{dpCenter}},
          std::pair{int{fmStretch}, int{dpCenter}}}) {
        SCOPED_TRACE(::testing::Message() << mode << " " << placement);
        TScreenPicture out;
        EXPECT_FALSE(
            ComposeScreenPicture(dir.File("cut.jpg"), mode, placement, kFill, {320, 200}, out));
        if (ComposeScreenPicture(dir.File("garbled.jpg"), mode, placement, kFill, {320, 200},
                                 out)) {
            EXPECT_EQ(out.pixels.size(), 320u * 200u);
        }
    }
    TScreenPicture out;
    ASSERT_TRUE(ComposeScreenPicture(good, fmLetterBox, dpCenter, kFill, {320, 200}, out));
}

// A photograph scaled for the screen or its bitmap is decoded and scaled row
// by row; it looks as the same pixels composed whole (from a PNG): the same
// size and place, the fill colour's bands, colours within 2 / 255.
TEST(ComposeScreenPictureTest, ScaledPhotographsLookAsWholePictures) {
    TTempDir dir;
    const std::string photo = dir.File("photo.jpg");
    ASSERT_TRUE(SavePicture(PhotoPicture(641, 481, 9), FIF_JPEG, photo, JPEG_QUALITYSUPERB));
    FIBITMAP* decoded = nullptr;
    std::string refusal;
    ASSERT_EQ(DecodeJpeg(photo, 8, {}, TDecodeBudget{}, decoded, refusal), TJpegDecode::kDecoded);
    const std::string png = dir.File("photo.png");
    ASSERT_TRUE(SavePicture(TDib(decoded), FIF_PNG, png));
    TComposeOptions whole;
    whole.shrinkOnLoad = false;
    auto worst = [](FIBITMAP* a, FIBITMAP* b) {
        int most = 0;
        for (int y = 0; y < static_cast<int>(FreeImage_GetHeight(a)); ++y) {
            for (int x = 0; x < static_cast<int>(FreeImage_GetWidth(a)); ++x) {
                const TRgb p = PixelAt(a, x, y);
                const TRgb q = PixelAt(b, x, y);
                for (int d : {p.r - q.r, p.g - q.g, p.b - q.b, p.a - q.a}) {
                    most = std::max(most, std::abs(d));
                }
            }
        }
        return most;
    };
    for (const auto& [mode, screen] : {std::pair{int{fmLetterBox}, TPixelSize{320, 200}},
                                       std::pair{int{fmLetterBox}, TPixelSize{500, 40}},
                                       std::pair{int{fmZoom}, TPixelSize{300, 100}},
                                       std::pair{int{fmZoom}, TPixelSize{120, 300}},
                                       std::pair{int{fmStretch}, TPixelSize{1000, 700}},
                                       std::pair{int{fmStretch}, TPixelSize{90, 333}}}) {
        SCOPED_TRACE(::testing::Message() << mode << " " << screen.width << "x" << screen.height);
        TScreenPicture streamed;
        TScreenPicture reference;
        ASSERT_TRUE(ComposeScreenPicture(photo, mode, dpCenter, kFill, screen, streamed, whole));
        ASSERT_TRUE(ComposeScreenPicture(png, mode, dpCenter, kFill, screen, reference, whole));
        int most = 0;
        for (std::size_t i = 0; i < reference.pixels.size(); ++i) {
            for (int shift : {0, 8, 16}) {
                most = std::max(most, std::abs(int(streamed.pixels[i] >> shift & 0xFF) -
                                               int(reference.pixels[i] >> shift & 0xFF)));
            }
        }
        EXPECT_LE(most, 2);
        if (mode == fmLetterBox) {
            EXPECT_EQ(streamed.pixels.front(), 0x204060u) << "the fill colour's band";
        }
        const auto request = [&](const std::string& source) {
            return Request(source, mode, kFill, {{"", 0, 0, screen.width, screen.height, true}});
        };
        ASSERT_TRUE(Compose(request(photo), TMonitorBitmaps{{dir.File("streamed.bmp")}}, whole));
        ASSERT_TRUE(Compose(request(png), TMonitorBitmaps{{dir.File("reference.bmp")}}, whole));
        const TDib a = LoadPicture(dir.File("streamed.bmp"));
        const TDib b = LoadPicture(dir.File("reference.bmp"));
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a.width(), b.width());
        ASSERT_EQ(a.height(), b.height());
        ASSERT_EQ(a.bpp(), b.bpp());
        EXPECT_LE(worst(a.get(), b.get()), 2);
    }
}

// Opaque PNG pictures, scaled row by row as they are decoded, show what the
// whole decoder shows of the same pixels (stored as BMP), to within two
// levels, in every kind the row decoder takes; a damaged one is refused.
TEST_F(ComposerTest, PngPicturesScaledRowByRowShowWhatTheWholeDecoderShows) {
    screen.size = {320, 200, 24};
    const TDib photo = PhotoPicture(500, 260, 5);
    const TDib deep(FreeImage_ConvertToRGB16(photo.get()));
    struct TKind {
        const char* name;
        TDib png;
        TDib same;  // the pixels as the whole decoder gives them
    } kinds[] = {
        {"rgb", TDib(FreeImage_Clone(photo.get())), TDib(FreeImage_Clone(photo.get()))},
        {"grey", TDib(FreeImage_ConvertToGreyscale(photo.get())),
         TDib(FreeImage_ConvertToGreyscale(photo.get()))},
        {"palette", TDib(FreeImage_ColorQuantize(photo.get(), FIQ_WUQUANT)),
         TDib(FreeImage_ColorQuantize(photo.get(), FIQ_WUQUANT))},
        {"deep", TDib(FreeImage_Clone(deep.get())), TDib(FreeImage_ConvertTo24Bits(deep.get()))},
    };
    for (const TKind& kind : kinds) {
        const std::string png = Picture(std::string(kind.name) + ".png", kind.png, FIF_PNG);
        const std::string bmp = Picture(std::string(kind.name) + ".bmp", kind.same, FIF_BMP);
        for (const int mode : {int{fmLetterBox}, int{fmZoom}, int{fmStretch}}) {
            SCOPED_TRACE(testing::Message() << kind.name << " mode " << mode);
            ASSERT_TRUE(Compose(bmp, mode));
            const TDib whole = LoadPicture(destination);
            ASSERT_TRUE(Compose(png, mode));
            const TDib rows = LoadPicture(destination);
            ASSERT_EQ(rows.width(), whole.width());
            ASSERT_EQ(rows.height(), whole.height());
            int worst = 0;
            for (unsigned y = 0; y < whole.height(); ++y) {
                for (unsigned x = 0; x < whole.width(); ++x) {
                    const TRgb a = PixelAt(whole.get(), x, y);
                    const TRgb b = PixelAt(rows.get(), x, y);
                    worst = std::max(
                        {worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
                }
            }
            EXPECT_LE(worst, 2);
        }
    }
    std::string bytes = ReadFileBytes(dir.File("rgb.png"));
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) {
        bytes[i] = static_cast<char>(~bytes[i]);
    }
    const std::string damaged = dir.File("damaged.png");
    WriteFileBytes(damaged, bytes);
    EXPECT_FALSE(Compose(damaged, fmLetterBox));
    EXPECT_NE(LastDecodeRefusal().find("damaged"), std::string::npos) << LastDecodeRefusal();
}
