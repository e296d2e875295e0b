#include "wallpaper/DecodeBudget.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "wallpaper/FreeBitmap.h"
#include "wallpaper/FreeImageLibrary.h"

namespace {

std::atomic<unsigned> gGeneration{0};
std::mutex gChildrenLock;
std::set<pid_t> gChildren;

thread_local std::string tLastRefusal;

std::string SizeText(TPixelSize size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// A file's bytes, read a bounded piece at a time.
struct TFileBytes {
    int fd = -1;
    std::uint64_t size = 0;
    explicit TFileBytes(const std::string& path) {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        size = fd >= 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }
    ~TFileBytes() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    TFileBytes(const TFileBytes&) = delete;
    TFileBytes& operator=(const TFileBytes&) = delete;
    std::string Read(std::uint64_t offset, std::size_t count) const {
        std::string bytes(count, '\0');
        const ssize_t got =
            fd >= 0 ? ::pread(fd, bytes.data(), count, static_cast<off_t>(offset)) : -1;
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }
};

std::uint32_t Little16(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

std::uint32_t Little32(const std::string& b, std::size_t at) {
    return Little16(b, at) | Little16(b, at + 2) << 16;
}

std::string CutShort(const char* what) {
    return std::string("is cut short: its ") + what + " needs more bytes than the file holds";
}

// DDS: a 128-byte header, then the top mipmap, compressed in 4x4 blocks of
// 8 (DXT1) or 16 bytes, or plain pixels of the declared bit count.
TDeclaredSize ReadDds(const TFileBytes& file) {
    TDeclaredSize declared;
    const std::string h = file.Read(0, 128);
    if (h.size() < 128 || h.compare(0, 4, "DDS ") != 0) {
        declared.refusal = "has no complete DDS header";
        return declared;
    }
    const std::uint64_t height = Little32(h, 12);
    const std::uint64_t width = Little32(h, 16);
    const bool fourCC = (Little32(h, 80) & 0x4) != 0;
    const std::string code = h.substr(84, 4);
    const std::uint64_t bits = Little32(h, 88);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        declared.refusal = "declares no pixels";
        return declared;
    }
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    std::uint64_t data = 0;
    if (fourCC) {
        declared.bitsPerPixel = 32;
        data = ((width + 3) / 4) * ((height + 3) / 4) * (code == "DXT1" ? 8 : 16);
    } else {
        declared.bitsPerPixel = static_cast<unsigned>(std::clamp<std::uint64_t>(bits, 8, 32));
        data = (width * declared.bitsPerPixel + 7) / 8 * height;
    }
    if (file.size < 128 || data > file.size - 128) {
        declared.refusal = CutShort("pixel data");
    }
    return declared;
}

// XBM: C text, "#define name_width W", "#define name_height H", then the
// rows as hexadecimal byte values. FreeImage's reader loops for ever on a
// list cut short, so the values are counted here first.
TDeclaredSize ReadXbm(const TFileBytes& file) {
    TDeclaredSize declared;
    // The rows of 2^28 pixels take 32 MB of bits; written as text, about
    // six characters each.
    constexpr std::uint64_t kLongest = std::uint64_t{256} << 20;
    if (file.size > kLongest) {
        declared.refusal = "is longer than any XBM picture this program shows";
        return declared;
    }
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t values = 0;
    bool inList = false;
    std::string line;
    auto takeLine = [&] {
        if (!inList) {
            char name[256] = {};
            unsigned long long number = 0;
            if (std::sscanf(line.c_str(), " #define %255s %llu", name, &number) == 2) {
                const std::string n(name);
                const auto endsWith = [&n](const char* tail) {
                    const std::size_t t = std::strlen(tail);
                    return n.size() >= t && n.compare(n.size() - t, t, tail) == 0;
                };
                if (endsWith("width")) {
                    width = std::min<unsigned long long>(number, 0x7FFFFFFF);
                } else if (endsWith("height")) {
                    height = std::min<unsigned long long>(number, 0x7FFFFFFF);
                }
            }
        }
        std::size_t at = 0;
        if (!inList) {
            at = line.find('{');
            if (at == std::string::npos) {
                return;
            }
            inList = true;
        }
        for (; at + 1 < line.size(); ++at) {
            if (line[at] == '0' && (line[at + 1] == 'x' || line[at + 1] == 'X')) {
                ++values;
            }
        }
    };
    for (std::uint64_t offset = 0; offset < file.size;) {
        const std::string piece = file.Read(offset, 1 << 16);
        if (piece.empty()) {
            break;
        }
        offset += piece.size();
        for (const char c : piece) {
            if (c == '\n') {
                takeLine();
                line.clear();
            } else if (line.size() < 4096) {
                line += c;
            }
        }
    }
    takeLine();
    if (width == 0 || height == 0) {
        declared.refusal = "declares no width or height";
        return declared;
    }
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    declared.bitsPerPixel = 1;
    if (values < (width + 7) / 8 * height) {
        declared.refusal = CutShort("list of rows");
    }
    return declared;
}

// PBM, PGM, PPM: "P1" to "P6", width, height and (except for bitmaps) the
// largest value, as text separated by white space and comments; then the
// samples, as text (each at least one digit and a separator) or raw.
TDeclaredSize ReadPnm(const TFileBytes& file) {
    TDeclaredSize declared;
    const std::string h = file.Read(0, 4096);
    if (h.size() < 2 || h[0] != 'P' || h[1] < '1' || h[1] > '6') {
        declared.refusal = "has no PNM header";
        return declared;
    }
    const int kind = h[1] - '0';
    std::size_t at = 2;
    std::uint64_t numbers[3] = {0, 0, 0};
    const int count = kind == 1 || kind == 4 ? 2 : 3;
    for (int i = 0; i < count; ++i) {
        while (at < h.size() && (std::isspace(static_cast<unsigned char>(h[at])) || h[at] == '#')) {
            if (h[at] == '#') {
                while (at < h.size() && h[at] != '\n') {
                    ++at;
                }
            } else {
                ++at;
            }
        }
        if (at >= h.size() || !std::isdigit(static_cast<unsigned char>(h[at]))) {
            declared.refusal = "has no complete PNM header";
            return declared;
        }
        for (; at < h.size() && std::isdigit(static_cast<unsigned char>(h[at])); ++at) {
            numbers[i] = std::min<std::uint64_t>(numbers[i] * 10 + (h[at] - '0'), 0xFFFFFFFF);
        }
    }
    ++at;  // the single white space before raw samples
    const std::uint64_t width = numbers[0];
    const std::uint64_t height = numbers[1];
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
        declared.refusal = "declares no pixels";
        return declared;
    }
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    const std::uint64_t channels = kind == 3 || kind == 6 ? 3 : 1;
    const std::uint64_t sampleBytes = numbers[2] > 255 ? 2 : 1;
    declared.bitsPerPixel =
        kind == 1 || kind == 4 ? 1 : static_cast<unsigned>(channels * sampleBytes * 8);
    const std::uint64_t samples = width * height * channels;
    std::uint64_t needed = 0;
    if (kind == 4) {
        needed = (width + 7) / 8 * height;
    } else if (kind >= 5) {
        needed = samples * sampleBytes;
    } else {
        needed = kind == 1 ? samples : samples * 2 - 1;
    }
    const std::uint64_t left = file.size > at ? file.size - at : 0;
    if (needed > left) {
        declared.refusal = CutShort("pixel data");
    }
    return declared;
}

// Targa: an 18-byte header, an identification text, a colour map, then the
// pixels, plain or in run-length packets of at most 128 pixels each.
TDeclaredSize ReadTarga(const TFileBytes& file) {
    TDeclaredSize declared;
    const std::string h = file.Read(0, 18);
    if (h.size() < 18) {
        declared.refusal = "has no complete Targa header";
        return declared;
    }
    const unsigned type = static_cast<unsigned char>(h[2]);
    const std::uint64_t mapLength = Little16(h, 5);
    const std::uint64_t mapBits = static_cast<unsigned char>(h[7]);
    const std::uint64_t width = Little16(h, 12);
    const std::uint64_t height = Little16(h, 14);
    const unsigned depth = static_cast<unsigned char>(h[16]);
    if (width == 0 || height == 0 || depth == 0) {
        declared.refusal = "declares no pixels";
        return declared;
    }
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    declared.bitsPerPixel = std::clamp(depth, 8u, 32u);
    const std::uint64_t start =
        18 + static_cast<unsigned char>(h[0]) + (h[1] != 0 ? mapLength * ((mapBits + 7) / 8) : 0);
    const std::uint64_t left = file.size > start ? file.size - start : 0;
    const std::uint64_t pixels = width * height;
    const std::uint64_t pixelBytes = (depth + 7) / 8;
    const std::uint64_t needed =
        type >= 9 ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    if (needed > left) {
        declared.refusal = CutShort("pixel data");
    }
    return declared;
}

// PCX: a 128-byte header, then the rows, plain or in run-length packets
// of at most 63 bytes for every two bytes of the file.
// A PNG's first chunk, IHDR, gives its size, bit depth and colour type:
// read without the decoder, which would need a process of its own. A
// header out of order is left to the decoder to judge.
TDeclaredSize ReadPng(const TFileBytes& file) {
    TDeclaredSize declared;
    const std::string h = file.Read(0, 8 + 8 + 13);
    if (h.size() < 8 + 8 + 13 || h.compare(12, 4, "IHDR") != 0) {
        return declared;
    }
    auto big32 = [&h](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = value << 8 | static_cast<unsigned char>(h[at + i]);
        }
        return value;
    };
    const std::uint32_t width = big32(16);
    const std::uint32_t height = big32(20);
    const unsigned depth = static_cast<unsigned char>(h[24]);
    const unsigned colour = static_cast<unsigned char>(h[25]);
    // Samples a pixel as decoded: grey and palette pictures of up to 8 bits
    // take 8 at most, grey with alpha is decoded as RGBA.
    unsigned samples = 0;
    switch (colour) {
        case 0:
        case 3:
            samples = 1;
            break;
        case 2:
            samples = 3;
            break;
        case 4:
        case 6:
            samples = 4;
            break;
        default:
            return declared;
    }
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF ||
        (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)) {
        return declared;
    }
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    declared.bitsPerPixel = samples * std::max(depth, 8u);
    return declared;
}

