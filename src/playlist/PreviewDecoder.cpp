#include "playlist/PreviewDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FreeImage.h>

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "wallpaper/DecodeBudget.h"
#include "wallpaper/FreeBitmap.h"
#include "wallpaper/FreeFormats.h"
#include "platform/Translate.h"

namespace {

struct TExtension {
    std::string_view ext;
    const char* qtFormat;  // the Qt reader to try first; nullptr: FreeImage only
};

// Extensions the preview accepts beyond those of the formats FreeImage reads,
// with the reader that decodes each.
constexpr std::array<TExtension, 39> kExtensions{{
    {"bmp", "bmp"},    {"ico", "ico"},   {"wmf", nullptr}, {"emf", nullptr}, {"jfif", "jpeg"},
    {"jpg", "jpeg"},   {"jpe", "jpeg"},  {"jpeg", "jpeg"}, {"rle", "bmp"},   {"dib", "bmp"},
    {"win", "tga"},    {"vst", "tga"},   {"vda", "tga"},   {"tga", "tga"},   {"icb", "tga"},
    {"tiff", "tiff"},  {"tif", "tiff"},  {"fax", "tiff"},  {"eps", nullptr}, {"pcx", nullptr},
    {"pcc", nullptr},  {"scr", nullptr}, {"rpf", nullptr}, {"rla", nullptr}, {"sgi", nullptr},
    {"rgba", nullptr}, {"rgb", nullptr}, {"bw", nullptr},  {"psd", nullptr}, {"pdd", nullptr},
    {"ppm", "ppm"},    {"pgm", "pgm"},   {"pbm", "pbm"},   {"cel", nullptr}, {"pic", nullptr},
    {"pcd", nullptr},  {"cut", nullptr}, {"psp", nullptr}, {"png", "png"},
}};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return out;
}

const TExtension* FindExtension(std::string_view extension) {
    const std::string low = Lower(extension);
    for (const auto& e : kExtensions) {
        if (e.ext == low) {
            return &e;
        }
    }
    return nullptr;
}

// Whether the installed FreeImage reads a format with this extension.
bool FreeImageReads(std::string_view extension) {
    const std::string low = Lower(extension);
    if (low.empty()) {
        return false;
    }
    const TImageFormatInfo& formats = FreeImageFormats();
    for (int i = 0; i < formats.Count(); ++i) {
        if (!formats.Reads(i)) {
            continue;
        }
        const std::string list = Lower(formats.ExtensionList(i));
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            if (list.compare(start, comma - start, low) == 0 && comma - start == low.size()) {
                return true;
            }
            start = comma + 1;
        }
    }
    return false;
}

[[noreturn]] void CannotDecode(const std::string& path, const std::string& why) {
    throw EPreviewError(
        TextArgs(TrText("Playlist", "Cannot show picture \"%1\". %2"), {path, why}));
}

QSize FitWithin(QSize size, int maxSide) {
    if (size.width() <= maxSide && size.height() <= maxSide) {
        return size;
    }
    QSize scaled = size.scaled(maxSide, maxSide, Qt::KeepAspectRatio);
    return scaled.expandedTo(QSize(1, 1));
}

struct TDibDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using TDib = std::unique_ptr<FIBITMAP, TDibDeleter>;

