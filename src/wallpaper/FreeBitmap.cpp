#include "wallpaper/FreeBitmap.h"

#include <cstring>

#include "wallpaper/FastRescale.h"

TScreenBitmap MakeSolidScreenBitmap(int width, int height, int bitsPerPixel, TColor color) {
    TScreenBitmap bitmap;
    if (width <= 0 || height <= 0) {
        return bitmap;
    }
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitsPerPixel = bitsPerPixel == 24 ? 24 : 32;
    const std::size_t bytesPerPixel = static_cast<std::size_t>(bitmap.bitsPerPixel) / 8;
    bitmap.stride = (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
    bitmap.bits.resize(bitmap.stride * static_cast<std::size_t>(height));
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>((color >> 16) & 0xFF),
                                   static_cast<std::uint8_t>((color >> 8) & 0xFF),
                                   static_cast<std::uint8_t>(color & 0xFF), 0xFF};
    std::uint8_t* first = bitmap.bits.data();
    for (int x = 0; x < width; ++x) {
        std::memcpy(first + static_cast<std::size_t>(x) * bytesPerPixel, pixel, bytesPerPixel);
    }
    for (int y = 1; y < height; ++y) {
        std::memcpy(first + bitmap.stride * static_cast<std::size_t>(y), first, bitmap.stride);
    }
    return bitmap;
}

TFreeBitmap::TFreeBitmap(FREE_IMAGE_TYPE imageType, int width, int height, int bpp) {
    if (width > 0 && height > 0 && bpp > 0) {
        SetSize(imageType, width, height, bpp);
    }
}

TFreeBitmap::~TFreeBitmap() {
    if (FDib) {
        FreeImage_Unload(FDib);
    }
}

void TFreeBitmap::Change() {
    if (OnChange) {
        OnChange(*this);
    }
}