TDeclaredSize ReadPcx(const TFileBytes& file) {
    TDeclaredSize declared;
    const std::string h = file.Read(0, 128);
    if (h.size() < 128 || h[0] != 0x0A) {
        declared.refusal = "has no complete PCX header";
        return declared;
    }
    const std::uint32_t x0 = Little16(h, 4);
    const std::uint32_t y0 = Little16(h, 6);
    const std::uint32_t x1 = Little16(h, 8);
    const std::uint32_t y1 = Little16(h, 10);
    if (x1 < x0 || y1 < y0) {
        declared.refusal = "declares no pixels";
        return declared;
    }
    const std::uint64_t width = x1 - x0 + 1;
    const std::uint64_t height = y1 - y0 + 1;
    const std::uint64_t planes = static_cast<unsigned char>(h[65]);
    const std::uint64_t rowBytes = Little16(h, 66);
    declared.read = true;
    declared.size = {static_cast<int>(width), static_cast<int>(height)};
    declared.bitsPerPixel = static_cast<unsigned>(
        std::clamp<std::uint64_t>(static_cast<unsigned char>(h[3]) * planes, 1, 32));
    const std::uint64_t total = rowBytes * planes * height;
    const std::uint64_t needed = h[2] == 1 ? (total + 62) / 63 * 2 : total;
    if (needed > file.size - 128) {
        declared.refusal = CutShort("pixel data");
    }
    return declared;
}

