#include "wallpaper/JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

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
    // Why the decode stops or the picture is refused; empty: decoded whole.
    const char* damage;
    jpeg_progress_mgr progress;
    const TDecodeBudget* budget;
    unsigned generation;
    double cpuStart;
    const char* overrun;  // the budget overrun that stopped the decoder
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TErrors*>(cinfo->err)->jump, 1);
}

void NoteMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        auto* errors = reinterpret_cast<TErrors*>(cinfo->err);
        // A stream that ends early, or whose data stops at a marker (a file
        // cut short and closed with an end marker): the decoder fills the
        // rest with grey, and a wallpaper with a grey lower part is no
        // wallpaper.
        if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER) {
            errors->damage = "is cut short: its data ends before the picture does";
        }
        ++cinfo->err->num_warnings;
    }
}

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Called by the decoder every few rows of every scan: the place to stop a
// picture that repeats its scans, or takes too long, or is abandoned.
void CheckProgress(j_common_ptr common) {
    auto* errors = reinterpret_cast<TErrors*>(common->err);
    const auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number > errors->budget->maxJpegScans) {
        errors->overrun = "repeats its scans more often than any photograph does";
    } else if (DecodeGeneration() != errors->generation) {
        errors->overrun = "was given up: the program is ending";
    } else if (ThreadCpuSeconds() - errors->cpuStart > errors->budget->cpuSeconds) {
        errors->overrun = "took more than its CPU time to decode";
    }
    if (errors->overrun) {
        std::longjmp(errors->jump, 1);
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
    JSAMPLE* row = nullptr;
};

TJpegDecode Run(TDecoding& d, std::FILE* file, int eighths, const TDecodeBudget& budget,
                TJpegRows& rows, std::string& refusal) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    if (setjmp(d.errors.jump)) {
        if (d.errors.overrun) {
            refusal = d.errors.overrun;
        } else {
            char text[JMSG_LENGTH_MAX] = {};
            cinfo.err->format_message(reinterpret_cast<j_common_ptr>(&cinfo), text);
            refusal = std::string("is damaged: ") + text;
        }
        return TJpegDecode::kRefused;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &d.errors.progress;
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    // No string of this function's own may live here: a jump would skip
    // its destructor.
    // A progressive picture keeps every coefficient, two bytes a sample,
    // besides the decoded rows.
    refusal = OverBudget(
        {static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height)},
        static_cast<unsigned>((cinfo.progressive_mode ? 24 : 8) * cinfo.num_components), budget);
    if (!refusal.empty()) {
        return TJpegDecode::kRefused;
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
    TPixelRect part;
    if (const char* reason = rows.Start(width, height, part)) {
        refusal = reason;
        return TJpegDecode::kRefused;
    }
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
    d.row = static_cast<JSAMPLE*>(std::malloc(static_cast<std::size_t>(cinfo.output_width) *
                                              static_cast<std::size_t>(cinfo.output_components)));
    if (!d.row || cinfo.output_components != 3) {
        refusal = "cannot be decoded: out of memory";
        return TJpegDecode::kRefused;
    }
    if (top > 0 &&
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(top)) != static_cast<JDIMENSION>(top)) {
        refusal = "is cut short: its data ends before the picture does";
        return TJpegDecode::kRefused;
    }
    const std::size_t offset = static_cast<std::size_t>(left) - cropLeft;
    for (int y = 0; y < shownHeight; ++y) {
        JSAMPROW scanlines[1] = {d.row};
        if (jpeg_read_scanlines(&cinfo, scanlines, 1) != 1 || d.errors.damage) {
            refusal = d.errors.damage ? d.errors.damage
                                      : "is cut short: its data ends before the picture does";
            return TJpegDecode::kRefused;
        }
        if (!rows.Row(d.row + offset * 3)) {
            return TJpegDecode::kStopped;
        }
    }
    return TJpegDecode::kDecoded;
}

// The rows kept in a bitmap of the part, bottom row first as FreeImage keeps them.
class TBitmapRows final : public TJpegRows {
public:
    explicit TBitmapRows(TPixelRect part) : part_(part) {}
    ~TBitmapRows() {
        if (dib) {
            FreeImage_Unload(dib);
        }
    }
    TBitmapRows(const TBitmapRows&) = delete;
    TBitmapRows& operator=(const TBitmapRows&) = delete;

    const char* Start(int width, int height, TPixelRect& part) override {
        part = part_;
        int shownWidth = width;
        int shownHeight = height;
        if (part.width > 0 && part.height > 0) {
            const int left = std::min(std::max(part.left, 0), width - 1);
            const int top = std::min(std::max(part.top, 0), height - 1);
            shownWidth = std::min(part.width, width - left);
            shownHeight = std::min(part.height, height - top);
        }
        dib = FreeImage_Allocate(shownWidth, shownHeight, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                 FI_RGBA_BLUE_MASK);
        next_ = shownHeight - 1;
        rowBytes_ = static_cast<std::size_t>(shownWidth) * 3;
        return dib ? nullptr : "cannot be decoded: out of memory";
    }
    bool Row(const std::uint8_t* pixels) override {
        if (next_ < 0) {
            return false;
        }
        std::memcpy(FreeImage_GetScanLine(dib, next_--), pixels, rowBytes_);
        return true;
    }

    FIBITMAP* dib = nullptr;

private:
    TPixelRect part_;
    int next_ = -1;
    std::size_t rowBytes_ = 0;
};

TJpegDecode Decode(const std::string& path, int eighths, const TDecodeBudget& budget,
                   TJpegRows& rows, std::string& refusal) {
    TFile file{std::fopen(path.c_str(), "rb")};
    if (!file.file) {
        refusal = "cannot be read";
        return TJpegDecode::kRefused;
    }
    // Zeroed, so that destroying what was never created does nothing.
    TDecoding d{};
    d.cinfo.err = jpeg_std_error(&d.errors.manager);
    d.errors.manager.error_exit = JumpOut;
    d.errors.manager.emit_message = NoteMessage;
    d.errors.progress.progress_monitor = CheckProgress;
    d.errors.budget = &budget;
    d.errors.generation = DecodeGeneration();
    d.errors.cpuStart = ThreadCpuSeconds();
    const TJpegDecode result = Run(d, file.file, eighths, budget, rows, refusal);
    jpeg_destroy_decompress(&d.cinfo);
    std::free(d.row);
    return result;
}

}  // namespace

TJpegDecode DecodeJpeg(const std::string& path, int eighths, TPixelRect part,
                       const TDecodeBudget& budget, FIBITMAP*& out, std::string& refusal) {
    out = nullptr;
    TBitmapRows rows(part);
    const TJpegDecode result = Decode(path, eighths, budget, rows, refusal);
    if (result == TJpegDecode::kDecoded) {
        std::swap(out, rows.dib);
    }
    return result;
}

TJpegDecode StreamJpeg(const std::string& path, int eighths, const TDecodeBudget& budget,
                       TJpegRows& rows, std::string& refusal) {
    return Decode(path, eighths, budget, rows, refusal);
}