bool TFreeBitmap::SetSize(FREE_IMAGE_TYPE imageType, int width, int height, int bpp,
                          unsigned redMask, unsigned greenMask, unsigned blueMask) {
    if (FDib) {
        FreeImage_Unload(FDib);
        FDib = nullptr;
    }
    FDib = FreeImage_AllocateT(imageType, width, height, bpp, redMask, greenMask, blueMask);
    if (!FDib) {
        return false;
    }
    if (imageType == FIT_BITMAP && (bpp == 1 || bpp == 4 || bpp == 8)) {
        RGBQUAD* palette = FreeImage_GetPalette(FDib);
        const unsigned colors = FreeImage_GetColorsUsed(FDib);
        for (unsigned i = 0; palette && i < colors; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    Change();
    return true;
}

bool TFreeBitmap::Load(const std::string& fileName, int flags) {
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(fileName.c_str(), 0);
    if (format == FIF_UNKNOWN) {
        format = FreeImage_GetFIFFromFilename(fileName.c_str());
    }
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        return false;
    }
    if (FDib) {
        FreeImage_Unload(FDib);
    }
    FDib = FreeImage_Load(format, fileName.c_str(), flags);
    Change();
    return IsValid();
}

bool TFreeBitmap::Save(const std::string& fileName, int flags) const {
    if (!FDib) {
        return false;
    }
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(fileName.c_str());
    if (format == FIF_UNKNOWN) {
        return false;
    }
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(FDib);
    bool allowed = false;
    if (type == FIT_BITMAP) {
        allowed = FreeImage_FIFSupportsWriting(format) &&
                  FreeImage_FIFSupportsExportBPP(format, static_cast<int>(FreeImage_GetBPP(FDib)));
    } else {
        allowed = FreeImage_FIFSupportsExportType(format, type);
    }
    if (!allowed) {
        return false;
    }
    return FreeImage_Save(format, FDib, fileName.c_str(), flags) != FALSE;
}

unsigned TFreeBitmap::GetWidth() const {
    return FDib ? FreeImage_GetWidth(FDib) : 0;
}

unsigned TFreeBitmap::GetHeight() const {
    return FDib ? FreeImage_GetHeight(FDib) : 0;
}

bool TFreeBitmap::Replace(FIBITMAP* dib) {
    if (!dib) {
        return false;
    }
    if (FDib && FDib != dib) {
        FreeImage_Unload(FDib);
    }
    FDib = dib;
    Change();
    return true;
}

void TFreeBitmap::Clear() {
    if (FDib) {
        FreeImage_Unload(FDib);
        FDib = nullptr;
        Change();
    }
}

FIBITMAP* TFreeBitmap::Release() {
    FIBITMAP* dib = FDib;
    if (dib) {
        FDib = nullptr;
        Change();
    }
    return dib;
}

void TFreeBitmap::Assign(const TFreeBitmap* other) {
    if (other == this) {
        return;
    }
    if (!other || !other->IsValid()) {
        Clear();
        return;
    }
    Replace(FreeImage_Clone(other->FDib));
}

bool TFreeBitmap::ConvertTo8Bits() {
    return FDib ? Replace(FreeImage_ConvertTo8Bits(FDib)) : false;
}

bool TFreeBitmap::ConvertTo24Bits() {
    return FDib ? Replace(FreeImage_ConvertTo24Bits(FDib)) : false;
}

bool TFreeBitmap::ConvertToGrayscale() {
    if (!FDib) {
        return false;
    }
    const FREE_IMAGE_COLOR_TYPE colorType = FreeImage_GetColorType(FDib);
    if (colorType == FIC_PALETTE || colorType == FIC_MINISWHITE) {
        return ConvertTo24Bits() && ConvertTo8Bits();
    }
    if (FreeImage_GetBPP(FDib) == 8) {
        return false;
    }
    return ConvertTo8Bits();
}

bool TFreeBitmap::Rescale(int newWidth, int newHeight, FREE_IMAGE_FILTER filter,
                          TFreeBitmap* target) {
    if (!FDib) {
        return false;
    }
    const unsigned bpp = FreeImage_GetBPP(FDib);
    if (bpp < 8) {
        // The scaler needs 8 bits or more. A picture of a few colours keeps
        // them: only black-and-white and grey pictures become grey.
        const bool colours = FreeImage_GetColorType(FDib) == FIC_PALETTE;
        if (!(colours ? ConvertTo24Bits() : ConvertToGrayscale())) {
            return false;
        }
    } else if (bpp == 16) {
        if (!ConvertTo24Bits()) {
            return false;
        }
    }
    // Colour pictures take the faster resampler of the same kernel; anything
    // it does not handle goes to FreeImage.
    FIBITMAP* scaled =
        filter == FILTER_LANCZOS3 ? RescaleLanczos3(FDib, newWidth, newHeight) : nullptr;
    if (!scaled) {
        scaled = FreeImage_Rescale(FDib, newWidth, newHeight, filter);
    }
    return (target ? target : this)->Replace(scaled);
}

bool TFreeBitmap::Paste(const TFreeBitmap& source, int left, int top, int alpha) {
    if (!FDib || !source.FDib) {
        return false;
    }
    const bool pasted = FreeImage_Paste(FDib, source.FDib, left, top, alpha) != FALSE;
    Change();
    return pasted;
}

bool TFreeBitmap::CopyFromBitmap(const TScreenBitmap* bitmap) {
    if (!bitmap) {
        return false;
    }
    const int bpp = bitmap->bitsPerPixel;
    const std::size_t rowBytes =
        static_cast<std::size_t>(bitmap->width) * static_cast<std::size_t>(bpp / 8);
    const bool readable =
        bitmap->width > 0 && bitmap->height > 0 && (bpp == 24 || bpp == 32) &&
        bitmap->stride >= rowBytes &&
        bitmap->bits.size() >= bitmap->stride * static_cast<std::size_t>(bitmap->height);
    if (!readable || !SetSize(FIT_BITMAP, bitmap->width, bitmap->height, bpp, 0, 0, 0)) {
        throw EFreeBitmapError("Error: GetDIBits failed");
    }
    // FreeImage keeps the bottom row first.
    for (int y = 0; y < bitmap->height; ++y) {
        std::memcpy(FreeImage_GetScanLine(FDib, bitmap->height - 1 - y),
                    bitmap->bits.data() + bitmap->stride * static_cast<std::size_t>(y), rowBytes);
    }
    return true;
}

TFreeWinBitmap::~TFreeWinBitmap() {
    if (FDeleteMe && FDisplayDib) {
        FreeImage_Unload(FDisplayDib);
    }
}