// Where a decoding child writes its result: a header, then the rows.
struct TChildResult {
    int status;  // 0 decoded, 1 refused
    char reason[256];
    unsigned width, height, bpp, pitch;
    unsigned redMask, greenMask, blueMask;
    unsigned colors;
    unsigned transparencyCount;
    int transparent;
    int orientation;
    RGBQUAD palette[256];
    BYTE transparency[256];
};
constexpr std::size_t kResultHeader = (sizeof(TChildResult) + 4095) / 4096 * 4096;

void SetReason(TChildResult& result, const std::string& reason) {
    result.status = 1;
    std::snprintf(result.reason, sizeof result.reason, "%s", reason.c_str());
}

// Reads for the decoder, noting when it asks for bytes past the end of the
// file: a picture whose decoder wants more than is there is cut short.
struct TCountedFile {
    std::FILE* file = nullptr;
    bool shortRead = false;
};

unsigned ReadCounted(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto* f = static_cast<TCountedFile*>(handle);
    const std::size_t got = std::fread(buffer, size, count, f->file);
    if (got < count) {
        f->shortRead = true;
    }
    return static_cast<unsigned>(got);
}
unsigned WriteNothing(void*, unsigned, unsigned, fi_handle) {
    return 0;
}
int SeekCounted(fi_handle handle, long offset, int origin) {
    return std::fseek(static_cast<TCountedFile*>(handle)->file, offset, origin);
}
long TellCounted(fi_handle handle) {
    return std::ftell(static_cast<TCountedFile*>(handle)->file);
}

