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

// The orientation an EXIF block gives its picture (tag 0x0112 of the first
// directory, one SHORT from 1 to 8); 1 when it gives none.
int ExifOrientation(const JOCTET* data, unsigned length) {
    static constexpr unsigned char kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    if (length < 6 + 8 || std::memcmp(data, kExif, 6) != 0) {
        return 1;
    }
    const JOCTET* tiff = data + 6;
    const std::size_t size = length - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) {
        return 1;
    }
    auto u16 = [&](std::size_t at) -> unsigned {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? u16(at) | std::uint32_t{u16(at + 2)} << 16
                      : std::uint32_t{u16(at)} << 16 | u16(at + 2);
    };
    const std::uint32_t directory = u32(4);
    if (directory > size - 2) {
        return 1;
    }
    const unsigned entries = u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + std::size_t{i} * 12;
        if (entry + 12 > size) {
            break;
        }
        if (u16(entry) == 0x0112) {
            const unsigned value = u16(entry + 8);
            return u16(entry + 2) == 3 && u32(entry + 4) >= 1 && value >= 1 && value <= 8
                       ? static_cast<int>(value)
                       : 1;
        }
    }
    return 1;
}

struct THeaderReading {
    jpeg_decompress_struct cinfo;
    TErrors errors;
};

bool ReadHeaderInto(THeaderReading& r, std::FILE* file, TJpegHeader& header) {
    jpeg_decompress_struct& cinfo = r.cinfo;
    if (setjmp(r.errors.jump)) {
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    header.width = static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, 0x7FFFFFFF));
    header.height = static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, 0x7FFFFFFF));
    header.bitsPerPixel = static_cast<unsigned>(8 * cinfo.num_components);
    header.orientation = 1;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
            std::memcmp(m->data, "Exif\0", 6) == 0) {
            header.orientation = ExifOrientation(m->data, m->data_length);
            break;
        }
    }
    return true;
}

}  // namespace

bool ReadJpegHeader(const std::string& path, TJpegHeader& header) {
    TFile file{std::fopen(path.c_str(), "rb")};
    if (!file.file) {
        return false;
    }
    THeaderReading r{};
    r.cinfo.err = jpeg_std_error(&r.errors.manager);
    r.errors.manager.error_exit = JumpOut;
    r.errors.manager.emit_message = NoteMessage;
    const bool read = ReadHeaderInto(r, file.file, header);
    jpeg_destroy_decompress(&r.cinfo);
    return read && header.width > 0 && header.height > 0;
}

TBitmapRows::~TBitmapRows() {
    if (dib) {
        FreeImage_Unload(dib);
    }
}

const char* TBitmapRows::Start(int width, int height, TPixelRect& part) {
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

bool TBitmapRows::Row(const std::uint8_t* pixels) {
    if (next_ < 0) {
        return false;
    }
    std::memcpy(FreeImage_GetScanLine(dib, next_--), pixels, rowBytes_);
    return true;
}

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
