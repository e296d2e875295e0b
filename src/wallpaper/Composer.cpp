#include "wallpaper/Composer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/ScreenInfo.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/FastRescale.h"
#include "wallpaper/FreeBitmap.h"
#include "wallpaper/FreeUtils.h"
#include "wallpaper/JpegDecoder.h"
#include "wallpaper/PngRows.h"
#include "wallpaper/SourceChecks.h"

namespace {

// A directory, a device or a pipe named like a picture is no picture, and
// opening a pipe would wait for a writer.
bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct TSourceHeader {
    bool read = false;        // the format reads headers without pixels
    TPixelSize size;          // as shown, after the EXIF orientation
    unsigned bitsPerPixel{};  // as decoded, in the picture's own type
    int orientation = 1;      // the EXIF orientation of a JPEG
    std::string refusal;      // the header already shows damage
};

// FreeImage reads no GIF header without decoding, and allocates the first
// frame's size as the descriptor gives it: read that descriptor here.
TSourceHeader ReadGifHeader(const std::string& source) {
    TSourceHeader header;
    std::FILE* file = std::fopen(source.c_str(), "rb");
    if (!file) {
        return header;
    }
    unsigned char bytes[13];
    auto skip = [file](long count) { return std::fseek(file, count, SEEK_CUR) == 0; };
    if (std::fread(bytes, 1, 13, file) == 13 && std::memcmp(bytes, "GIF", 3) == 0 &&
        (!(bytes[10] & 0x80) || skip(3L << ((bytes[10] & 7) + 1)))) {
        for (int blocks = 0; blocks < 4096; ++blocks) {
            const int introducer = std::fgetc(file);
            if (introducer == 0x2C) {
                unsigned char descriptor[8];
                if (std::fread(descriptor, 1, 8, file) == 8) {
                    header.read = true;
                    header.bitsPerPixel = 8;
                    header.size = {descriptor[4] | descriptor[5] << 8,
                                   descriptor[6] | descriptor[7] << 8};
                }
                break;
            }
            if (introducer != 0x21 || std::fgetc(file) == EOF) {
                break;
            }
            // An extension: data sub-blocks up to an empty one.
            int length = 0;
            while ((length = std::fgetc(file)) > 0 && skip(length)) {
            }
            if (length != 0) {
                break;
            }
        }
    }
    std::fclose(file);
    return header;
}

TSourceHeader ReadHeader(FREE_IMAGE_FORMAT format, const std::string& source,
                         const TDecodeBudget& budget) {
    TSourceHeader header;
    if (format == FIF_GIF) {
        return ReadGifHeader(source);
    }
    const TDeclaredSize declared = ReadDeclaredSize(format, source);
    header.refusal = declared.refusal;
    if (declared.read || !declared.refusal.empty()) {
        header.read = declared.read;
        header.size = declared.size;
        header.bitsPerPixel = declared.bitsPerPixel;
        return header;
    }
    if (format == FIF_JPEG) {
        // The header of every photograph shown: read here, without a process
        // of its own. Unreadable, the decoder judges the file.
        TJpegHeader jpeg;
        if (ReadJpegHeader(source, jpeg)) {
            header.read = true;
            header.bitsPerPixel = jpeg.bitsPerPixel;
            header.orientation = jpeg.orientation;
            // Orientations 5 to 8 turn the picture by a quarter.
            header.size = jpeg.orientation >= 5 ? TPixelSize{jpeg.height, jpeg.width}
                                                : TPixelSize{jpeg.width, jpeg.height};
        }
        return header;
    }
    if (!FreeImage_FIFSupportsNoPixels(format)) {
        return header;
    }
    // In a child: some header readers (EXR's) loop for ever on a damaged file.
    TChildHeader read;
    std::string refusal;
    if (!ReadHeaderInChild(
            format, source, budget, [](FIBITMAP*) { return 1; }, read, refusal)) {
        header.refusal = refusal;
        return header;
    }
    if (read.width == 0 || read.height == 0) {
        return header;  // no header without pixels here: the decoder judges
    }
    header.read = true;
    header.bitsPerPixel = read.bitsPerPixel;
    header.orientation = read.orientation;
    const auto width = static_cast<int>(std::min<unsigned>(read.width, 0x7FFFFFFF));
    const auto height = static_cast<int>(std::min<unsigned>(read.height, 0x7FFFFFFF));
    // Orientations 5 to 8 turn the picture by a quarter.
    if (header.orientation >= 5) {
        header.size = {height, width};
    } else {
        header.size = {width, height};
    }
    return header;
}

// Brings pictures of more than 8 bits per channel, or of one floating-point
// or integer channel, to an ordinary bitmap that the BMP writer takes.
bool ToStandardBitmap(TFreeBitmap& image) {
    FIBITMAP* dib = image.Dib();
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP:
            return true;
        case FIT_RGB16:
            return image.Replace(FreeImage_ConvertTo24Bits(dib));
        case FIT_RGBA16:
            return image.Replace(FreeImage_ConvertTo32Bits(dib));
        case FIT_RGBF:
        case FIT_RGBAF:
            return image.Replace(FreeImage_ToneMapping(dib, FITMO_DRAGO03, 0, 0));
        case FIT_UINT16:
            return image.Replace(FreeImage_ConvertTo8Bits(dib));
        default:
            return image.Replace(FreeImage_ConvertToStandardType(dib, TRUE));
    }
}