// The decoder's own account of damage.
std::string* gChildMessage = nullptr;
FREE_IMAGE_FORMAT gChildFormat = FIF_UNKNOWN;

void NoteMessage(FREE_IMAGE_FORMAT, const char* message) {
    if (!gChildMessage || !gChildMessage->empty() || !message) {
        return;
    }
    // libjpeg warns of harmless oddities too (extra bytes before a marker);
    // only a stream that ends early is damage.
    if (gChildFormat == FIF_JPEG && !std::strstr(message, "Premature end") &&
        !std::strstr(message, "premature end")) {
        return;
    }
    *gChildMessage = message;
}

// Formats whose decoders read the file in whole buffers, so that a read
// past the end is how they normally finish: their damage shows otherwise.
bool ReadsAhead(FREE_IMAGE_FORMAT format) {
    switch (format) {
        case FIF_JPEG:
        case FIF_JNG:
        case FIF_MNG:
        case FIF_J2K:
        case FIF_JP2:
        case FIF_RAW:
        case FIF_EXR:
        case FIF_WEBP:
        case FIF_JXR:
        case FIF_PCX:
        case FIF_PBM:
        case FIF_PGM:
        case FIF_PPM:
        case FIF_XPM:
        case FIF_XBM:
        case FIF_HDR:
        case FIF_PCD:
        case FIF_PICT:
        case FIF_IFF:
        case FIF_KOALA:
        case FIF_WBMP:
        case FIF_CUT:
            return true;
        default:
            return false;
    }
}

