#pragma once

// Pictures made on the fly for the composer's tests, its fuzzer's seeds and
// its benchmark.

#include <FreeImage.h>

#include <cstdint>
#include <string>

struct TRgb {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const TRgb&) const = default;
};

// Owns one FreeImage handle.
class TDib {
public:
    explicit TDib(FIBITMAP* dib = nullptr) : dib_(dib) {}
    ~TDib() {
        if (dib_)
            FreeImage_Unload(dib_);
    }
    TDib(TDib&& other) noexcept : dib_(other.dib_) { other.dib_ = nullptr; }
    TDib& operator=(TDib&& other) noexcept {
        std::swap(dib_, other.dib_);
        return *this;
    }
    TDib(const TDib&) = delete;
    TDib& operator=(const TDib&) = delete;
    FIBITMAP* get() const { return dib_; }
    explicit operator bool() const { return dib_ != nullptr; }
    unsigned width() const { return FreeImage_GetWidth(dib_); }
    unsigned height() const { return FreeImage_GetHeight(dib_); }
    unsigned bpp() const { return FreeImage_GetBPP(dib_); }

private:
    FIBITMAP* dib_;
};

// A 24- or 32-bit picture of one colour.
TDib SolidPicture(int width, int height, TRgb color, int bpp = 24);
// A smooth, photograph-like 24-bit picture: gradients and soft waves.
TDib PhotoPicture(int width, int height, unsigned seed = 1);
// Paints the rectangle (x, y from the top) of a 24- or 32-bit picture.
void FillRect(FIBITMAP* dib, int x, int y, int width, int height, TRgb color);

// The pixel at (x, y), y counted from the top, of a picture of any depth.
TRgb PixelAt(FIBITMAP* dib, int x, int y);

bool SavePicture(const TDib& dib, FREE_IMAGE_FORMAT format, const std::string& path, int flags = 0);
TDib LoadPicture(const std::string& path);

// Inserts an EXIF block carrying `orientation` (1 to 8) right after the start
// marker of the JPEG file `path`, in Intel or (`bigEndian`) Motorola order.
void AddExifOrientation(const std::string& path, int orientation, bool bigEndian = false);
