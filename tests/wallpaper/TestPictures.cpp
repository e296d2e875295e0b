#include "TestPictures.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

TDib SolidPicture(int width, int height, TRgb color, int bpp) {
    TDib dib(FreeImage_Allocate(width, height, bpp));
    if (!dib)
        throw std::runtime_error("allocation failed");
    FillRect(dib.get(), 0, 0, width, height, color);
    return dib;
}

void FillRect(FIBITMAP* dib, int x, int y, int width, int height, TRgb color) {
    const int bytes = static_cast<int>(FreeImage_GetBPP(dib)) / 8;
    const int h = static_cast<int>(FreeImage_GetHeight(dib));
    for (int row = y; row < y + height; ++row) {
        BYTE* line = FreeImage_GetScanLine(dib, h - 1 - row);
        for (int col = x; col < x + width; ++col) {
            BYTE* p = line + col * bytes;
            p[FI_RGBA_RED] = color.r;
            p[FI_RGBA_GREEN] = color.g;
            p[FI_RGBA_BLUE] = color.b;
            if (bytes == 4)
                p[FI_RGBA_ALPHA] = color.a;
        }
    }
}

TDib PhotoPicture(int width, int height, unsigned seed) {
    TDib dib(FreeImage_Allocate(width, height, 24));
    if (!dib)
        throw std::runtime_error("allocation failed");
    const double s = 0.7 + 0.1 * (seed % 7);
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib.get(), height - 1 - y);
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double wave =
                std::sin(fx * 9.0 * s + std::cos(fy * 5.0)) * std::cos(fy * 7.0 * s - fx * 3.0);
            line[x * 3 + FI_RGBA_RED] =
                static_cast<BYTE>(std::lround(127.5 + 90.0 * wave * fx + 30.0 * fy));
            line[x * 3 + FI_RGBA_GREEN] =
                static_cast<BYTE>(std::lround(60.0 + 120.0 * fy + 50.0 * wave));
            line[x * 3 + FI_RGBA_BLUE] =
                static_cast<BYTE>(std::lround(200.0 - 150.0 * fx * fy + 40.0 * wave));
        }
    }
    return dib;
}

TRgb PixelAt(FIBITMAP* dib, int x, int y) {
    const int h = static_cast<int>(FreeImage_GetHeight(dib));
    RGBQUAD q{};
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (bpp <= 8) {
        BYTE index = 0;
        FreeImage_GetPixelIndex(dib, x, h - 1 - y, &index);
        const RGBQUAD* palette = FreeImage_GetPalette(dib);
        return {palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue, 255};
    }
    FreeImage_GetPixelColor(dib, x, h - 1 - y, &q);
    return {q.rgbRed, q.rgbGreen, q.rgbBlue, bpp == 32 ? q.rgbReserved : std::uint8_t{255}};
}

bool SavePicture(const TDib& dib, FREE_IMAGE_FORMAT format, const std::string& path, int flags) {
    return FreeImage_Save(format, dib.get(), path.c_str(), flags) != FALSE;
}

TDib LoadPicture(const std::string& path) {
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN)
        return TDib();
    return TDib(FreeImage_Load(format, path.c_str(), 0));
}

void AddExifOrientation(const std::string& path, int orientation, bool bigEndian) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8) {
        throw std::runtime_error("not a JPEG file");
    }
    const auto value = static_cast<unsigned char>(orientation);
    // APP1 "Exif" (length 34): a TIFF header and one IFD with one entry,
    // Orientation, SHORT, 1, and no next IFD.
    const std::vector<unsigned char> little = {
        0xFF, 0xE1, 0x00, 0x22, 'E',   'x',  'i',  'f',  0,    0,    'I',  'I',
        0x2A, 0x00, 0x08, 0x00, 0x00,  0x00, 0x01, 0x00, 0x12, 0x01, 0x03, 0x00,
        0x01, 0x00, 0x00, 0x00, value, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<unsigned char> big = {0xFF, 0xE1, 0x00,  0x22, 'E',  'x',  'i',  'f',  0,
                                            0,    'M',  'M',   0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,
                                            0x00, 0x01, 0x01,  0x12, 0x00, 0x03, 0x00, 0x00, 0x00,
                                            0x01, 0x00, value, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<unsigned char>& app1 = bigEndian ? big : little;
    bytes.insert(bytes.begin() + 2, std::begin(app1), std::end(app1));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