// Runs in the child: decodes, prepares and writes the result into `shared`.
void DecodeHere(FREE_IMAGE_FORMAT format, const std::string& path, int flags,
                const TDecodeBudget& budget,
                const std::function<std::string(TFreeBitmap&)>& prepare, unsigned char* shared,
                std::size_t sharedSize) {
    auto& result = *reinterpret_cast<TChildResult*>(shared);
    std::string message;
    gChildMessage = &message;
    gChildFormat = format;
    FreeImage_SetOutputMessage(NoteMessage);
    TCountedFile counted{std::fopen(path.c_str(), "rb"), false};
    if (!counted.file) {
        SetReason(result, "cannot be read");
        return;
    }
    FreeImageIO io{ReadCounted, WriteNothing, SeekCounted, TellCounted};
    TFreeBitmap image;
    image.Replace(FreeImage_LoadFromHandle(format, &io, &counted, flags));
    std::fclose(counted.file);
    if (!image.IsValid()) {
        SetReason(result, message.empty() ? "is damaged: the decoder could not read it"
                                          : "is damaged: " + message);
        return;
    }
    if (!message.empty()) {
        SetReason(result, "is damaged: " + message);
        return;
    }
    if (counted.shortRead && !ReadsAhead(format)) {
        SetReason(result, "is cut short: its pixel data ends before the picture does");
        return;
    }
    const std::string over =
        OverBudget({static_cast<int>(std::min(image.GetWidth(), 0x7FFFFFFFu)),
                    static_cast<int>(std::min(image.GetHeight(), 0x7FFFFFFFu))},
                   FreeImage_GetBPP(image.Dib()), budget);
    if (!over.empty()) {
        SetReason(result, over);
        return;
    }
    const std::string refused = prepare(image);
    if (!refused.empty()) {
        SetReason(result, refused);
        return;
    }
    FIBITMAP* dib = image.Dib();
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (FreeImage_GetImageType(dib) != FIT_BITMAP || bpp > 32) {
        SetReason(result, "cannot be brought to an ordinary bitmap");
        return;
    }
    result.width = FreeImage_GetWidth(dib);
    result.height = FreeImage_GetHeight(dib);
    result.bpp = bpp;
    result.pitch = FreeImage_GetPitch(dib);
    if (static_cast<std::uint64_t>(result.pitch) * result.height > sharedSize - kResultHeader) {
        SetReason(result, "is larger than its budget once converted");
        return;
    }
    result.redMask = FreeImage_GetRedMask(dib);
    result.greenMask = FreeImage_GetGreenMask(dib);
    result.blueMask = FreeImage_GetBlueMask(dib);
    result.colors = std::min(FreeImage_GetColorsUsed(dib), 256u);
    if (const RGBQUAD* palette = FreeImage_GetPalette(dib)) {
        std::memcpy(result.palette, palette, result.colors * sizeof(RGBQUAD));
    }
    result.transparent = FreeImage_IsTransparent(dib);
    result.transparencyCount = std::min(FreeImage_GetTransparencyCount(dib), 256u);
    if (const BYTE* table = FreeImage_GetTransparencyTable(dib)) {
        std::memcpy(result.transparency, table, result.transparencyCount);
    }
    std::memcpy(shared + kResultHeader, FreeImage_GetBits(dib),
                static_cast<std::size_t>(result.pitch) * result.height);
    result.status = 0;
}

// The child's address space so far (its copy of this process), in bytes.
std::uint64_t AddressSpaceNow() {
    char text[64] = {};
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    unsigned long long pages = 0;
    if (got <= 0 || std::sscanf(text, "%llu", &pages) != 1) {
        return 0;
    }
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// The bitmap the child wrote, as this process's own.
FIBITMAP* TakeResult(const TChildResult& result, const unsigned char* bits) {
    FIBITMAP* dib = FreeImage_Allocate(
        static_cast<int>(result.width), static_cast<int>(result.height),
        static_cast<int>(result.bpp), result.redMask, result.greenMask, result.blueMask);
    if (!dib || FreeImage_GetPitch(dib) != result.pitch) {
        if (dib) {
            FreeImage_Unload(dib);
        }
        return nullptr;
    }
    if (RGBQUAD* palette = FreeImage_GetPalette(dib)) {
        std::memcpy(palette, result.palette,
                    std::min(result.colors, FreeImage_GetColorsUsed(dib)) * sizeof(RGBQUAD));
    }
    if (result.transparencyCount > 0) {
        FreeImage_SetTransparencyTable(dib, const_cast<BYTE*>(result.transparency),
                                       static_cast<int>(result.transparencyCount));
    }
    FreeImage_SetTransparent(dib, result.transparent ? TRUE : FALSE);
    std::memcpy(FreeImage_GetBits(dib), bits,
                static_cast<std::size_t>(result.pitch) * result.height);
    return dib;
}

}  // namespace

std::int64_t DecodedBytes(TPixelSize size, unsigned bitsPerPixel) {
    const std::int64_t pitch = (std::int64_t{size.width} * bitsPerPixel + 31) / 32 * 4;
    return pitch * size.height;
}

