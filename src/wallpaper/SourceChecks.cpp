#include "wallpaper/SourceChecks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "wallpaper/FreeBitmap.h"

namespace {

bool ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    return ::pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

bool PngChunksFit(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return true;  // the decoder reports what cannot be opened
    }
    struct stat info {};
    bool fits = true;
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8];
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadAt(fd, head, 8, 0) &&
        std::memcmp(head, kSignature, 8) == 0) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        // Every chunk is a length, a type, the data and a checksum; the walk
        // reads 8 bytes per chunk and ends at IEND or at the end of the file.
        for (std::uint64_t at = 8; at + 8 <= size;) {
            if (!ReadAt(fd, head, 8, at)) {
                break;
            }
            const std::uint32_t length = BigEndian32(head);
            if (length > 0x7FFFFFFFu || at + 12 + length > size) {
                fits = false;
                break;
            }
            if (std::memcmp(head + 4, "IEND", 4) == 0) {
                break;
            }
            at += 12 + std::uint64_t{length};
        }
    }
    ::close(fd);
    return fits;
}

bool FlattenOnto(TFreeBitmap& image, TColor fillColor) {
    FIBITMAP* dib = image.Dib();
    if (!dib || FreeImage_GetImageType(dib) != FIT_BITMAP) {
        return true;
    }
    const unsigned bpp = FreeImage_GetBPP(dib);
    const bool transparent = FreeImage_IsTransparent(dib);
    if (bpp == 32 && !transparent) {
        return image.Replace(FreeImage_ConvertTo24Bits(dib));
    }
    if (!transparent || (bpp != 32 && FreeImage_GetTransparencyCount(dib) == 0)) {
        return true;
    }
    TFreeBitmap rgba;
    if (bpp != 32 && !rgba.Replace(FreeImage_ConvertTo32Bits(dib))) {
        return false;
    }
    FIBITMAP* source = bpp == 32 ? dib : rgba.Dib();
    const unsigned width = FreeImage_GetWidth(source);
    const unsigned height = FreeImage_GetHeight(source);
    FIBITMAP* flat = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24);
    if (!flat) {
        return false;
    }
    const int channel[3] = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE};
    const unsigned fill[3] = {fillColor & 0xFF, (fillColor >> 8) & 0xFF, (fillColor >> 16) & 0xFF};
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* in = FreeImage_GetScanLine(source, static_cast<int>(y));
        BYTE* out = FreeImage_GetScanLine(flat, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, in += 4, out += 3) {
            const unsigned alpha = in[FI_RGBA_ALPHA];
            for (int c = 0; c < 3; ++c) {
                const int at = channel[c];
                out[at] = static_cast<BYTE>((in[at] * alpha + fill[c] * (255 - alpha) + 127) / 255);
            }
        }
    }
    return image.Replace(flat);
}