// FreeImage for what Qt cannot read, within the same decoding budgets as the
// wallpaper's pictures: the header is judged first, then the picture is
// decoded in a child process. Returns a null image when FreeImage does not
// know the format either.
TPreviewPicture LoadWithFreeImage(const std::string& path, int maxSide) {
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(path.c_str());
    }
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        return {};
    }
    const TDecodeBudget budget;
    std::string refusal;
    const TDeclaredSize declared = ReadDeclaredSize(fif, path);
    if (!declared.refusal.empty()) {
        CannotDecode(path, "The picture " + declared.refusal);
    }
    if (declared.read) {
        refusal = OverBudget(declared.size, declared.bitsPerPixel, budget);
    } else if (FreeImage_FIFSupportsNoPixels(fif)) {
        TChildHeader header;
        if (!ReadHeaderInChild(
                fif, path, budget, [](FIBITMAP*) { return 1; }, header, refusal)) {
            CannotDecode(path, "The picture " + refusal);
        }
        if (header.width > 0 && header.height > 0) {
            refusal = OverBudget({int(std::min(header.width, 0x7FFFFFFFu)),
                                  int(std::min(header.height, 0x7FFFFFFFu))},
                                 header.bitsPerPixel, budget);
        }
    }
    if (!refusal.empty()) {
        CannotDecode(path, "The picture " + refusal);
    }
    TFreeBitmap rgba;
    const bool decoded = DecodeInChild(
        fif, path, 0, budget,
        [](TFreeBitmap& picture) -> std::string {
            if (FreeImage_GetImageType(picture.Dib()) != FIT_BITMAP &&
                !picture.Replace(FreeImage_ConvertToStandardType(picture.Dib(), TRUE))) {
                return "cannot be converted: out of memory";
            }
            if (!picture.Replace(FreeImage_ConvertTo32Bits(picture.Dib()))) {
                return "cannot be converted: out of memory";
            }
            return {};
        },
        rgba, refusal);
    if (!decoded) {
        CannotDecode(path, "The picture " + refusal);
    }
    if (!rgba.IsValid() || FreeImage_GetBPP(rgba.Dib()) != 32) {
        return {};
    }
    const int w = int(rgba.GetWidth());
    const int h = int(rgba.GetHeight());
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull()) {
        CannotDecode(path, TrText("Playlist", "Not enough memory to preview the picture"));
    }
    // FreeImage keeps rows bottom-up, as B, G, R, A bytes: Qt's ARGB32 on
    // little-endian machines.
    for (int y = 0; y < h; ++y) {
        const BYTE* src = FreeImage_GetScanLine(rgba.Dib(), h - 1 - y);
        std::memcpy(image.scanLine(y), src, std::size_t(w) * 4);
    }
    const QSize fit = FitWithin(image.size(), maxSide);
    if (fit != image.size()) {
        image = image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return {image, QSize(w, h)};
}

}  // namespace

std::string PictureExtension(std::string_view path) {
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool IsPreviewExtension(std::string_view extension) {
    return FindExtension(extension) != nullptr || FreeImageReads(extension);
}

TPreviewPicture LoadPreviewPicture(const std::string& path, int maxSide) {
    const std::string ext = PictureExtension(path);
    const TExtension* known = FindExtension(ext);
    if (!known && !FreeImageReads(ext)) {
        throw EPreviewError(
            TextArgs(TrText("Playlist", "Unknown picture file extension (.%1)"), {ext}));
    }
    if (path.find('\0') != std::string::npos) {
        throw EPreviewError(TextArgs(TrText("Playlist", "Cannot open file \"%1\". %2"),
                                     {path, std::strerror(ENOENT)}));
    }
    // Opened here, by its bytes, so that no name is changed on its way to Qt;
    // non-blocking, so that a named pipe never stalls the dialog.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw EPreviewError(TextArgs(TrText("Playlist", "Cannot open file \"%1\". %2"),
                                     {path, std::strerror(errno)}));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throw EPreviewError(TextArgs(TrText("Playlist", "Cannot open file \"%1\". %2"),
                                     {path, std::strerror(err)}));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    if (known && known->qtFormat) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QImageReader reader(&file, known->qtFormat);
            const QSize size = reader.size();
            if (size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
                reader.setScaledSize(FitWithin(size, maxSide));
            }
            QImage image = reader.read();
            if (!image.isNull()) {
                const QSize own = size.isValid() ? size : image.size();
                const QSize fit = FitWithin(image.size(), maxSide);
                if (fit != image.size()) {
                    image = image.scaled(fit, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
                return {image, own};
            }
        } else {
            ::close(fd);
        }
    } else {
        ::close(fd);
    }
    TPreviewPicture picture = LoadWithFreeImage(path, maxSide);
    if (picture.image.isNull()) {
        CannotDecode(
            path,
            TrText("Playlist", "The file is damaged or its picture format cannot be decoded here"));
    }
    return picture;
}

QRect ThumbnailRectFor(int w, int h) {
    if (w <= 0 || h <= 0) {
        return QRect(0, 0, kPreviewSide, kPreviewSide);
    }
    const double r = double(w) / double(h);
    if (w > h) {
        return QRect(0, 0, kPreviewSide, int(kPreviewSide / r));
    }
    return QRect(0, 0, int(kPreviewSide * r), kPreviewSide);
}