std::string OverBudget(TPixelSize size, unsigned bitsPerPixel, const TDecodeBudget& budget) {
    if (size.width <= 0 || size.height <= 0) {
        return "declares no pixels";
    }
    if (std::int64_t{size.width} * size.height > budget.maxPixels) {
        return "declares " + SizeText(size) + " pixels, more than the " +
               std::to_string(budget.maxPixels) + " a picture may have";
    }
    const std::int64_t bytes = DecodedBytes(size, std::max(bitsPerPixel, 1u));
    if (bytes > budget.maxBytes) {
        return "would take " + std::to_string(bytes >> 20) + " MiB decoded (" + SizeText(size) +
               " pixels of " + std::to_string(bitsPerPixel) + " bits), more than the " +
               std::to_string(budget.maxBytes >> 20) + " MiB a picture may take";
    }
    return {};
}

TDeclaredSize ReadDeclaredSize(FREE_IMAGE_FORMAT format, const std::string& path) {
    const TFileBytes file(path);
    if (file.fd < 0) {
        return {};
    }
    switch (format) {
        case FIF_DDS:
            return ReadDds(file);
        case FIF_XBM:
            return ReadXbm(file);
        case FIF_PBM:
        case FIF_PBMRAW:
        case FIF_PGM:
        case FIF_PGMRAW:
        case FIF_PPM:
        case FIF_PPMRAW:
            return ReadPnm(file);
        case FIF_TARGA:
            return ReadTarga(file);
        case FIF_PCX:
            return ReadPcx(file);
        case FIF_PNG:
            return ReadPng(file);
        default:
            return {};
    }
}

namespace {

// The decoders forked into a child are FreeImage's: opened here first, so
// that every child inherits the library instead of loading it once more.
const char* const kNoLibrary = "cannot be decoded: the FreeImage library cannot be loaded";

// Runs `body` in a child process within `budget`, sharing `sharedSize`
// bytes with it (a TChildResult first); `take` reads them once the child
// has ended with a result.
bool RunInChild(const TDecodeBudget& budget, std::size_t sharedSize,
                const std::function<void(unsigned char*)>& body,
                const std::function<bool(const unsigned char*)>& take, std::string& refusal) {
    const unsigned generation = gGeneration.load();
    void* mapped = ::mmap(nullptr, sharedSize, PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) {
        refusal = "cannot be decoded: no memory to receive it";
        return false;
    }
    auto* shared = static_cast<unsigned char*>(mapped);
    auto& result = *reinterpret_cast<TChildResult*>(shared);
    SetReason(result, "is damaged: its decoder ended without an answer");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ::munmap(mapped, sharedSize);
        refusal = "cannot be decoded: no pipe to wait on";
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        // The decoder's own limits: past the CPU time it is stopped by
        // SIGXCPU (and SIGKILL a second later); past the address space its
        // allocations fail.
        const rlimit cpu{static_cast<rlim_t>(budget.cpuSeconds),
                         static_cast<rlim_t>(budget.cpuSeconds + 1)};
        ::setrlimit(RLIMIT_CPU, &cpu);
        const std::uint64_t now = AddressSpaceNow();
        if (now > 0) {
            const std::uint64_t room =
                now + 2 * static_cast<std::uint64_t>(budget.maxBytes) + (std::uint64_t{256} << 20);
            const rlimit space{room, room};
            ::setrlimit(RLIMIT_AS, &space);
        }
        body(shared);
        ::_exit(0);
    }
    ::close(ends[1]);
    if (child < 0) {
        ::close(ends[0]);
        ::munmap(mapped, sharedSize);
        refusal = "cannot be decoded: no process to decode it in";
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(gChildrenLock);
        gChildren.insert(child);
    }
    if (gGeneration.load() != generation) {
        ::kill(child, SIGKILL);
    }
    // The child may wait for the CPU now and then on a busy machine: it gets
    // three times its CPU time in all.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(3 * budget.cpuSeconds);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        pollfd end{ends[0], POLLIN, 0};
        const int ready = ::poll(&end, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready > 0) {
            break;  // the child's end of the pipe closed: it is over
        }
        if (ready < 0 && errno != EINTR) {
            ::kill(child, SIGKILL);
            break;
        }
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    {
        const std::lock_guard<std::mutex> lock(gChildrenLock);
        gChildren.erase(child);
    }
    bool decoded = false;
    if (gGeneration.load() != generation) {
        refusal = "was given up: the program is ending";
    } else if (timedOut) {
        refusal = "took longer than " + std::to_string(3 * budget.cpuSeconds) + " s to decode";
    } else if (WIFSIGNALED(status) &&
               (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL)) {
        refusal = "took more than the " + std::to_string(budget.cpuSeconds) +
                  " s of CPU time a picture may take to decode";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        refusal = "is damaged: its decoder failed (out of memory or worse)";
    } else if (result.status != 0) {
        result.reason[sizeof result.reason - 1] = '\0';
        refusal = result.reason;
    } else if (take(shared)) {
        decoded = true;
    } else {
        refusal = "cannot be decoded: no memory to receive it";
    }
    ::munmap(mapped, sharedSize);
    return decoded;
}

}  // namespace

