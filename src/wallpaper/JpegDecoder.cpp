#include "wallpaper/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs the standard types declared first.
#include <jpeglib.h>

#include <jerror.h>

namespace {

// libjpeg ends on a fatal error by calling error_exit, which must not
// return: it jumps back into DecodeJpeg. Warnings (a stream ending early is
// one) are noted rather than printed.
struct TErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool truncated;
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TErrors*>(cinfo->err)->jump, 1);
}

void NoteMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        auto* errors = reinterpret_cast<TErrors*>(cinfo->err);
        if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
            errors->truncated = true;
        }
        ++cinfo->err->num_warnings;
    }
}

struct TFile {
    std::FILE* file;
    ~TFile() {
        if (file) {
            std::fclose(file);
        }
    }
};

// Everything between setjmp and the end of decoding lives here, with no
// destructor a jump would skip: the caller releases it.
struct TDecoding {
    jpeg_decompress_struct cinfo;
    TErrors errors;
    FIBITMAP* dib = nullptr;
    JSAMPLE* row = nullptr;
};

TJpegDecode Run(TDecoding& d, std::FILE* file, int eighths, TPixelRect part,
                std::int64_t maxPixels) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    if (setjmp(d.errors.jump)) {
        return TJpegDecode::kDamaged;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<std::int64_t>(cinfo.image_width) * cinfo.image_height > maxPixels) {
        return TJpegDecode::kDamaged;
    }
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK ||
        cinfo.jpeg_color_space == JCS_UNKNOWN || cinfo.num_components == 2 ||
        cinfo.num_components > 3) {
        return TJpegDecode::kNotTaken;
    }
    // The pixel order of FreeImage's 24-bit bitmaps on this host.
    cinfo.out_color_space = FI_RGBA_RED == 2 ? JCS_EXT_BGR : JCS_EXT_RGB;
    cinfo.scale_num = static_cast<unsigned>(eighths < 1 || eighths > 8 ? 8 : eighths);
    cinfo.scale_denom = 8;
    // As FreeImage decodes by default: the fast integer transform.
    cinfo.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    int left = 0;
    int top = 0;
    int shownWidth = width;
    int shownHeight = height;
    if (part.width > 0 && part.height > 0) {
        left = std::min(std::max(part.left, 0), width - 1);
        top = std::min(std::max(part.top, 0), height - 1);
        shownWidth = std::min(part.width, width - left);
        shownHeight = std::min(part.height, height - top);
    }
    JDIMENSION cropLeft = static_cast<JDIMENSION>(left);
    JDIMENSION cropWidth = static_cast<JDIMENSION>(shownWidth);
    if (shownWidth < width) {
        // Widened to whole blocks: cropLeft <= left, and the crop covers the part.
        jpeg_crop_scanline(&cinfo, &cropLeft, &cropWidth);
    }
    d.dib = FreeImage_Allocate(shownWidth, shownHeight, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                               FI_RGBA_BLUE_MASK);
    d.row = static_cast<JSAMPLE*>(std::malloc(static_cast<std::size_t>(cinfo.output_width) *
                                              static_cast<std::size_t>(cinfo.output_components)));
    if (!d.dib || !d.row || cinfo.output_components != 3) {
        return TJpegDecode::kDamaged;
    }
    if (top > 0 &&
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(top)) != static_cast<JDIMENSION>(top)) {
        return TJpegDecode::kDamaged;
    }
    const std::size_t offset = static_cast<std::size_t>(left) - cropLeft;
    for (int y = 0; y < shownHeight; ++y) {
        JSAMPROW rows[1] = {d.row};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1 || d.errors.truncated) {
            return TJpegDecode::kDamaged;
        }
        // FreeImage keeps the bottom row first.
        std::memcpy(FreeImage_GetScanLine(d.dib, shownHeight - 1 - y), d.row + offset * 3,
                    static_cast<std::size_t>(shownWidth) * 3);
    }
    return TJpegDecode::kDecoded;
}

}  // namespace

TJpegDecode DecodeJpeg(const std::string& path, int eighths, TPixelRect part,
                       std::int64_t maxPixels, FIBITMAP*& out) {
    out = nullptr;
    TFile file{std::fopen(path.c_str(), "rb")};
    if (!file.file) {
        return TJpegDecode::kDamaged;
    }
    // Zeroed, so that destroying what was never created does nothing.
    TDecoding d{};
    d.cinfo.err = jpeg_std_error(&d.errors.manager);
    d.errors.manager.error_exit = JumpOut;
    d.errors.manager.emit_message = NoteMessage;
    d.errors.truncated = false;
    const TJpegDecode result = Run(d, file.file, eighths, part, maxPixels);
    jpeg_destroy_decompress(&d.cinfo);
    std::free(d.row);
    if (result == TJpegDecode::kDecoded) {
        out = d.dib;
    } else if (d.dib) {
        FreeImage_Unload(d.dib);
    }
    return result;
}
