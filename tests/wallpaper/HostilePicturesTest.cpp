// Tiny files that declare huge pictures, repeat their work or lack their
// pixels: each is refused, with a reason, before it costs more than its
// decoding budget (a hang here is caught by the test's time-out).

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ComposeCalls.h"
#include "TestPictures.h"
#include "platform/ScreenInfo.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"

namespace {

std::string Le16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(std::uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}
std::string Be16(unsigned v) {
    return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}
std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}

// A little-endian TIFF of one strip: RGB of `bits` per sample, `format` 1
// (integer) or 3 (float); the strip lies past the end of the file.
std::string Tiff(std::uint32_t side, unsigned bits, unsigned format) {
    struct TEntry {
        unsigned tag, type;
        std::uint32_t count, value;
    };
    const std::uint32_t extra = 8 + 2 + 10 * 12 + 4;  // three shorts follow the IFD
    const std::vector<TEntry> entries = {
        {256, 4, 1, side}, {257, 4, 1, side},     {258, 3, 3, extra}, {259, 3, 1, 1},
        {262, 3, 1, 2},    {273, 4, 1, 4096},     {277, 3, 1, 3},     {278, 4, 1, side},
        {279, 4, 1, 4096}, {339, 3, 3, extra + 6}};
    std::string t = "II*" + std::string(1, '\0') + Le32(8) + Le16(entries.size());
    for (const TEntry& e : entries) {
        t += Le16(e.tag) + Le16(e.type) + Le32(e.count) + Le32(e.value);
    }
    t += Le32(0);
    t += Le16(bits) + Le16(bits) + Le16(bits) + Le16(format) + Le16(format) + Le16(format);
    return t;
}

std::string Dds(std::uint32_t side) {
    std::string d = "DDS " + Le32(124) + Le32(0x1007) + Le32(side) + Le32(side);
    d += std::string(76 - d.size(), '\0');
    d += Le32(32) + Le32(0x4) + "DXT1";
    return d + std::string(128 - d.size(), '\0');
}

std::string Psd(std::uint32_t side) {
    return "8BPS" + Be16(1) + std::string(6, '\0') + Be16(3) + Be32(side) + Be32(side) + Be16(8) +
           Be16(3) + Be32(0) + Be32(0) + Be32(0) + Be16(0);
}

std::string Gif(unsigned side) {
    return "GIF89a" + Le16(side) + Le16(side) + std::string("\0\0\0", 3) + "," + Le16(0) + Le16(0) +
           Le16(side) + Le16(side) + std::string("\0\x08", 2);
}

std::string Bmp(int side) {
    const std::uint32_t data = static_cast<std::uint32_t>(side * side * 3);
    return "BM" + Le32(54 + data) + Le32(0) + Le32(54) + Le32(40) + Le32(side) + Le32(side) +
           Le16(1) + Le16(24) + Le32(0) + Le32(data) + Le32(2835) + Le32(2835) + Le32(0) + Le32(0);
}

std::string Pcx(int side) {
    std::string p = {0x0A, 5, 1, 8};
    p += Le16(0) + Le16(0) + Le16(side - 1) + Le16(side - 1) + Le16(72) + Le16(72);
    p += std::string(48, '\0') + std::string(1, '\0') + std::string(1, 3) + Le16(side) + Le16(1);
    return p + std::string(128 - p.size(), '\0');
}

std::string Tga(unsigned side, unsigned type) {
    return std::string("\0\0", 2) + static_cast<char>(type) + std::string(9, '\0') + Le16(side) +
           Le16(side) + std::string("\x18\x20", 2) + std::string("\x87\x10\x20\x30", 4);
}

// A picture the test writes with FreeImage, as bytes.
std::string Saved(const TTempDir& dir, FREE_IMAGE_FORMAT format, int flags, int side = 64) {
    const std::string path = dir.File("made");
    EXPECT_TRUE(SavePicture(PhotoPicture(side, side, 3), format, path, flags));
    return ReadFileBytes(path);
}

