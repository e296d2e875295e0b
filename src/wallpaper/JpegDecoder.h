#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/DecodeBudget.h"

// JPEG pictures decoded straight into 24-bit bitmaps by libjpeg, shrunk to
// `eighths` / 8 of their size while decoding (1 to 8; the decoder rounds the
// shrunk sides up) and, where only part of the picture is shown, decoding no
// more than the rows and columns of `part` (in the shrunk picture's pixels,
// top row first; an empty part is the whole picture). Rows above the part
// are skipped, columns outside it are not converted.
//
// The decode keeps to `budget`: pixels and bytes from the header, before
// anything is allocated; its thread's CPU time and the number of scans,
// checked as the decoder goes. It gives up when the decodes running are
// abandoned (the program ends).
enum class TJpegDecode {
    kDecoded,   // `out` holds the picture (or its part)
    kNotTaken,  // a kind this decoder leaves to FreeImage (CMYK, YCCK)
    kRefused,   // not a JPEG, damaged, cut short or over its budget: `refusal` says which
    kStopped,   // the rows' taker stopped the decode
};

TJpegDecode DecodeJpeg(const std::string& path, int eighths, TPixelRect part,
                       const TDecodeBudget& budget, FIBITMAP*& out, std::string& refusal);

// What a JPEG's header tells before any pixel is decoded: the picture's size
// as stored, the bits of one decoded pixel (8 a sample) and the EXIF
// orientation (1 to 8; 1 when none is given). Read in this process: reading
// the markers up to the first scan is bounded by the file's length.
struct TJpegHeader {
    int width = 0;
    int height = 0;
    unsigned bitsPerPixel = 0;
    int orientation = 1;
};

// False when `path` has no readable JPEG header; the decoder then judges the
// file.
bool ReadJpegHeader(const std::string& path, TJpegHeader& header);

// Takes a JPEG picture's rows as they are decoded, so that no bitmap of the
// whole picture need exist.
class TJpegRows {
public:
    // The picture's size as decoded (after shrinking), before any row;
    // `part` is set to the rows and columns wanted (empty: all). A reason
    // refuses the picture; null goes on.
    virtual const char* Start(int width, int height, TPixelRect& part) = 0;
    // The next row of the part, top first: its pixels' bytes in the order of
    // FreeImage's 24-bit bitmaps.
    // False stops the decode.
    virtual bool Row(const std::uint8_t* pixels) = 0;

protected:
    ~TJpegRows() = default;
};

// Decodes as DecodeJpeg does, handing each row to `rows` instead of keeping it.
TJpegDecode StreamJpeg(const std::string& path, int eighths, const TDecodeBudget& budget,
                       TJpegRows& rows, std::string& refusal);

// The rows of `part` (empty: all) kept in a 24-bit bitmap, bottom row first
// as FreeImage keeps them; `dib` holds it once every row has come.
class TBitmapRows final : public TJpegRows {
public:
    explicit TBitmapRows(TPixelRect part) : part_(part) {}
    ~TBitmapRows();
    TBitmapRows(const TBitmapRows&) = delete;
    TBitmapRows& operator=(const TBitmapRows&) = delete;

    const char* Start(int width, int height, TPixelRect& part) override;
    bool Row(const std::uint8_t* pixels) override;

    FIBITMAP* dib = nullptr;

private:
    TPixelRect part_;
    int next_ = -1;
    std::size_t rowBytes_ = 0;
};
