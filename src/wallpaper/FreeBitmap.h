#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "wallpaper/WallpaperTypes.h"

// Raised when pixels cannot be taken over from a display bitmap.
class EFreeBitmapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A bitmap in the display's own layout, as the windowing system hands one
// out: rows top-down, 24 or 32 bits per pixel, bytes blue, green, red (and a
// fourth, unused by the display) in each pixel, rows padded to `stride` bytes.
struct TScreenBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;
};

// A display-compatible bitmap of the given size and depth (24, or 32 for any
// other value) painted over its whole area with `color` (0x00BBGGRR). The
// fourth byte of a 32-bit pixel is set opaque, so that viewers that read it as
// alpha show the colour.
TScreenBitmap MakeSolidScreenBitmap(int width, int height, int bitsPerPixel, TColor color);

// Base of the image objects.
class TFreeObject {
public:
    virtual ~TFreeObject() = default;
    virtual bool IsValid() const { return false; }
};

// Owns at most one FreeImage image and unloads it when it is replaced or
// when the object goes.
class TFreeBitmap : public TFreeObject {
public:
    using TNotifyEvent = std::function<void(TFreeBitmap& sender)>;

    explicit TFreeBitmap(FREE_IMAGE_TYPE imageType = FIT_BITMAP, int width = 0, int height = 0,
                         int bpp = 0);
    ~TFreeBitmap() override;
    TFreeBitmap(const TFreeBitmap&) = delete;
    TFreeBitmap& operator=(const TFreeBitmap&) = delete;

    bool IsValid() const override { return FDib != nullptr; }
    FIBITMAP* Dib() const { return FDib; }

    bool SetSize(FREE_IMAGE_TYPE imageType, int width, int height, int bpp, unsigned redMask = 0,
                 unsigned greenMask = 0, unsigned blueMask = 0);
    // Reads `fileName` in the format its content shows (or, failing that, its
    // extension); false leaves the image untouched when no reader takes it.
    bool Load(const std::string& fileName, int flags = 0);
    // Writes in the format the extension of `fileName` names, when that
    // writer takes this image's type and depth.
    bool Save(const std::string& fileName, int flags = 0) const;

    unsigned GetWidth() const;
    unsigned GetHeight() const;

    // Takes ownership of `dib`; a null handle changes nothing and gives false.
    bool Replace(FIBITMAP* dib);
    void Clear();
    // Gives up the image without unloading it; the caller owns the handle.
    FIBITMAP* Release();
    // Becomes a copy of `other`, or empty when `other` is missing or empty.
    void Assign(const TFreeBitmap* other);

    bool ConvertTo8Bits();
    bool ConvertTo24Bits();
    bool ConvertToGrayscale();
    // Scales with `filter`; the result replaces `target` when given, this
    // image otherwise. Images below 8 bits per pixel become grey first, those
    // of 16 bits 24-bit colour.
    bool Rescale(int newWidth, int newHeight, FREE_IMAGE_FILTER filter,
                 TFreeBitmap* target = nullptr);
    bool Paste(const TFreeBitmap& source, int left, int top, int alpha);
    // Takes over the pixels of a display bitmap. A null bitmap gives false;
    // one whose pixels cannot be copied raises EFreeBitmapError.
    bool CopyFromBitmap(const TScreenBitmap* bitmap);

    TNotifyEvent OnChange;

protected:
    void Change();

    FIBITMAP* FDib = nullptr;
};

// Adds a display copy of the image, owned when FDeleteMe is set.
class TFreeWinBitmap : public TFreeBitmap {
public:
    using TFreeBitmap::TFreeBitmap;
    ~TFreeWinBitmap() override;

protected:
    FIBITMAP* FDisplayDib = nullptr;
    bool FDeleteMe = false;
};
