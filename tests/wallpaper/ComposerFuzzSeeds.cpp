// Pictures in many formats and depths that every mode must compose; they are
// also written, with the fuzzer's two leading bytes, as the seed corpus of
// the composer's fuzzer (<build>/fuzz-seeds/compose).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ComposeCalls.h"
#include "TestPictures.h"
#include "platform/ScreenInfo.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"

namespace {

struct TSeed {
    const char* name;
    FREE_IMAGE_FORMAT format;
    int bpp;  // 0: the photograph-like 24-bit picture as it is
    int flags;
};

const TSeed kSeeds[] = {
    {"photo.jpg", FIF_JPEG, 0, JPEG_QUALITYNORMAL},
    {"photo.png", FIF_PNG, 0, 0},
    {"alpha.png", FIF_PNG, 32, 0},
    {"grey.png", FIF_PNG, 8, 0},
    {"photo.bmp", FIF_BMP, 0, 0},
    {"mono.bmp", FIF_BMP, 1, 0},
    {"photo.tif", FIF_TIFF, 0, TIFF_LZW},
    {"photo.tga", FIF_TARGA, 0, 0},
    {"photo.pcx", FIF_PCX, 0, 0},
    {"photo.ppm", FIF_PPMRAW, 0, 0},
    {"photo.gif", FIF_GIF, 8, 0},
    {"photo.webp", FIF_WEBP, 0, 0},
};

TDib SeedPicture(int bpp) {
    TDib photo = PhotoPicture(24, 16, 5);
    switch (bpp) {
        case 32:
            return TDib(FreeImage_ConvertTo32Bits(photo.get()));
        case 8:
            return TDib(FreeImage_ColorQuantize(photo.get(), FIQ_WUQUANT));
        case 1:
            return TDib(FreeImage_Threshold(photo.get(), 128));
        default:
            return photo;
    }
}

}  // namespace

TEST(ComposerSeeds, EveryFormatComposesInEveryMode) {
    TTempDir dir;
    const char* binary = std::getenv("VANTORIA_BINARY_DIR");
    std::string seeds;
    if (binary && *binary) {
        seeds = std::string(binary) + "/fuzz-seeds/compose";
        std::filesystem::create_directories(seeds);
    }
    TFixedScreenInfo screen({64, 48, 32});
    int written = 0;
    for (const TSeed& seed : kSeeds) {
        SCOPED_TRACE(seed.name);
        const TDib picture = SeedPicture(seed.bpp);
        ASSERT_TRUE(picture);
        const std::string path = dir.File(seed.name);
        if (!FreeImage_FIFSupportsExportBPP(seed.format, static_cast<int>(picture.bpp()))) {
            continue;
        }
        ASSERT_TRUE(SavePicture(picture, seed.format, path, seed.flags));
        for (int mode = 0; mode < 4; ++mode) {
            EXPECT_TRUE(ComposeWallpaper(path, mode, dir.File("out.bmp"), 0x00336699, screen))
                << mode << ": " << LastDecodeRefusal();
        }
        if (!seeds.empty()) {
            const std::string bytes = ReadFileBytes(path);
            for (int mode = 0; mode < 4; ++mode) {
                const char prefix[2] = {static_cast<char>(mode),
                                        static_cast<char>(0x35 | (mode & 1) << 7)};
                WriteFileBytes(seeds + "/" + std::to_string(mode) + "-" + seed.name,
                               std::string(prefix, 2) + bytes);
            }
        }
        ++written;
    }
    EXPECT_GE(written, 11);
}