bool DecodeInChild(FREE_IMAGE_FORMAT format, const std::string& path, int flags,
                   const TDecodeBudget& budget,
                   const std::function<std::string(TFreeBitmap&)>& prepare, TFreeBitmap& out,
                   std::string& refusal) {
    if (!OpenFreeImage()) {
        refusal = kNoLibrary;
        return false;
    }
    const std::size_t sharedSize = kResultHeader + static_cast<std::size_t>(budget.maxBytes);
    return RunInChild(
        budget, sharedSize,
        [&](unsigned char* shared) {
            DecodeHere(format, path, flags, budget, prepare, shared, sharedSize);
        },
        [&](const unsigned char* shared) {
            return out.Replace(
                TakeResult(*reinterpret_cast<const TChildResult*>(shared), shared + kResultHeader));
        },
        refusal);
}

bool ReadHeaderInChild(FREE_IMAGE_FORMAT format, const std::string& path,
                       const TDecodeBudget& budget,
                       const std::function<int(FIBITMAP*)>& orientation, TChildHeader& header,
                       std::string& refusal) {
    if (!OpenFreeImage()) {
        refusal = kNoLibrary;
        return false;
    }
    TDecodeBudget brief = budget;
    brief.cpuSeconds = 1;
    return RunInChild(
        brief, kResultHeader,
        [&](unsigned char* shared) {
            auto& result = *reinterpret_cast<TChildResult*>(shared);
            TFreeBitmap image;
            image.Replace(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
            result.status = 0;
            if (!image.IsValid()) {
                return;  // width 0: no header read
            }
            result.width = image.GetWidth();
            result.height = image.GetHeight();
            result.bpp = FreeImage_GetBPP(image.Dib());
            result.orientation = orientation(image.Dib());
            result.status = 0;
        },
        [&](const unsigned char* shared) {
            const auto& result = *reinterpret_cast<const TChildResult*>(shared);
            header.width = result.width;
            header.height = result.height;
            header.bitsPerPixel = result.bpp;
            header.orientation = result.orientation;
            return true;
        },
        refusal);
}

void AbandonRunningDecodes() {
    ++gGeneration;
    const std::lock_guard<std::mutex> lock(gChildrenLock);
    for (const pid_t child : gChildren) {
        ::kill(child, SIGKILL);
    }
}

std::size_t RunningDecodeChildren() {
    const std::lock_guard<std::mutex> lock(gChildrenLock);
    return gChildren.size();
}

unsigned DecodeGeneration() {
    return gGeneration.load();
}

const std::string& LastDecodeRefusal() {
    return tLastRefusal;
}

void NoteDecodeRefusal(std::string reason) {
    tLastRefusal = std::move(reason);
}
