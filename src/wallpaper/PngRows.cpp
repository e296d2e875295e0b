#include "wallpaper/PngRows.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Everything between setjmp and the end of decoding lives here, with no
// destructor a jump would skip: the caller releases it.
struct TDecoding {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    png_bytep row = nullptr;
    char message[200] = {};
};

// libpng ends on an error by calling this, which must not return: it jumps
// back into Run with the message kept. Warnings are not printed.
[[noreturn]] void Fail(png_structp png, png_const_charp message) {
    auto* d = static_cast<TDecoding*>(png_get_error_ptr(png));
    std::snprintf(d->message, sizeof d->message, "%s", message ? message : "unknown damage");
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

TJpegDecode Run(TDecoding& d, const TDecodeBudget& budget, TJpegRows& rows, std::string& refusal) {
    if (setjmp(png_jmpbuf(d.png))) {
        refusal = d.message[0] ? d.message : "unknown damage";
        refusal.insert(0, "is damaged: ");
        return TJpegDecode::kRefused;
    }
    png_init_io(d.png, d.file);
    // The chunks before the pixels may not ask for more than a picture's
    // header plausibly needs (a text chunk of gigabytes, say).
    png_set_chunk_malloc_max(d.png, 8u << 20);
    png_read_info(d.png, d.info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    int interlace = 0;
    png_get_IHDR(d.png, d.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    refusal = OverBudget({static_cast<int>(std::min<png_uint_32>(width, 0x7FFFFFFF)),
                          static_cast<int>(std::min<png_uint_32>(height, 0x7FFFFFFF))},
                         24, budget);
    if (!refusal.empty()) {
        return TJpegDecode::kRefused;
    }
    // Transparency is laid over the fill colour, interlaced rows come in
    // passes, and a gamma other than the screen's is corrected: all that is
    // left to the whole decoder.
    double gamma = 0;
    const bool otherGamma =
        png_get_gAMA(d.png, d.info, &gamma) != 0 && gamma > 0 && std::fabs(gamma * 2.2 - 1) > 0.01;
    if ((colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0 ||
        interlace != PNG_INTERLACE_NONE || otherGamma) {
        return TJpegDecode::kNotTaken;
    }
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(d.png);
    } else if (colour == PNG_COLOR_TYPE_GRAY) {
        png_set_expand_gray_1_2_4_to_8(d.png);
        png_set_gray_to_rgb(d.png);
    }
    png_set_strip_16(d.png);
    // The byte order of FreeImage's 24-bit bitmaps on this host.
    if (FI_RGBA_RED == 2) {
        png_set_bgr(d.png);
    }
    png_read_update_info(d.png, d.info);
    if (png_get_channels(d.png, d.info) != 3 || png_get_bit_depth(d.png, d.info) != 8) {
        return TJpegDecode::kNotTaken;
    }
    TPixelRect part;
    if (const char* reason = rows.Start(static_cast<int>(width), static_cast<int>(height), part)) {
        refusal = reason;
        return TJpegDecode::kRefused;
    }
    int left = 0;
    int top = 0;
    int shownHeight = static_cast<int>(height);
    if (part.width > 0 && part.height > 0) {
        left = std::clamp(part.left, 0, static_cast<int>(width) - 1);
        top = std::clamp(part.top, 0, static_cast<int>(height) - 1);
        shownHeight = std::min(part.height, static_cast<int>(height) - top);
    }
    d.row = static_cast<png_bytep>(std::malloc(png_get_rowbytes(d.png, d.info)));
    if (!d.row) {
        refusal = "cannot be decoded: out of memory";
        return TJpegDecode::kRefused;
    }
    const unsigned generation = DecodeGeneration();
    const double cpuStart = ThreadCpuSeconds();
    for (int y = 0; y < top + shownHeight; ++y) {
        png_read_row(d.png, d.row, nullptr);
        if (DecodeGeneration() != generation) {
            refusal = "was given up: the program is ending";
            return TJpegDecode::kRefused;
        }
        if (ThreadCpuSeconds() - cpuStart > budget.cpuSeconds) {
            refusal = "took more than its CPU time to decode";
            return TJpegDecode::kRefused;
        }
        if (y >= top && !rows.Row(d.row + static_cast<std::size_t>(left) * 3)) {
            return TJpegDecode::kStopped;
        }
    }
    return TJpegDecode::kDecoded;
}

}  // namespace

TJpegDecode StreamPng(const std::string& path, const TDecodeBudget& budget, TJpegRows& rows,
                      std::string& refusal) {
    TDecoding d;
    d.file = std::fopen(path.c_str(), "rb");
    if (!d.file) {
        refusal = "cannot be read";
        return TJpegDecode::kRefused;
    }
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, Fail, Ignore);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    TJpegDecode result = TJpegDecode::kRefused;
    if (d.info) {
        result = Run(d, budget, rows, refusal);
    } else {
        refusal = "cannot be decoded: out of memory";
    }
    png_destroy_read_struct(d.png ? &d.png : nullptr, d.info ? &d.info : nullptr, nullptr);
    std::free(d.row);
    std::fclose(d.file);
    return result;
}

TJpegDecode DecodePng(const std::string& path, TPixelRect part, const TDecodeBudget& budget,
                      FIBITMAP*& out, std::string& refusal) {
    out = nullptr;
    TBitmapRows rows(part);
    const TJpegDecode result = StreamPng(path, budget, rows, refusal);
    if (result == TJpegDecode::kDecoded) {
        std::swap(out, rows.dib);
    }
    return result;
}