// A progressive JPEG whose last scan is repeated `times` times.
std::string RepeatedScans(const TTempDir& dir, int times) {
    const std::string jpeg = Saved(dir, FIF_JPEG, JPEG_PROGRESSIVE, 16);
    const std::size_t lastScan = jpeg.rfind("\xFF\xDA");
    const std::string scan = jpeg.substr(lastScan, jpeg.size() - 2 - lastScan);
    std::string many = jpeg.substr(0, jpeg.size() - 2);
    for (int i = 0; i < times; ++i) {
        many += scan;
    }
    return many + "\xFF\xD9";
}

// A baseline JPEG cut in half and closed with an end marker.
std::string HalfJpeg(const TTempDir& dir) {
    const std::string jpeg = Saved(dir, FIF_JPEG, JPEG_BASELINE | JPEG_QUALITYSUPERB, 256);
    return jpeg.substr(0, jpeg.size() / 2) + "\xFF\xD9";
}

struct THostile {
    const char* name;
    std::function<std::string(const TTempDir&)> bytes;
    const char* reason;  // a word the refusal names
};

const THostile kHostile[] = {
    {"cut.xbm",
     [](const TTempDir&) {
         return std::string(
             "#define a_width 8\n#define a_height 8\nstatic char a_bits[] = {\n0x00 };");
     },
     "cut short"},
    {"float.tif", [](const TTempDir&) { return Tiff(16384, 32, 3); }, "MiB"},
    {"empty.tif", [](const TTempDir&) { return Tiff(8, 8, 1); }, "damaged"},
    {"huge.dds", [](const TTempDir&) { return Dds(65535); }, "pixels"},
    {"empty.dds", [](const TTempDir&) { return Dds(8); }, "cut short"},
    {"huge.psd", [](const TTempDir&) { return Psd(30000); }, "pixels"},
    {"empty.psd", [](const TTempDir&) { return Psd(8); }, "cut short"},
    {"huge.ppm", [](const TTempDir&) { return std::string("P6\n10000 10000\n255\n") + "\x01\x02"; },
     "cut short"},
    {"text.ppm", [](const TTempDir&) { return std::string("P3\n10000 10000\n255\n1 2 3\n"); },
     "cut short"},
    {"empty.ppm", [](const TTempDir&) { return std::string("P6\n8 8\n255\n"); }, "cut short"},
    {"huge.gif", [](const TTempDir&) { return Gif(65535); }, "pixels"},
    {"empty.gif", [](const TTempDir&) { return Gif(8); }, "damaged"},
    {"rle.tga", [](const TTempDir&) { return Tga(8192, 10); }, "cut short"},
    {"empty.bmp", [](const TTempDir&) { return Bmp(8); }, "cut short"},
    {"empty.pcx", [](const TTempDir&) { return Pcx(8); }, "cut short"},
    // OpenEXR's header reader loops for ever on a header cut short.
    {"cut.exr",
     [](const TTempDir&) {
         return std::string(
             "v/1\x01\x02\0\0\0channels\0chlist\0\x37\0\0\0B\0\x01\0\0\0\0\0\0\0\x01\0", 40);
     },
     "took"},
    {"scans.jpg", [](const TTempDir& dir) { return RepeatedScans(dir, 3000); }, "scans"},
    {"half.jpg", HalfJpeg, "cut short"},
};

}  // namespace

TEST(HostilePictures, AreRefusedWithAReason) {
    TTempDir dir;
    TFixedScreenInfo screen({64, 48, 24});
    const std::string out = dir.File("out.bmp");
    for (const THostile& hostile : kHostile) {
        SCOPED_TRACE(hostile.name);
        const std::string path = dir.File(hostile.name);
        WriteFileBytes(path, hostile.bytes(dir));
        EXPECT_FALSE(ComposeWallpaper(path, fmStretch, out, 0, screen));
        EXPECT_NE(LastDecodeRefusal().find(hostile.reason), std::string::npos)
            << LastDecodeRefusal();
    }
}