// Gives the picture the background's depth, so that pasting copies colours.
bool MatchDepth(TFreeBitmap& image, unsigned bpp) {
    FIBITMAP* dib = image.Dib();
    if (FreeImage_GetImageType(dib) == FIT_BITMAP && FreeImage_GetBPP(dib) == bpp) {
        return true;
    }
    return image.Replace(bpp == 24 ? FreeImage_ConvertTo24Bits(dib)
                                   : FreeImage_ConvertTo32Bits(dib));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes beside the destination and renames, so that the desktop, which may
// read the file at any moment, never sees a half-written bitmap. The
// temporary name keeps the destination's extension, which picks the writer.
bool SaveReplacing(const TFreeBitmap& image, const std::string& destination) {
    const auto slash = destination.rfind('/');
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    const auto dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    std::string pattern = FolderOf(destination) + "/." + name + ".XXXXXX" + extension;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        return false;
    }
    // The picture may be a private photograph: for the user's eyes only.
    ::fchmod(fd, 0600);
    ::close(fd);
    const std::string temporary(buffer.data());
    if (!image.Save(temporary, 0) || ::rename(temporary.c_str(), destination.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

namespace {

// True when the last bytes of the file are a JPEG's end marker. A stream cut
// short lacks it; so does a file carrying more after the picture (a motion
// photo's video), which is then left to the whole decoder's checks.
bool EndsWithEndMarker(const std::string& source) {
    std::FILE* file = std::fopen(source.c_str(), "rb");
    if (!file) {
        return false;
    }
    unsigned char tail[2] = {};
    const bool read = std::fseek(file, -2, SEEK_END) == 0 && std::fread(tail, 1, 2, file) == 2;
    std::fclose(file);
    return read && tail[0] == 0xFF && tail[1] == 0xD9;
}

// A decoder's result kept: the bitmap in `image`, a refusal noted.
TJpegDecode Kept(TJpegDecode result, FIBITMAP* dib, const std::string& refusal,
                 TFreeBitmap& image) {
    if (result == TJpegDecode::kRefused) {
        NoteDecodeRefusal(refusal);
    }
    if (result == TJpegDecode::kDecoded && !image.Replace(dib)) {
        NoteDecodeRefusal("cannot be decoded: out of memory");
        return TJpegDecode::kRefused;
    }
    return result;
}

// Decodes an upright JPEG photograph for its plans: shrunk by eighths while
// decoding when it is scaled down anyway, and only `shown` of it when no
// more is shown. kNotTaken when this decoder leaves the file to the whole
// decoder; kRefused (with the reason noted) when the picture is damaged or
// over its budget.
TJpegDecode LoadJpegForPlans(const std::string& source, const TSourceHeader& header,
                             const TComposeOptions& options, const std::vector<TComposePlan>& plans,
                             TPixelRect shown, TFreeBitmap& image) {
    if (!header.read || header.orientation != 1 || !EndsWithEndMarker(source)) {
        return TJpegDecode::kNotTaken;
    }
    // Shrunk no further than the largest screen needs.
    int eighths = options.shrinkOnLoad ? 1 : 8;
    for (const TComposePlan& plan : plans) {
        eighths = std::max(eighths, plan.rescale ? JpegEighths(header.size, plan.scaled) : 8);
    }
    FIBITMAP* dib = nullptr;
    std::string refusal;
    const TJpegDecode result = DecodeJpeg(source, eighths, shown, options.budget, dib, refusal);
    return Kept(result, dib, refusal, image);
}

// Decodes an opaque PNG picture here (or only `shown` of it, when no more is
// shown); kNotTaken leaves the others to the whole decoder.
TJpegDecode LoadPngPart(const std::string& source, const TComposeOptions& options, TPixelRect shown,
                        TFreeBitmap& image) {
    FIBITMAP* dib = nullptr;
    std::string refusal;
    const TJpegDecode result = DecodePng(source, shown, options.budget, dib, refusal);
    return Kept(result, dib, refusal, image);
}

// The checks before any pixel is decoded: a file of a known format, with a
// header that shows no damage and a size within the budget (a JPEG's
// header also tells how far it may be shrunk while decoding). False, with
// the refusal noted, when the picture cannot be shown.
bool CheckSource(const std::string& source, int mode, const TComposeOptions& options,
                 FREE_IMAGE_FORMAT& format, TSourceHeader& header) {
    NoteDecodeRefusal({});
    if (!IsRegularFile(source)) {
        NoteDecodeRefusal("is no file");
        return false;
    }
    format = GetImageFileType(source);
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
        NoteDecodeRefusal("is no picture of a known format");
        return false;
    }
    if (format == FIF_PNG && !PngChunksFit(source)) {
        NoteDecodeRefusal("is damaged: a PNG chunk runs past the end of the file");
        return false;
    }
    if (mode < fmStretch || mode > fmConvertOnly) {
        return false;
    }
    header = ReadHeader(format, source, options.budget);
    const std::string over =
        header.read ? OverBudget(header.size, header.bitsPerPixel, options.budget) : std::string();
    if (!over.empty() || !header.refusal.empty()) {
        NoteDecodeRefusal(over.empty() ? header.refusal : over);
        return false;
    }
    return true;
}

// Loads `source` for a display of `screenSize` and plans its composition: the
// picture comes back upright, opaque over `fillColor` and of a standard type,
// decoded already shrunk where only a shrunk picture is shown.
// With several displays the picture is decoded once, at the size the most
// demanding of them needs, with a plan for each.
// Where one screen shows the picture unscaled and `placement` is centred or
// tiled, only the part the screen shows may be decoded: `part` then tells
// where the loaded picture lies in the whole one, whose size is `whole`.
bool LoadForDisplays(const std::string& source, int mode, const std::vector<TPixelSize>& screens,
                     TColor fillColor, const TComposeOptions& options, TFreeBitmap& image,
                     std::vector<TComposePlan>& plans, int placement = dpOther,
                     TPixelRect* part = nullptr, TPixelSize* whole = nullptr) {
    if (screens.empty()) {
        return false;
    }
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    TSourceHeader header;
    if (!CheckSource(source, mode, options, format, header)) {
        return false;
    }
    if ((format == FIF_JPEG || format == FIF_PNG) && header.read) {
        plans.clear();
        bool valid = true;
        for (const TPixelSize& screenSize : screens) {
            valid =
                valid && plans.emplace_back(PlanComposition(mode, header.size, screenSize)).valid;
        }
        TPixelRect shown;
        if (valid && screens.size() == 1 && mode == fmConvertOnly &&
            (placement == dpCenter || placement == dpTile) && part && whole) {
            shown = ShownPart(header.size, screens.front(), placement == dpTile);
        }
        const TJpegDecode decoded =
            !valid               ? TJpegDecode::kNotTaken
            : format == FIF_JPEG ? LoadJpegForPlans(source, header, options, plans, shown, image)
                                 : LoadPngPart(source, options, shown, image);
        if (decoded == TJpegDecode::kRefused) {
            return false;
        }
        if (decoded == TJpegDecode::kDecoded) {
            if (part && whole) {
                *whole = header.size;
                *part = shown.width > 0 ? shown
                                        : TPixelRect{0, 0, header.size.width, header.size.height};
            }
            return true;
        }
    }

    int flags = 0;
    int shrink = 1;
    if (format == FIF_JPEG) {
        // A photograph taken with the camera turned is shown upright.
        flags |= JPEG_EXIFROTATE;
        if (header.read && options.shrinkOnLoad) {
            plans.clear();
            bool rescaled = true;
            shrink = 8;
            for (const TPixelSize& screenSize : screens) {
                const TComposePlan& plan =
                    plans.emplace_back(PlanComposition(mode, header.size, screenSize));
                rescaled = rescaled && plan.valid && plan.rescale;
                shrink =
                    rescaled ? std::min(shrink, JpegShrinkFactor(header.size, plan.scaled)) : 1;
            }
            if (rescaled) {
                const int hint =
                    JpegSizeHint(std::max(header.size.width, header.size.height), shrink);
                if (hint > 0) {
                    flags |= hint << 16;
                } else {
                    shrink = 1;
                }
            }
        }
    }

    // Everything but the JPEG decoder's photographs is decoded by FreeImage
    // in a child process, within the budget; there too the picture is
    // brought to a standard bitmap, opaque over the fill colour (a desktop
    // that honours a bitmap's alpha would otherwise show holes).
    std::string refusal;
    const bool decoded = DecodeInChild(
        format, source, flags, options.budget,
        [fillColor](TFreeBitmap& picture) -> std::string {
            if (!ToStandardBitmap(picture) || !FlattenOnto(picture, fillColor)) {
                return "cannot be converted: out of memory";
            }
            return {};
        },
        image, refusal);
    if (!decoded) {
        NoteDecodeRefusal(refusal);
        return false;
    }
    const TPixelSize loaded{static_cast<int>(std::min(image.GetWidth(), 0x7FFFFFFFu)),
                            static_cast<int>(std::min(image.GetHeight(), 0x7FFFFFFFu))};
    if (shrink == 1) {
        plans.clear();
        for (const TPixelSize& screenSize : screens) {
            plans.push_back(PlanComposition(mode, loaded, screenSize));
        }
    }
    if (part && whole) {
        *whole = loaded;
        *part = TPixelRect{0, 0, loaded.width, loaded.height};
    }
    return std::all_of(plans.begin(), plans.end(),
                       [](const TComposePlan& plan) { return plan.valid; });
}

bool LoadForDisplay(const std::string& source, int mode, TPixelSize screenSize, TColor fillColor,
                    const TComposeOptions& options, TFreeBitmap& image, TComposePlan& plan,
                    int placement = dpOther, TPixelRect* part = nullptr,
                    TPixelSize* whole = nullptr) {
    std::vector<TComposePlan> plans;
    if (!LoadForDisplays(source, mode, {screenSize}, fillColor, options, image, plans, placement,
                         part, whole)) {
        return false;
    }
    plan = plans.front();
    return true;
}

enum class TStreamed { kShown, kFailed, kNotTaken };
TStreamed StreamWallpaperBitmap(const std::string& source, int mode, TScreenSize display,
                                TColor fillColor, const TComposeOptions& options, TFreeBitmap& out);

// The wallpaper bitmap for one display of `display` pixels.
bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                      TColor fillColor, TScreenSize display, const TComposeOptions& options) {
    // A scaled photograph is decoded and scaled row by row into the bitmap.
    TFreeBitmap image;
    switch (StreamWallpaperBitmap(source, mode, display, fillColor, options, image)) {
        case TStreamed::kShown:
            return SaveReplacing(image, destination);
        case TStreamed::kFailed:
            return false;
        case TStreamed::kNotTaken:
            break;
    }
    TComposePlan plan;
    if (!LoadForDisplay(source, mode, TPixelSize{display.width, display.height}, fillColor, options,
                        image, plan)) {
        return false;
    }

    bool result = true;
    if (plan.letterBox) {
        TFreeWinBitmap background;
        {
            const TScreenBitmap painted = MakeSolidScreenBitmap(
                plan.canvas.width, plan.canvas.height, display.depth, fillColor);
            background.CopyFromBitmap(&painted);
        }
        if (plan.rescale) {
            result = image.Rescale(plan.scaled.width, plan.scaled.height, FILTER_LANCZOS3);
        }
        result = result && MatchDepth(image, FreeImage_GetBPP(background.Dib())) &&
                 background.Paste(image, plan.left, plan.top, 256);
        // The composed wallpaper is the background; it is handed over rather
        // than copied, which would cost a display-sized copy.
        image.Replace(background.Release());
    } else if (plan.rescale) {
        result = image.Rescale(plan.scaled.width, plan.scaled.height, FILTER_LANCZOS3);
    }
    return result && SaveReplacing(image, destination);
}

// A rectangle of a picture: columns x0 to x1 and rows y0 to y1, ends excluded.
struct TArea {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};

// Copies `image` onto the screen picture with its upper left corner at
// (left, top), clipped to `clip` (which lies inside the picture), converting
// each pixel once into the screen's format.
void Place(FIBITMAP* image, TScreenPicture& out, int left, int top, TArea clip) {
    const int width = static_cast<int>(FreeImage_GetWidth(image));
    const int height = static_cast<int>(FreeImage_GetHeight(image));
    const int x0 = std::max(clip.x0, left);
    const int x1 =
        static_cast<int>(std::min<long long>(clip.x1, static_cast<long long>(left) + width));
    const int y0 = std::max(clip.y0, top);
    const int y1 =
        static_cast<int>(std::min<long long>(clip.y1, static_cast<long long>(top) + height));
    const unsigned bpp = FreeImage_GetBPP(image);
    const RGBQUAD* palette = FreeImage_GetPalette(image);
    for (int y = y0; y < y1; ++y) {
        // FreeImage keeps the bottom row first.
        const BYTE* row = FreeImage_GetScanLine(image, height - 1 - (y - top));
        std::uint32_t* to = out.pixels.data() + static_cast<std::size_t>(y) * out.width;
        if (bpp == 24 || bpp == 32) {
            const int step = static_cast<int>(bpp / 8);
            const BYTE* p = row + static_cast<std::ptrdiff_t>(x0 - left) * step;
            for (int x = x0; x < x1; ++x, p += step) {
                to[x] = (std::uint32_t{p[FI_RGBA_RED]} << 16) |
                        (std::uint32_t{p[FI_RGBA_GREEN]} << 8) | p[FI_RGBA_BLUE];
            }
        } else {  // 8 bits through the palette
            for (int x = x0; x < x1; ++x) {
                const BYTE index = row[x - left];
                to[x] = palette ? (std::uint32_t{palette[index].rgbRed} << 16) |
                                      (std::uint32_t{palette[index].rgbGreen} << 8) |
                                      palette[index].rgbBlue
                                : (std::uint32_t{index} * 0x010101u);
            }
        }
    }
}

void Place(FIBITMAP* image, TScreenPicture& out, int left, int top) {
    Place(image, out, left, top, TArea{0, 0, out.width, out.height});
}

// The picture of one screen of `screen` pixels, as the desktop would place the
// composed bitmap (`placement`), cut to the screen.
bool ComposeScreenPicture(const std::string& source, int mode, int placement, TColor fillColor,
                          TPixelSize screen, TScreenPicture& out, const TComposeOptions& options) {
    if (screen.width <= 0 || screen.height <= 0 ||
        static_cast<std::int64_t>(screen.width) * screen.height > kMaxComposedPixels) {
        return false;
    }
    TFreeBitmap image;
    TComposePlan plan;
    TPixelRect part;
    TPixelSize whole;
    if (!LoadForDisplay(source, mode, screen, fillColor, options, image, plan, placement, &part,
                        &whole)) {
        return false;
    }
    if (plan.rescale && !image.Rescale(plan.scaled.width, plan.scaled.height, FILTER_LANCZOS3)) {
        return false;
    }
    const bool asIs = mode == fmConvertOnly;
    const TPixelSize size{static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight())};
    // A picture decoded only in part (centred or tiled, unscaled) is placed
    // where that part lies in the whole; a part as wide (or high) as the
    // screen is a single tile across.
    const bool partial = asIs && (placement == dpCenter || placement == dpTile) &&
                         !(part == TPixelRect{0, 0, size.width, size.height} && whole == size);
    // The desktop would stretch an unscaled picture itself: it is stretched
    // here with the composer's own filter instead.
    if (asIs && placement == dpStretch && !(size == screen) &&
        !image.Rescale(screen.width, screen.height, FILTER_LANCZOS3)) {
        return false;
    }
    const unsigned bpp = FreeImage_GetBPP(image.Dib());
    if (bpp != 8 && bpp != 24 && bpp != 32 && !image.ConvertTo24Bits()) {
        return false;
    }
    // Letter box bands show the fill colour; whatever else the picture leaves
    // uncovered is black, as a root window shows it.
    const std::uint32_t band = plan.letterBox ? ((fillColor & 0xFF) << 16) | (fillColor & 0xFF00) |
                                                    ((fillColor >> 16) & 0xFF)
                                              : 0;
    out.width = screen.width;
    out.height = screen.height;
    out.pixels.assign(static_cast<std::size_t>(screen.width) * screen.height, band);
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    if (asIs && placement == dpTile) {
        const int stepX = partial && part.width < whole.width ? screen.width : width;
        const int stepY = partial && part.height < whole.height ? screen.height : height;
        for (int top = 0; top < screen.height; top += stepY) {
            for (int left = 0; left < screen.width; left += stepX) {
                Place(image.Dib(), out, left, top);
            }
        }
    } else if (plan.letterBox) {
        Place(image.Dib(), out, plan.left, plan.top);
    } else if (partial) {
        Place(image.Dib(), out, (screen.width - whole.width) / 2 + part.left,
              (screen.height - whole.height) / 2 + part.top);
    } else {
        Place(image.Dib(), out, (screen.width - width) / 2, (screen.height - height) / 2);
    }
    return true;
}

// An unscaled picture centred or tiled on one screen, handed to the painter
// as the picture alone: the painter fills the rest black, or repeats the
// tile, itself. False when the picture cannot be shown.
bool PutUnscaledPicture(const std::string& source, int placement, TColor fillColor,
                        TPixelSize screen, TPictureParts& parts, const TComposeOptions& options) {
    TFreeBitmap image;
    TComposePlan plan;
    TPixelRect part;
    TPixelSize whole;
    if (!LoadForDisplay(source, fmConvertOnly, screen, fillColor, options, image, plan, placement,
                        &part, &whole)) {
        return false;
    }
    const unsigned bpp = FreeImage_GetBPP(image.Dib());
    if (bpp != 8 && bpp != 24 && bpp != 32 && !image.ConvertTo24Bits()) {
        return false;
    }
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    const bool partial =
        !(part == TPixelRect{0, 0, width, height} && whole == TPixelSize{width, height});
    if (placement == dpTile) {
        // As ComposeScreenPicture lays the tiles: a part as wide (or high)
        // as the screen is a single tile across.
        const int stepX = partial && part.width < whole.width ? screen.width : width;
        const int stepY = partial && part.height < whole.height ? screen.height : height;
        TScreenPicture tile;
        tile.width = std::min(stepX, screen.width);
        tile.height = std::min(stepY, screen.height);
        tile.pixels.assign(static_cast<std::size_t>(tile.width) * tile.height, 0);
        Place(image.Dib(), tile, 0, 0);
        return parts.Tile(tile, screen.width, screen.height);
    }
    const int left =
        partial ? (screen.width - whole.width) / 2 + part.left : (screen.width - width) / 2;
    const int top =
        partial ? (screen.height - whole.height) / 2 + part.top : (screen.height - height) / 2;
    const int x0 = std::max(0, left);
    const int y0 = std::max(0, top);
    const int x1 = static_cast<int>(std::min<long long>(screen.width, 1LL * left + width));
    const int y1 = static_cast<int>(std::min<long long>(screen.height, 1LL * top + height));
    TScreenPicture shown;
    shown.width = std::max(0, x1 - x0);
    shown.height = std::max(0, y1 - y0);
    const bool covers = x0 == 0 && y0 == 0 && x1 == screen.width && y1 == screen.height;
    // What the picture leaves uncovered is black, as a root window shows it.
    if (!covers && !parts.Fill(0, 0, screen.width, screen.height, 0)) {
        return false;
    }
    if (shown.width == 0 || shown.height == 0) {
        return true;
    }
    shown.pixels.resize(static_cast<std::size_t>(shown.width) * shown.height);
    Place(image.Dib(), shown, left - x0, top - y0);
    return parts.Put(x0, y0, shown);
}

TStreamed Stream(const std::string& source, FREE_IMAGE_FORMAT format, int eighths,
                 const TComposeOptions& options, TJpegRows& rows);

// Rows of one part of the screen gathered into bands of kBandRows and handed
// to the painter as each band fills: a band's first row at (x, y + the rows
// handed on before it). Nothing is thrown: the decoders call it between their
// setjmp and their end.
class TScreenBandWriter {
public:
    static constexpr int kBandRows = 64;

    explicit TScreenBandWriter(TPictureParts& parts) : parts_(parts) {}

    // False when the band's memory cannot be had.
    bool Start(int x, int y, int width) {
        x_ = x;
        y_ = y;
        try {
            band_.width = width;
            band_.pixels.resize(static_cast<std::size_t>(width) * kBandRows);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    // Where the next row is written.
    std::uint32_t* Row() {
        return band_.pixels.data() + static_cast<std::size_t>(rows_) * band_.width;
    }
    // The next row is written: a full band goes to the painter; false once
    // the painter refused one.
    bool Written() { return ++rows_ < kBandRows || Flush(); }
    // Hands on the rows of a band not yet full.
    bool Flush() {
        if (rows_ == 0) {
            return put_;
        }
        band_.height = rows_;
        try {
            put_ = put_ && parts_.Put(x_, y_ + made_, band_);
        } catch (...) {
            put_ = false;
        }
        made_ += rows_;
        rows_ = 0;
        return put_;
    }
    // Rows written so far, handed on or not.
    int Made() const { return made_ + rows_; }

private:
    TPictureParts& parts_;
    int x_ = 0;
    int y_ = 0;
    TScreenPicture band_;
    int rows_ = 0;  // rows in the band
    int made_ = 0;  // rows handed on
    bool put_ = true;
};

// An unscaled photograph's shown rows, converted to the screen's pixels and
// handed to the painter as they are decoded: in bands of rows put where they
// show, a tile in the screen's corner for the painter to repeat; for a
// painter that cannot repeat, a tile is gathered whole and handed to Tile.
// No bitmap of the picture is ever made.
class TUnscaledRows final : public TJpegRows {
public:
    // `shown` is the part of the whole picture of `whole` pixels that shows,
    // its upper left corner at (screenX, screenY); a tile is the shown part.
    TUnscaledRows(TPixelSize whole, TPixelRect shown, int screenX, int screenY, bool tile,
                  TPixelSize screen, TPictureParts& parts)
        : whole_(whole),
          shown_(shown),
          screenX_(screenX),
          screenY_(screenY),
          tile_(tile),
          gather_(tile && !parts.Repeats()),
          screen_(screen),
          parts_(parts),
          bands_(parts) {}

    const char* Start(int width, int height, TPixelRect& part) override {
        // The header told the size the plan was made for; a decoder that
        // disagrees is not trusted with it.
        if (width != whole_.width || height != whole_.height || shown_.width <= 0 ||
            shown_.height <= 0) {
            return "cannot be decoded: its size differs from its header";
        }
        part = shown_;
        try {
            if (gather_) {
                gathered_.width = shown_.width;
                gathered_.pixels.resize(static_cast<std::size_t>(shown_.width) * shown_.height);
            }
        } catch (const std::bad_alloc&) {
            return "cannot be decoded: out of memory";
        }
        if (!gather_ && !bands_.Start(screenX_, screenY_, shown_.width)) {
            return "cannot be decoded: out of memory";
        }
        return nullptr;
    }

    // Called between the decoder's setjmp and its end: nothing may be thrown
    // through it.
    bool Row(const std::uint8_t* pixels) override {
        const int made = gather_ ? gathered_.height : bands_.Made();
        if (made >= shown_.height) {
            return false;
        }
        std::uint32_t* to =
            gather_ ? gathered_.pixels.data() + static_cast<std::size_t>(made) * shown_.width
                    : bands_.Row();
        for (int x = 0; x < shown_.width; ++x, pixels += 3) {
            to[x] = (std::uint32_t{pixels[FI_RGBA_RED]} << 16) |
                    (std::uint32_t{pixels[FI_RGBA_GREEN]} << 8) | pixels[FI_RGBA_BLUE];
        }
        if (gather_) {
            ++gathered_.height;
            return true;
        }
        return bands_.Written();
    }

    // Hands on the last band, or the tile; true when every shown row was
    // made and taken.
    bool Finish() {
        if (gather_) {
            try {
                return gathered_.height == shown_.height &&
                       parts_.Tile(gathered_, screen_.width, screen_.height);
            } catch (...) {
                return false;
            }
        }
        return bands_.Flush() && bands_.Made() == shown_.height &&
               (!tile_ ||
                parts_.Repeat(shown_.width, shown_.height, screen_.width, screen_.height));
    }

private:
    TPixelSize whole_;
    TPixelRect shown_;
    int screenX_;
    int screenY_;
    bool tile_;
    bool gather_;  // the tile is handed whole
    TPixelSize screen_;
    TPictureParts& parts_;
    TScreenBandWriter bands_;
    TScreenPicture gathered_;  // the whole tile, where it is handed whole
};

// An upright JPEG photograph or opaque PNG picture centred or tiled unscaled
// on one screen, decoded only where it shows and handed to the painter row
// by row; kNotTaken leaves other pictures to PutUnscaledPicture.
TStreamed StreamUnscaledPicture(const std::string& source, int placement, TPixelSize screen,
                                TPictureParts& parts, const TComposeOptions& options) {
    if (!IsRegularFile(source)) {
        return TStreamed::kNotTaken;
    }
    const FREE_IMAGE_FORMAT format = GetImageFileType(source);
    if (format != FIF_JPEG && format != FIF_PNG) {
        return TStreamed::kNotTaken;
    }
    FREE_IMAGE_FORMAT checked = FIF_UNKNOWN;
    TSourceHeader header;
    if (!CheckSource(source, fmConvertOnly, options, checked, header)) {
        return TStreamed::kFailed;
    }
    if (!header.read || header.orientation != 1 || header.size.width <= 0 ||
        header.size.height <= 0 || (format == FIF_JPEG && !EndsWithEndMarker(source))) {
        return TStreamed::kNotTaken;
    }
    const bool tile = placement == dpTile;
    const TPixelRect shown = ShownPart(header.size, screen, tile);
    // Where the shown part lies, as PutUnscaledPicture places it: a tile in
    // the upper left corner.
    const int left = tile ? 0 : (screen.width - header.size.width) / 2 + shown.left;
    const int top = tile ? 0 : (screen.height - header.size.height) / 2 + shown.top;
    if (!tile) {
        const bool covers = left <= 0 && top <= 0 && left + shown.width >= screen.width &&
                            top + shown.height >= screen.height;
        // What the picture leaves uncovered is black, as a root window shows it.
        if (!covers && !parts.Fill(0, 0, screen.width, screen.height, 0)) {
            return TStreamed::kFailed;
        }
        if (shown.width <= 0 || shown.height <= 0) {
            return TStreamed::kShown;
        }
    }
    TUnscaledRows rows(header.size, shown, left, top, tile, screen, parts);
    const TStreamed streamed = Stream(source, format, 8, options, rows);
    if (streamed == TStreamed::kShown && !rows.Finish()) {
        return TStreamed::kFailed;
    }
    return streamed;
}

// A scaled photograph's rows, decoded, scaled and handed to the painter in
// bands as they come: neither the decoded picture nor the screen's picture
// is ever whole in memory.
class TScreenBands final : public TJpegRows {
public:
    TScreenBands(const TComposePlan& plan, TPixelSize screen, TPictureParts& parts)
        : plan_(plan), bands_(parts) {
        // Where the scaled picture lies on the screen, as ComposeScreenPicture places it.
        const int left = plan.letterBox ? plan.left : (screen.width - plan.scaled.width) / 2;
        const int top = plan.letterBox ? plan.top : (screen.height - plan.scaled.height) / 2;
        const int x0 = std::max(0, -left);
        const int y0 = std::max(0, -top);
        shown_ = {x0, y0, std::min(plan.scaled.width, screen.width - left) - x0,
                  std::min(plan.scaled.height, screen.height - top) - y0};
        screenX_ = left + x0;
        screenY_ = top + y0;
    }

    const char* Start(int width, int height, TPixelRect& part) override {
        if (shown_.width <= 0 || shown_.height <= 0 ||
            !scaler_.Start({width, height}, plan_.scaled, shown_) ||
            !bands_.Start(screenX_, screenY_, shown_.width)) {
            return "cannot be scaled: out of memory";
        }
        part = scaler_.SourcePart();
        return nullptr;
    }

    // Called between the decoder's setjmp and its end: nothing may be thrown
    // through it.
    bool Row(const std::uint8_t* pixels) override {
        scaler_.Push(pixels);
        try {
            while (scaler_.Pop(bands_.Row())) {
                if (!bands_.Written()) {
                    return false;
                }
            }
        } catch (...) {
            return false;
        }
        return true;
    }

    // Hands on the last band; true when every shown row was made and taken.
    bool Finish() { return bands_.Flush() && bands_.Made() == shown_.height; }

private:
    const TComposePlan& plan_;
    TPixelRect shown_;  // of the scaled picture
    int screenX_ = 0;   // where the shown part lies on the screen
    int screenY_ = 0;
    TLanczos3Rows scaler_;
    TScreenBandWriter bands_;
};

// The plan of a JPEG photograph or a PNG picture that is scaled for a
// display of `screen` pixels, for the roads that decode and scale it row by
// row: kNotTaken leaves other pictures to the road through a whole decoded
// bitmap.
TStreamed PlanStream(const std::string& source, int mode, TPixelSize screen,
                     const TComposeOptions& options, TComposePlan& plan, int& eighths,
                     FREE_IMAGE_FORMAT& format) {
    // Other pictures are left before their header is read, which for some
    // formats takes a child process.
    if ((mode != fmStretch && mode != fmLetterBox && mode != fmZoom) || !IsRegularFile(source)) {
        return TStreamed::kNotTaken;
    }
    format = GetImageFileType(source);
    if (format != FIF_JPEG && format != FIF_PNG) {
        return TStreamed::kNotTaken;
    }
    TSourceHeader header;
    if (!CheckSource(source, mode, options, format, header)) {
        return TStreamed::kFailed;
    }
    if (!header.read || header.orientation != 1 ||
        (format == FIF_JPEG && !EndsWithEndMarker(source))) {
        return TStreamed::kNotTaken;
    }
    plan = PlanComposition(mode, header.size, screen);
    if (!plan.valid || !plan.rescale) {
        return TStreamed::kNotTaken;
    }
    eighths =
        options.shrinkOnLoad && format == FIF_JPEG ? JpegEighths(header.size, plan.scaled) : 8;
    return TStreamed::kShown;
}

TStreamed Stream(const std::string& source, FREE_IMAGE_FORMAT format, int eighths,
                 const TComposeOptions& options, TJpegRows& rows) {
    std::string refusal;
    switch (format == FIF_PNG ? StreamPng(source, options.budget, rows, refusal)
                              : StreamJpeg(source, eighths, options.budget, rows, refusal)) {
        case TJpegDecode::kDecoded:
            return TStreamed::kShown;
        case TJpegDecode::kNotTaken:
            return TStreamed::kNotTaken;
        case TJpegDecode::kRefused:
            NoteDecodeRefusal(refusal);
            return TStreamed::kFailed;
        case TJpegDecode::kStopped:
            break;
    }
    return TStreamed::kFailed;
}

// One screen's picture of a scaled JPEG photograph in bands: the painter
// fills what the bands leave (letter box bands) with the fill colour.
TStreamed StreamScreenPicture(const std::string& source, int mode, TPixelSize screen,
                              TPictureParts& parts, const TComposeOptions& options) {
    TComposePlan plan;
    int eighths = 8;
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    const TStreamed planned = PlanStream(source, mode, screen, options, plan, eighths, format);
    if (planned != TStreamed::kShown) {
        return planned;
    }
    TScreenBands bands(plan, screen, parts);
    const TStreamed streamed = Stream(source, format, eighths, options, bands);
    return streamed == TStreamed::kShown && !bands.Finish() ? TStreamed::kFailed : streamed;
}

FIBITMAP* SolidImage(int width, int height, int depth, TColor color);

// The scaled rows written straight into the display's bitmap: the letter
// box canvas at the display's depth, else the scaled picture itself.
class TBitmapBands final : public TJpegRows {
public:
    TBitmapBands(const TComposePlan& plan, int depth, TColor fill, TFreeBitmap& out)
        : plan_(plan), depth_(depth), fill_(fill), out_(out) {}

    const char* Start(int width, int height, TPixelRect& part) override {
        const TPixelSize size = plan_.letterBox ? plan_.canvas : plan_.scaled;
        FIBITMAP* dib = plan_.letterBox
                            ? SolidImage(size.width, size.height, depth_, fill_)
                            : FreeImage_Allocate(size.width, size.height, 24, FI_RGBA_RED_MASK,
                                                 FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
        if (!out_.Replace(dib) || !scaler_.Start({width, height}, plan_.scaled,
                                                 {0, 0, plan_.scaled.width, plan_.scaled.height})) {
            return "cannot be scaled: out of memory";
        }
        try {
            row_.resize(static_cast<std::size_t>(plan_.scaled.width));
        } catch (const std::bad_alloc&) {
            return "cannot be scaled: out of memory";
        }
        part = scaler_.SourcePart();
        left_ = plan_.letterBox ? plan_.left : 0;
        top_ = plan_.letterBox ? plan_.top : 0;
        return nullptr;
    }

    bool Row(const std::uint8_t* pixels) override {
        scaler_.Push(pixels);
        FIBITMAP* dib = out_.Dib();
        const int height = static_cast<int>(FreeImage_GetHeight(dib));
        const std::size_t step = FreeImage_GetBPP(dib) / 8;
        while (scaler_.Pop(row_.data())) {
            // FreeImage keeps the bottom row first.
            BYTE* to = FreeImage_GetScanLine(dib, height - 1 - (top_ + made_++)) +
                       static_cast<std::size_t>(left_) * step;
            for (const std::uint32_t pixel : row_) {
                to[FI_RGBA_RED] = static_cast<BYTE>(pixel >> 16);
                to[FI_RGBA_GREEN] = static_cast<BYTE>(pixel >> 8);
                to[FI_RGBA_BLUE] = static_cast<BYTE>(pixel);
                if (step == 4) {
                    to[FI_RGBA_ALPHA] = 0xFF;
                }
                to += step;
            }
        }
        return true;
    }

    bool Finished() const { return made_ == plan_.scaled.height; }

private:
    const TComposePlan& plan_;
    int depth_;
    TColor fill_;
    TFreeBitmap& out_;
    TLanczos3Rows scaler_;
    std::vector<std::uint32_t> row_;
    int left_ = 0;
    int top_ = 0;
    int made_ = 0;
};

TStreamed StreamWallpaperBitmap(const std::string& source, int mode, TScreenSize display,
                                TColor fillColor, const TComposeOptions& options,
                                TFreeBitmap& out) {
    TComposePlan plan;
    int eighths = 8;
    FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
    const TStreamed planned =
        PlanStream(source, mode, {display.width, display.height}, options, plan, eighths, format);
    if (planned != TStreamed::kShown) {
        return planned;
    }
    TBitmapBands bands(plan, display.depth, fillColor, out);
    const TStreamed streamed = Stream(source, format, eighths, options, bands);
    if (streamed != TStreamed::kShown || !bands.Finished()) {
        out.Clear();
    }
    return streamed == TStreamed::kShown && !bands.Finished() ? TStreamed::kFailed : streamed;
}

// A bitmap of width x height pixels of `depth` bits (24, or 32 for any other
// value) showing `color` (0x00BBGGRR) everywhere; the fourth byte of a 32-bit
// pixel is opaque, as on a display-compatible bitmap.
FIBITMAP* SolidImage(int width, int height, int depth, TColor color) {
    const int bpp = depth == 24 ? 24 : 32;
    FIBITMAP* dib = FreeImage_Allocate(width, height, bpp, 0, 0, 0);
    if (!dib) {
        return nullptr;
    }
    BYTE pixel[4] = {};
    pixel[FI_RGBA_RED] = static_cast<BYTE>(color & 0xFF);
    pixel[FI_RGBA_GREEN] = static_cast<BYTE>((color >> 8) & 0xFF);
    pixel[FI_RGBA_BLUE] = static_cast<BYTE>((color >> 16) & 0xFF);
    pixel[FI_RGBA_ALPHA] = 0xFF;
    const std::size_t step = static_cast<std::size_t>(bpp / 8);
    BYTE* first = FreeImage_GetScanLine(dib, 0);
    for (int x = 0; x < width; ++x) {
        std::memcpy(first + static_cast<std::size_t>(x) * step, pixel, step);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * step;
    for (int y = 1; y < height; ++y) {
        std::memcpy(FreeImage_GetScanLine(dib, y), first, rowBytes);
    }
    return dib;
}

// The picture fitted to one display's plan: `image` itself when it needs no
// scaling, else its scaled copy in `scratch`; null when scaling fails. The
// loaded picture stays as it is for the next display.
const TFreeBitmap* Fitted(TFreeBitmap& image, const TComposePlan& plan, TFreeBitmap& scratch) {
    if (!plan.rescale) {
        return &image;
    }
    return image.Rescale(plan.scaled.width, plan.scaled.height, FILTER_LANCZOS3, &scratch)
               ? &scratch
               : nullptr;
}

// `picture` in a depth whose pixels can be read directly: 8 bits through a
// palette, 24 or 32; other depths are converted into `scratch`.
const TFreeBitmap* Readable(const TFreeBitmap* picture, TFreeBitmap& scratch) {
    if (!picture) {
        return nullptr;
    }
    const unsigned bpp = FreeImage_GetBPP(picture->Dib());
    if (bpp == 8 || bpp == 24 || bpp == 32) {
        return picture;
    }
    return scratch.Replace(FreeImage_ConvertTo24Bits(picture->Dib())) ? &scratch : nullptr;
}

// Copies `piece` (8, 24 or 32 bits) into `canvas` (24 or 32 bits) with its
// upper left corner at (left, top), clipped to `clip` (inside the canvas);
// each pixel is opaque on a 32-bit canvas.
void Blit(FIBITMAP* canvas, FIBITMAP* piece, long long left, long long top, TArea clip) {
    const int canvasHeight = static_cast<int>(FreeImage_GetHeight(canvas));
    const int width = static_cast<int>(FreeImage_GetWidth(piece));
    const int height = static_cast<int>(FreeImage_GetHeight(piece));
    const int x0 = static_cast<int>(std::max<long long>(clip.x0, left));
    const int x1 = static_cast<int>(std::min<long long>(clip.x1, left + width));
    const int y0 = static_cast<int>(std::max<long long>(clip.y0, top));
    const int y1 = static_cast<int>(std::min<long long>(clip.y1, top + height));
    const unsigned to = FreeImage_GetBPP(canvas) / 8;
    const unsigned from = FreeImage_GetBPP(piece) / 8;
    const RGBQUAD* palette = FreeImage_GetPalette(piece);
    for (int y = y0; y < y1; ++y) {
        // FreeImage keeps the bottom row first.
        BYTE* out =
            FreeImage_GetScanLine(canvas, canvasHeight - 1 - y) + static_cast<std::size_t>(x0) * to;
        const BYTE* in = FreeImage_GetScanLine(piece, static_cast<int>(height - 1 - (y - top))) +
                         static_cast<std::size_t>(x0 - left) * from;
        for (int x = x0; x < x1; ++x, out += to, in += from) {
            if (from == 1) {
                const RGBQUAD grey{in[0], in[0], in[0], 0};
                const RGBQUAD& c = palette ? palette[in[0]] : grey;
                out[FI_RGBA_RED] = c.rgbRed;
                out[FI_RGBA_GREEN] = c.rgbGreen;
                out[FI_RGBA_BLUE] = c.rgbBlue;
            } else {
                out[FI_RGBA_RED] = in[FI_RGBA_RED];
                out[FI_RGBA_GREEN] = in[FI_RGBA_GREEN];
                out[FI_RGBA_BLUE] = in[FI_RGBA_BLUE];
            }
            if (to == 4) {
                out[FI_RGBA_ALPHA] = 0xFF;
            }
        }
    }
}

std::vector<TPixelSize> SizesOf(const std::vector<TMonitor>& monitors) {
    std::vector<TPixelSize> sizes;
    for (const TMonitor& m : monitors) {
        sizes.push_back({m.width, m.height});
    }
    return sizes;
}

bool HaveSizes(const std::vector<TMonitor>& monitors) {
    return !monitors.empty() &&
           std::all_of(monitors.begin(), monitors.end(),
                       [](const TMonitor& m) { return m.width > 0 && m.height > 0; });
}

// The part of `monitor` that lies on a picture of `size`, shifted by
// (-originX, -originY); empty (x0 >= x1 or y0 >= y1) when none does.
TArea AreaOf(const TMonitor& monitor, long long originX, long long originY, TPixelSize size) {
    const long long x = monitor.x - originX;
    const long long y = monitor.y - originY;
    return TArea{static_cast<int>(std::clamp<long long>(x, 0, size.width)),
                 static_cast<int>(std::clamp<long long>(y, 0, size.height)),
                 static_cast<int>(std::clamp<long long>(x + monitor.width, 0, size.width)),
                 static_cast<int>(std::clamp<long long>(y + monitor.height, 0, size.height))};
}

bool ComposeMonitorWallpapers(const std::string& source, int mode, TColor fillColor, int depth,
                              const std::vector<TMonitor>& monitors,
                              const std::vector<std::string>& files,
                              const TComposeOptions& options) {
    TFreeBitmap image;
    std::vector<TComposePlan> plans;
    if (!HaveSizes(monitors) ||
        !LoadForDisplays(source, mode, SizesOf(monitors), fillColor, options, image, plans)) {
        return false;
    }
    // One monitor's bitmap at a time, each written before the next is made.
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TComposePlan& plan = plans[i];
        TFreeBitmap scaled;
        TFreeBitmap converted;
        const TFreeBitmap* fitted = Fitted(image, plan, scaled);
        if (!fitted) {
            return false;
        }
        if (plan.letterBox) {
            TFreeBitmap background;
            const TFreeBitmap* piece = Readable(fitted, converted);
            if (!piece || !background.Replace(SolidImage(plan.canvas.width, plan.canvas.height,
                                                         depth, fillColor))) {
                return false;
            }
            Blit(background.Dib(), piece->Dib(), plan.left, plan.top,
                 TArea{0, 0, plan.canvas.width, plan.canvas.height});
            if (!SaveReplacing(background, files[i])) {
                return false;
            }
        } else if (!SaveReplacing(*fitted, files[i])) {
            return false;
        }
    }
    return true;
}

// One monitor's picture, made before the screen's picture exists: scaled and
// cut to what the monitor shows of it, or the loaded picture itself where it
// is shown unscaled.
struct TMonitorPiece {
    TFreeBitmap own;
    const TFreeBitmap* picture = nullptr;  // none: nothing of it shows
    long long left = 0;                    // where its upper left corner lies
    long long top = 0;
    TArea area;              // the part of the screen the monitor covers
    std::uint32_t band = 0;  // what the monitor shows around the picture
    bool tile = false;
};

// Keeps of a picture of the piece's own only the part its monitor shows, so
// that the pieces of all monitors together are no larger than the screen.
bool CutToArea(TMonitorPiece& piece) {
    if (piece.picture != &piece.own) {
        return true;
    }
    const long long width = piece.own.GetWidth();
    const long long height = piece.own.GetHeight();
    const long long x0 = std::max<long long>(piece.area.x0, piece.left);
    const long long x1 = std::min<long long>(piece.area.x1, piece.left + width);
    const long long y0 = std::max<long long>(piece.area.y0, piece.top);
    const long long y1 = std::min<long long>(piece.area.y1, piece.top + height);
    if (x0 >= x1 || y0 >= y1) {
        piece.own.Clear();
        piece.picture = nullptr;
        return true;
    }
    if (x1 - x0 == width && y1 - y0 == height) {
        return true;
    }
    // FreeImage_Copy counts rows from the top, as Paste does.
    FIBITMAP* cut = FreeImage_Copy(
        piece.own.Dib(), static_cast<int>(x0 - piece.left), static_cast<int>(y0 - piece.top),
        static_cast<int>(x1 - piece.left), static_cast<int>(y1 - piece.top));
    if (!piece.own.Replace(cut)) {
        return false;
    }
    piece.left = x0;
    piece.top = y0;
    return true;
}

// Makes monitor `m`'s piece for a picture of `canvas` pixels whose corner
// lies at (originX, originY) of the desk. A monitor that shows nothing of
// the canvas gets an empty area.
bool MakePiece(TFreeBitmap& image, const TComposePlan& plan, const TMonitor& m, long long originX,
               long long originY, TPixelSize canvas, int mode, int placement, std::uint32_t fill,
               TMonitorPiece& piece) {
    const bool asIs = mode == fmConvertOnly;
    const long long mx = m.x - originX;
    const long long my = m.y - originY;
    piece.area = AreaOf(m, originX, originY, canvas);
    if (piece.area.x0 >= piece.area.x1 || piece.area.y0 >= piece.area.y1) {
        return true;
    }
    // Each monitor shows what one screen of its size shows (see
    // ComposeScreenPicture): an unscaled picture is stretched here with the
    // composer's own filter, letter box bands show the fill colour, whatever
    // else the picture leaves uncovered is black.
    const TFreeBitmap* fitted = Fitted(image, plan, piece.own);
    if (!fitted) {
        return false;
    }
    if (asIs && placement == dpStretch &&
        !(TPixelSize{static_cast<int>(fitted->GetWidth()), static_cast<int>(fitted->GetHeight())} ==
          TPixelSize{m.width, m.height})) {
        if (!image.Rescale(m.width, m.height, FILTER_LANCZOS3, &piece.own)) {
            return false;
        }
        fitted = &piece.own;
    }
    if (fitted == &piece.own) {
        piece.picture = Readable(fitted, piece.own);
    } else {
        TFreeBitmap converted;
        piece.picture = Readable(fitted, converted);
        if (piece.picture == &converted) {
            piece.own.Replace(converted.Release());
            piece.picture = &piece.own;
        }
    }
    if (!piece.picture) {
        return false;
    }
    const long long width = piece.picture->GetWidth();
    const long long height = piece.picture->GetHeight();
    piece.band = plan.letterBox ? fill : 0;
    piece.tile = asIs && placement == dpTile;
    piece.left = plan.letterBox ? mx + plan.left : mx + (m.width - width) / 2;
    piece.top = plan.letterBox ? my + plan.top : my + (m.height - height) / 2;
    return piece.tile || CutToArea(piece);
}

// Every monitor's piece, made before the canvas exists; drops the loaded
// picture when no piece shows it unscaled.
bool MakePieces(TFreeBitmap& image, const std::vector<TComposePlan>& plans,
                const std::vector<TMonitor>& monitors, long long originX, long long originY,
                TPixelSize canvas, int mode, int placement, std::uint32_t fill,
                std::vector<TMonitorPiece>& pieces) {
    pieces = std::vector<TMonitorPiece>(monitors.size());
    bool sourceShown = false;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (!MakePiece(image, plans[i], monitors[i], originX, originY, canvas, mode, placement,
                       fill, pieces[i])) {
            return false;
        }
        sourceShown = sourceShown || pieces[i].picture == &image;
    }
    if (!sourceShown) {
        image.Clear();
    }
    return true;
}

bool ComposeSpannedWallpaper(const std::string& source, int mode, const std::string& destination,
                             TColor fillColor, int depth, const std::vector<TMonitor>& monitors,
                             const TComposeOptions& options) {
    if (!HaveSizes(monitors)) {
        return false;
    }
    long long left = monitors.front().x;
    long long top = monitors.front().y;
    long long right = left + monitors.front().width;
    long long bottom = top + monitors.front().height;
    for (const TMonitor& m : monitors) {
        left = std::min<long long>(left, m.x);
        top = std::min<long long>(top, m.y);
        right = std::max<long long>(right, static_cast<long long>(m.x) + m.width);
        bottom = std::max<long long>(bottom, static_cast<long long>(m.y) + m.height);
    }
    const long long boxWidth = right - left;
    const long long boxHeight = bottom - top;
    if (boxWidth > kMaxComposedSide || boxHeight > kMaxComposedSide ||
        boxWidth * boxHeight > kMaxComposedPixels) {
        return false;
    }
    const TPixelSize box{static_cast<int>(boxWidth), static_cast<int>(boxHeight)};
    TFreeBitmap image;
    std::vector<TComposePlan> plans;
    if (!LoadForDisplays(source, mode, SizesOf(monitors), fillColor, options, image, plans)) {
        return false;
    }
    // The monitors' pictures first, then the box's bitmap without the decoded
    // picture beside it. Each monitor shows its part as the desktop would
    // show that monitor's own bitmap: centred, cut to the monitor; what the
    // picture leaves uncovered shows the fill colour.
    std::vector<TMonitorPiece> pieces;
    if (!MakePieces(image, plans, monitors, left, top, box, mode, dpCenter, 0, pieces)) {
        return false;
    }
    TFreeBitmap canvas;
    if (!canvas.Replace(SolidImage(box.width, box.height, depth, fillColor))) {
        return false;
    }
    for (TMonitorPiece& piece : pieces) {
        if (piece.picture) {
            Blit(canvas.Dib(), piece.picture->Dib(), piece.left, piece.top, piece.area);
        }
        piece.own.Clear();
    }
    return SaveReplacing(canvas, destination);
}

bool ComposeMonitorsScreenParts(const std::string& source, int mode, int placement,
                                TColor fillColor, TPixelSize screen,
                                const std::vector<TMonitor>& monitors, TPictureParts& parts,
                                const TComposeOptions& options) {
    if (screen.width <= 0 || screen.height <= 0 ||
        static_cast<std::int64_t>(screen.width) * screen.height > kMaxComposedPixels ||
        !HaveSizes(monitors)) {
        return false;
    }
    TFreeBitmap image;
    std::vector<TComposePlan> plans;
    if (!LoadForDisplays(source, mode, SizesOf(monitors), fillColor, options, image, plans)) {
        return false;
    }
    const std::uint32_t fill =
        ((fillColor & 0xFF) << 16) | (fillColor & 0xFF00) | ((fillColor >> 16) & 0xFF);
    // One monitor at a time: its piece, its part of the screen, handed on and
    // dropped before the next; the decoded picture goes once the last piece
    // no longer needs it.
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const TMonitor& m = monitors[i];
        TMonitorPiece piece;
        if (!MakePiece(image, plans[i], m, 0, 0, screen, mode, placement, fill, piece)) {
            return false;
        }
        const TArea area = piece.area;
        if (area.x0 >= area.x1 || area.y0 >= area.y1) {
            continue;
        }
        if (i + 1 == monitors.size() && piece.picture != &image) {
            image.Clear();
        }
        TScreenPicture part;
        part.width = area.x1 - area.x0;
        part.height = area.y1 - area.y0;
        part.pixels.assign(static_cast<std::size_t>(part.width) * part.height, piece.band);
        const TArea whole{0, 0, part.width, part.height};
        if (piece.picture) {
            const int width = static_cast<int>(piece.picture->GetWidth());
            const int height = static_cast<int>(piece.picture->GetHeight());
            if (piece.tile) {
                // Tiles start at the monitor's corner; only those that show are placed.
                const long long firstTop =
                    m.y + (area.y0 - m.y) / height * static_cast<long long>(height);
                const long long firstLeft =
                    m.x + (area.x0 - m.x) / width * static_cast<long long>(width);
                for (long long top = firstTop; top < area.y1; top += height) {
                    for (long long left = firstLeft; left < area.x1; left += width) {
                        Place(piece.picture->Dib(), part, static_cast<int>(left - area.x0),
                              static_cast<int>(top - area.y0), whole);
                    }
                }
            } else {
                Place(piece.picture->Dib(), part, static_cast<int>(piece.left - area.x0),
                      static_cast<int>(piece.top - area.y0), whole);
            }
        }
        piece.own.Clear();
        if (!parts.Put(area.x0, area.y0, part)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Compose(const TComposeRequest& request, const TComposeSink& sink,
             const TComposeOptions& options) {
    const std::vector<TMonitor>& monitors = request.monitors;
    if (monitors.empty()) {
        return false;
    }
    const TMonitor& first = monitors.front();
    if (const auto* bitmaps = std::get_if<TMonitorBitmaps>(&sink)) {
        if (bitmaps->files.size() != monitors.size()) {
            return false;
        }
        if (monitors.size() == 1) {
            return ComposeWallpaper(request.source, request.mode, bitmaps->files.front(),
                                    request.fillColor,
                                    TScreenSize{first.width, first.height, request.depth}, options);
        }
        return ComposeMonitorWallpapers(request.source, request.mode, request.fillColor,
                                        request.depth, monitors, bitmaps->files, options);
    }
    if (const auto* spanning = std::get_if<TSpanningBitmap>(&sink)) {
        return ComposeSpannedWallpaper(request.source, request.mode, spanning->file,
                                       request.fillColor, request.depth, monitors, options);
    }
    const TScreenParts& screen = std::get<TScreenParts>(sink);
    if (!screen.parts) {
        return false;
    }
    if (monitors.size() == 1 && first.x == 0 && first.y == 0 && first.width == screen.size.width &&
        first.height == screen.size.height) {
        // One monitor filling the screen: a scaled photograph goes to the
        // screen in bands as it is decoded; other pictures are the screen's
        // picture, one part (decoded only in part where no more of it shows).
        const TStreamed streamed =
            StreamScreenPicture(request.source, request.mode, screen.size, *screen.parts, options);
        if (streamed != TStreamed::kNotTaken) {
            return streamed == TStreamed::kShown;
        }
        if (request.mode == fmConvertOnly &&
            (request.placement == dpCenter || request.placement == dpTile)) {
            const TStreamed unscaled = StreamUnscaledPicture(request.source, request.placement,
                                                             screen.size, *screen.parts, options);
            if (unscaled != TStreamed::kNotTaken) {
                return unscaled == TStreamed::kShown;
            }
            return PutUnscaledPicture(request.source, request.placement, request.fillColor,
                                      screen.size, *screen.parts, options);
        }
        TScreenPicture picture;
        return ComposeScreenPicture(request.source, request.mode, request.placement,
                                    request.fillColor, screen.size, picture, options) &&
               screen.parts->Put(0, 0, picture);
    }
    return ComposeMonitorsScreenParts(request.source, request.mode, request.placement,
                                      request.fillColor, screen.size, monitors, *screen.parts,
                                      options);
}
