// Xlib only, no Qt in this file: their headers clash.
#include "platform/linux/desktop/x11/RootWindowDesktopBackend.h"
#include "platform/linux/files/AtomicFile.h"

#include <FreeImage.h>
#include <X11/Xatom.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

// X errors (a pixmap freed by someone else, a vanished window) are collected
// instead of ending the process, which is what Xlib does by default.
int gXErrors = 0;
int CountXError(Display*, XErrorEvent*) {
    ++gXErrors;
    return 0;
}

// Counts X errors for the life of one operation, then puts the process's own
// handler back.
class TXErrorTrap {
public:
    TXErrorTrap() : previous_(XSetErrorHandler(CountXError)) { gXErrors = 0; }
    ~TXErrorTrap() { XSetErrorHandler(previous_); }
    TXErrorTrap(const TXErrorTrap&) = delete;
    TXErrorTrap& operator=(const TXErrorTrap&) = delete;
    bool Failed() const { return gXErrors != 0; }

private:
    XErrorHandler previous_;
};

struct TDisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using TDisplay = std::unique_ptr<Display, TDisplayCloser>;

// A connection of its own whose loss (the X server died) fails the work in
// hand instead of ending the process from whichever thread paints: the
// program's orderly end, on its own thread, still saves what it can.
Display* OpenDisplay(const std::string& name) {
    Display* d = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (d) {
        XSetIOErrorExitHandler(
            d, [](Display*, void*) {}, nullptr);
    }
    return d;
}

// Pixels as 0x00RRGGBB, top row first.
struct TPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

bool LoadPicture(const std::string& file, TPicture& picture, std::string& error) {
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(file.c_str(), 0);
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(file.c_str());
    }
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        error = "the wallpaper bitmap " + file + " cannot be read";
        return false;
    }
    FIBITMAP* loaded = FreeImage_Load(fif, file.c_str(), 0);
    if (!loaded) {
        error = "the wallpaper bitmap " + file + " cannot be loaded";
        return false;
    }
    FIBITMAP* bits = FreeImage_ConvertTo32Bits(loaded);
    FreeImage_Unload(loaded);
    if (!bits) {
        error = "the wallpaper bitmap " + file + " cannot be converted";
        return false;
    }
    picture.width = static_cast<int>(FreeImage_GetWidth(bits));
    picture.height = static_cast<int>(FreeImage_GetHeight(bits));
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
        // FreeImage keeps the bottom row first.
        const BYTE* row = FreeImage_GetScanLine(bits, picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            const BYTE* p = row + 4 * x;
            picture.pixels[static_cast<std::size_t>(y) * picture.width + x] =
                (std::uint32_t{p[FI_RGBA_RED]} << 16) | (std::uint32_t{p[FI_RGBA_GREEN]} << 8) |
                p[FI_RGBA_BLUE];
        }
    }
    FreeImage_Unload(bits);
    return picture.width > 0 && picture.height > 0;
}

// The picture laid out on a screen of width x height by the placement; what
// it leaves uncovered is black.
TPicture Lay(const TPicture& picture, int placement, int width, int height) {
    TPicture out{width, height,
                 std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    const int left = (width - picture.width) / 2;
    const int top = (height - picture.height) / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sx = 0;
            int sy = 0;
            if (placement == dpTile) {
                sx = x % picture.width;
                sy = y % picture.height;
            } else if (placement == dpStretch) {
                sx = static_cast<int>(static_cast<long long>(x) * picture.width / width);
                sy = static_cast<int>(static_cast<long long>(y) * picture.height / height);
            } else {
                sx = x - left;
                sy = y - top;
                if (sx < 0 || sy < 0 || sx >= picture.width || sy >= picture.height) {
                    continue;
                }
            }
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                picture.pixels[static_cast<std::size_t>(sy) * picture.width + sx];
        }
    }
    return out;
}

Atom AtomOf(Display* d, const char* name) {
    return XInternAtom(d, name, False);
}

// The pixmap a property of the root window names, or None.
Pixmap PixmapProperty(Display* d, Window root, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    Pixmap pixmap = None;
    if (XGetWindowProperty(d, root, AtomOf(d, name), 0, 1, False, XA_PIXMAP, &type, &format, &items,
                           &after, &data) == Success &&
        type == XA_PIXMAP && format == 32 && items == 1 && data) {
        pixmap = *reinterpret_cast<Pixmap*>(data);
    }
    if (data) {
        XFree(data);
    }
    return pixmap;
}

std::optional<std::string> BytesProperty(Display* d, Window root, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<std::string> out;
    if (XGetWindowProperty(d, root, AtomOf(d, name), 0, 1 << 20, False, XA_STRING, &type, &format,
                           &items, &after, &data) == Success &&
        type == XA_STRING && format == 8 && data) {
        out = std::string(reinterpret_cast<const char*>(data), items);
    }
    if (data) {
        XFree(data);
    }
    return out;
}

constexpr const char* kOwnPixmap = "_VANTORIA_PIXMAP";
constexpr const char* kOwnFile = "_VANTORIA_WALLPAPER";

struct TGeometry {
    unsigned width = 0;
    unsigned height = 0;
    unsigned depth = 0;
};

// The size and depth of the drawable `id`, or nothing when there is none
// (under a TXErrorTrap, whose count the expected refusal leaves alone).
std::optional<TGeometry> GeometryOf(Display* d, Drawable id) {
    XSync(d, False);
    const int errorsBefore = gXErrors;
    TGeometry g;
    Window root = None;
    int x = 0;
    int y = 0;
    unsigned border = 0;
    const bool found = XGetGeometry(d, id, &root, &x, &y, &g.width, &g.height, &border, &g.depth);
    XSync(d, False);
    if (!found || gXErrors != errorsBefore) {
        gXErrors = errorsBefore;
        return std::nullopt;
    }
    return g;
}

// Frees the previous setter's resources, as careful setters do, only when
// that setter is known to have kept them: both properties name the same
// pixmap and that pixmap still exists. XKillClient ends whichever client the
// id's base belongs to now; a setter that ended without keeping its pixmap
// leaves an id the server hands to the next client that connects, and a
// window or a pixmap that client makes may carry the very same id. So the id
// must name a pixmap (a window answers XGetWindowAttributes, a pixmap does
// not) of the root's depth.
bool IsPixmap(Display* d, XID id) {
    const std::optional<TGeometry> geometry = GeometryOf(d, id);
    if (!geometry || geometry->depth != static_cast<unsigned>(DefaultDepth(d, DefaultScreen(d)))) {
        return false;
    }
    const int errorsBefore = gXErrors;
    XWindowAttributes attributes{};
    const bool window = XGetWindowAttributes(d, id, &attributes) != 0;
    XSync(d, False);
    const bool pixmap = !window && gXErrors != errorsBefore;
    gXErrors = errorsBefore;  // the expected refusal of a pixmap is no failure
    return pixmap;
}

// The pixmaps in `keep` (the original picture and its copy) stay: they are
// put back at the end.
void FreePreviousSetter(Display* d, Window root, const std::vector<unsigned long>& keep) {
    const Pixmap a = PixmapProperty(d, root, "_XROOTPMAP_ID");
    const Pixmap b = PixmapProperty(d, root, "ESETROOT_PMAP_ID");
    if (a == None || a != b || std::find(keep.begin(), keep.end(), a) != keep.end()) {
        return;
    }
    if (IsPixmap(d, a)) {
        XKillClient(d, a);
    }
}

// True when the screen's pixels are 32-bit words 0x00RRGGBB, the only
// layout the pictures come in.
bool SupportedVisual(Display* dpy, std::string& error) {
    const int screen = DefaultScreen(dpy);
    const int depth = DefaultDepth(dpy, screen);
    Visual* visual = DefaultVisual(dpy, screen);
    if ((depth != 24 && depth != 32) || visual->red_mask != 0xff0000 ||
        visual->green_mask != 0xff00 || visual->blue_mask != 0xff) {
        error = "the X screen's visual (depth " + std::to_string(depth) + ") is not supported";
        return false;
    }
    return true;
}

// Puts width x height words 0x00RRGGBB in the host's byte order, top row
// first (the X image's own format, so they go to the server as they are),
// into `pixmap` at (x, y).
bool PutPixels(Display* dpy, Pixmap pixmap, GC gc, int x, int y, int width, int height,
               const std::uint32_t* pixels) {
    const int screen = DefaultScreen(dpy);
    XImage* image = XCreateImage(
        dpy, DefaultVisual(dpy, screen), static_cast<unsigned>(DefaultDepth(dpy, screen)), ZPixmap,
        0, reinterpret_cast<char*>(const_cast<std::uint32_t*>(pixels)),
        static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) {
        return false;
    }
    image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    XPutImage(dpy, pixmap, gc, image, 0, 0, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    image->data = nullptr;  // the pixels are the caller's
    XDestroyImage(image);
    return true;
}

// Makes `pixmap` the root background on a connection whose resources outlive
// it, and advertises it. `ownFile` marks the pixmap as this program's, with
// the file it shows; nothing marks a restored original. The pixmap is whole
// and kept before any property names it: a program ended half-way never
// leaves the next setter an id that may have been handed on.
bool InstallPixmap(Display* dpy, Pixmap pixmap, const std::optional<std::string>& ownFile,
                   const std::vector<unsigned long>& keep, const TXErrorTrap& trap,
                   std::string& error) {
    const Window root = DefaultRootWindow(dpy);
    XSetCloseDownMode(dpy, RetainPermanent);
    XSync(dpy, False);
    if (trap.Failed()) {
        XFreePixmap(dpy, pixmap);
        XSetCloseDownMode(dpy, DestroyAll);
        XSync(dpy, False);
        error = "the X server refused the root picture";
        return false;
    }
    FreePreviousSetter(dpy, root, keep);
    XSetWindowBackgroundPixmap(dpy, root, pixmap);
    XClearWindow(dpy, root);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        XChangeProperty(dpy, root, AtomOf(dpy, name), XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pixmap), 1);
    }
    if (ownFile) {
        XChangeProperty(dpy, root, AtomOf(dpy, kOwnPixmap), XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pixmap), 1);
        XChangeProperty(dpy, root, AtomOf(dpy, kOwnFile), XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(ownFile->data()),
                        static_cast<int>(ownFile->size()));
    } else {
        XDeleteProperty(dpy, root, AtomOf(dpy, kOwnPixmap));
        XDeleteProperty(dpy, root, AtomOf(dpy, kOwnFile));
    }
    XSync(dpy, False);
    if (trap.Failed()) {
        error = "the X server refused the root picture";
        return false;
    }
    return true;
}

// Makes `pixels` (a screen-sized picture) the root background.
bool PaintRoot(Display* dpy, int pictureWidth, int pictureHeight, const std::uint32_t* pixels,
               const std::optional<std::string>& ownFile, const std::vector<unsigned long>& keep,
               std::string& error) {
    TXErrorTrap trap;
    if (!SupportedVisual(dpy, error)) {
        return false;
    }
    const Window root = DefaultRootWindow(dpy);
    const Pixmap pixmap = XCreatePixmap(
        dpy, root, static_cast<unsigned>(pictureWidth), static_cast<unsigned>(pictureHeight),
        static_cast<unsigned>(DefaultDepth(dpy, DefaultScreen(dpy))));
    GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
    const bool put = PutPixels(dpy, pixmap, gc, 0, 0, pictureWidth, pictureHeight, pixels);
    XFreeGC(dpy, gc);
    if (!put) {
        XFreePixmap(dpy, pixmap);
        error = "no X image for the root picture";
        return false;
    }
    return InstallPixmap(dpy, pixmap, ownFile, keep, trap, error);
}

bool PaintRoot(const std::string& displayName, const TPicture& picture,
               const std::optional<std::string>& ownFile, const std::vector<unsigned long>& keep,
               std::string& error) {
    TDisplay d(OpenDisplay(displayName));
    if (!d) {
        error = "the X display " + displayName + " cannot be opened";
        return false;
    }
    return PaintRoot(d.get(), picture.width, picture.height, picture.pixels.data(), ownFile, keep,
                     error);
}

// Binary PPM: a format any image tool reads, so a kept copy can be looked at.
// Replaced whole, readable by the user alone: it is a picture of the user's
// desktop. Empty on success, else why not.
std::string WritePpm(const std::string& path, const TPicture& picture) {
    std::string bytes =
        "P6\n" + std::to_string(picture.width) + ' ' + std::to_string(picture.height) + "\n255\n";
    const std::size_t header = bytes.size();
    bytes.resize(header + picture.pixels.size() * 3);
    char* out = bytes.data() + header;
    for (const std::uint32_t p : picture.pixels) {
        *out++ = static_cast<char>((p >> 16) & 0xff);
        *out++ = static_cast<char>((p >> 8) & 0xff);
        *out++ = static_cast<char>(p & 0xff);
    }
    return WriteFileAtomically(path, bytes);
}

// Reads a copy written by WritePpm, and nothing else: a regular file, opened
// without waiting, whose size is exactly what its header announces. The copy's
// name comes from a file on disk that anyone may have edited.
bool ReadPpm(const std::string& path, TPicture& picture) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct TCloser {
        int fd;
        ~TCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    char head[32] = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::pread(fd, head, sizeof head - 1, 0) < 8) {
        return false;
    }
    int width = 0;
    int height = 0;
    int used = 0;
    // One blank after the maximum value, then the pixels, whatever their bytes.
    if (std::sscanf(head, "P6\n%5d %5d\n255%n", &width, &height, &used) != 2 || used == 0 ||
        !std::isspace(static_cast<unsigned char>(head[used++])) || width <= 0 || height <= 0 ||
        width > 32768 || height > 32768 ||
        info.st_size != used + static_cast<off_t>(width) * height * 3) {
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(static_cast<std::size_t>(width) * height, 0);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3);
    off_t at = used;
    for (int y = 0; y < height; ++y, at += static_cast<off_t>(row.size())) {
        if (::pread(fd, row.data(), row.size(), at) != static_cast<ssize_t>(row.size())) {
            return false;
        }
        for (int x = 0; x < width; ++x) {
            picture.pixels[static_cast<std::size_t>(y) * width + x] =
                (std::uint32_t{row[3 * x]} << 16) | (std::uint32_t{row[3 * x + 1]} << 8) |
                row[3 * x + 2];
        }
    }
    return true;
}

// Takes any setter's picture off the root and stops advertising it: the root
// shows plain black, `colour` when `black` is false and a colour is given, or
// else its own background.
bool ClearRoot(const std::string& displayName, const std::vector<unsigned long>& keep, bool black,
               std::string& error, std::optional<unsigned long> colour = std::nullopt) {
    TDisplay d(OpenDisplay(displayName));
    if (!d) {
        error = "the X display " + displayName + " cannot be opened";
        return false;
    }
    TXErrorTrap trap;
    Display* dpy = d.get();
    const Window root = DefaultRootWindow(dpy);
    FreePreviousSetter(dpy, root, keep);
    if (black || colour) {
        XSetWindowBackground(dpy, root, black ? BlackPixel(dpy, DefaultScreen(dpy)) : *colour);
    } else {
        XSetWindowBackgroundPixmap(dpy, root, None);
    }
    XClearWindow(dpy, root);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID", kOwnPixmap, kOwnFile}) {
        XDeleteProperty(dpy, root, AtomOf(dpy, name));
    }
    XSync(dpy, False);
    return true;
}

// The top left 2x2 pixels of what the root shows as its background, windows
// aside: read through a small window that shows its parent's background
// (ParentRelative), on top for an instant. Empty when they cannot be read.
// Called inside a TXErrorTrap; its errors are not left to the caller's.
std::vector<std::uint32_t> BackgroundCorner(Display* dpy, Window root) {
    const int errorsBefore = gXErrors;
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = ParentRelative;
    attributes.override_redirect = True;
    const Window probe =
        XCreateWindow(dpy, root, 0, 0, 2, 2, 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixmap | CWOverrideRedirect, &attributes);
    XMapRaised(dpy, probe);
    XClearWindow(dpy, probe);
    XSync(dpy, False);
    std::vector<std::uint32_t> pixels;
    XImage* image =
        gXErrors != errorsBefore ? nullptr : XGetImage(dpy, probe, 0, 0, 2, 2, AllPlanes, ZPixmap);
    if (image) {
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x) {
                pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffff);
            }
        }
        XDestroyImage(image);
    }
    XDestroyWindow(dpy, probe);
    XSync(dpy, False);
    if (gXErrors != errorsBefore) {
        pixels.clear();
        gXErrors = errorsBefore;
    }
    return pixels;
}

// The same corner of a picture advertised on the root.
std::vector<std::uint32_t> PixmapCorner(Display* dpy, Pixmap pixmap) {
    std::vector<std::uint32_t> pixels;
    if (XImage* image = XGetImage(dpy, pixmap, 0, 0, 2, 2, AllPlanes, ZPixmap)) {
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x) {
                pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xffffff);
            }
        }
        XDestroyImage(image);
    }
    return pixels;
}

// The state of a root without a picture: "solid" and its colour when the
// corner shows one colour (xsetroot -solid), else "none" (the server's own
// pattern comes back by itself).
std::string PlainRootState(Display* dpy, const std::vector<std::uint32_t>& corner) {
    std::string error;
    if (corner.size() != 4 || !SupportedVisual(dpy, error) ||
        std::count(corner.begin(), corner.end(), corner[0]) != 4) {
        return "none\n";
    }
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06X", static_cast<unsigned>(corner[0]));
    return std::string("solid\n") + colour;
}

// A print of a picture's pixels: its top, middle and bottom rows. Tells the
// original picture from whatever pixmap later came to carry its id, at the
// cost of three rows read back. Nothing when they cannot be read.
std::optional<std::uint64_t> Fingerprint(Display* dpy, Pixmap pixmap, unsigned width,
                                         unsigned height) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned row : {0u, height / 2, height - 1}) {
        XImage* image =
            XGetImage(dpy, pixmap, 0, static_cast<int>(row), width, 1, AllPlanes, ZPixmap);
        if (!image) {
            return std::nullopt;
        }
        for (unsigned col = 0; col < width; ++col) {
            const auto p = static_cast<std::uint32_t>(XGetPixel(image, static_cast<int>(col), 0));
            for (int shift = 0; shift < 24; shift += 8) {
                hash = (hash ^ ((p >> shift) & 0xff)) * 1099511628211ull;
            }
        }
        XDestroyImage(image);
    }
    return hash;
}

// The original picture as the record names it: its pixmap, the copy kept in
// the server, their size and print.
struct TKeptOriginal {
    unsigned long original = 0;
    unsigned long copy = 0;
    unsigned width = 0;
    unsigned height = 0;
    std::uint64_t print = 0;
};

constexpr const char* kKeptPrefix = "pixmap\n";

std::string KeptRecord(const TKeptOriginal& kept) {
    char text[128];
    std::snprintf(text, sizeof text, "%s%lx %lx %u %u %016llx", kKeptPrefix, kept.original,
                  kept.copy, kept.width, kept.height, static_cast<unsigned long long>(kept.print));
    return text;
}

std::optional<TKeptOriginal> ParseKept(const std::string& state) {
    const std::string prefix = kKeptPrefix;
    if (state.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    TKeptOriginal kept;
    unsigned long long print = 0;
    int used = 0;
    const std::string rest = state.substr(prefix.size());
    if (std::sscanf(rest.c_str(), "%lx %lx %u %u %llx%n", &kept.original, &kept.copy, &kept.width,
                    &kept.height, &print, &used) != 5 ||
        static_cast<std::size_t>(used) != rest.size() || kept.width == 0 || kept.height == 0 ||
        kept.width > 32768 || kept.height > 32768) {
        return std::nullopt;
    }
    kept.print = print;
    return kept;
}

// True when `id` is still the very picture the record names: a pixmap of its
// size whose print matches.
bool StillKept(Display* dpy, unsigned long id, const TKeptOriginal& kept) {
    if (id == None || !IsPixmap(dpy, id)) {
        return false;
    }
    const std::optional<TGeometry> geometry = GeometryOf(dpy, id);
    return geometry && geometry->width == kept.width && geometry->height == kept.height &&
           Fingerprint(dpy, id, kept.width, kept.height) == kept.print;
}

// A copy of `pixmap` made inside the server (no pixel leaves it) on a
// connection of its own that keeps it when it closes: the next setter, which
// frees the resources of whoever made the shown picture, leaves it alone.
// None when the server cannot hold it.
Pixmap KeepCopy(const std::string& displayName, Pixmap pixmap, const TGeometry& geometry) {
    TDisplay d(OpenDisplay(displayName));
    if (!d) {
        return None;
    }
    Display* dpy = d.get();
    TXErrorTrap trap;
    const Pixmap copy =
        XCreatePixmap(dpy, DefaultRootWindow(dpy), geometry.width, geometry.height, geometry.depth);
    GC gc = XCreateGC(dpy, copy, 0, nullptr);
    XCopyArea(dpy, pixmap, copy, gc, 0, 0, geometry.width, geometry.height, 0, 0);
    XFreeGC(dpy, gc);
    XSync(dpy, False);
    if (trap.Failed()) {
        XFreePixmap(dpy, copy);
        XSync(dpy, False);
        return None;
    }
    XSetCloseDownMode(dpy, RetainPermanent);
    XSync(dpy, False);
    return trap.Failed() ? None : copy;
}

}  // namespace

TRootWindowDesktopBackend::TRootWindowDesktopBackend(std::string displayName,
                                                     std::string stateFolder)
    : displayName_(std::move(displayName)), stateFolder_(std::move(stateFolder)) {
    // Pictures are painted from a thread of their own, each on a connection
    // of its own; a no-op when the toolkit has already made Xlib thread-safe.
    XInitThreads();
}

namespace {

// Memory shared with the X server (MIT-SHM): a part's pixels reach the pixmap
// without passing through the connection's socket, a band of rows at a time
// (a few megabytes, not a second copy of the screen). None where the server
// offers none (a remote display), and the parts go by XPutImage. Called
// inside a TXErrorTrap; the refusal of a remote server is no failure.
class TSharedPixels {
public:
    TSharedPixels(Display* dpy, int width, int height)
        : dpy_(dpy), rows_(std::clamp((4 << 20) / std::max(width * 4, 1), 1, std::max(height, 1))) {
        const std::size_t bytes = static_cast<std::size_t>(std::max(width, 1)) * rows_ * 4;
        int major = 0;
        int minor = 0;
        Bool pixmaps = False;
        if (!XShmQueryVersion(dpy, &major, &minor, &pixmaps)) {
            return;
        }
        info_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (info_.shmid < 0) {
            return;
        }
        void* at = shmat(info_.shmid, nullptr, 0);
        if (at == reinterpret_cast<void*>(-1)) {
            shmctl(info_.shmid, IPC_RMID, nullptr);
            return;
        }
        info_.shmaddr = static_cast<char*>(at);
        info_.readOnly = True;
        const int errorsBefore = gXErrors;
        const bool attached = XShmAttach(dpy, &info_) != 0;
        XSync(dpy, False);
        // Gone from the system once both sides let go, whatever happens.
        shmctl(info_.shmid, IPC_RMID, nullptr);
        if (!attached || gXErrors != errorsBefore) {
            gXErrors = errorsBefore;
            shmdt(info_.shmaddr);
            info_.shmaddr = nullptr;
            return;
        }
        width_ = width;
    }
    ~TSharedPixels() {
        if (width_ != 0) {
            XShmDetach(dpy_, &info_);
            XSync(dpy_, False);
            shmdt(info_.shmaddr);
        }
    }
    TSharedPixels(const TSharedPixels&) = delete;
    TSharedPixels& operator=(const TSharedPixels&) = delete;

    // Puts the pixels as PutPixels does; false when they are wider than the
    // shared memory, which then leaves them to XPutImage.
    bool Put(Pixmap pixmap, GC gc, int x, int y, int width, int height,
             const std::uint32_t* pixels) {
        if (width_ == 0 || width > width_) {
            return false;
        }
        const int screen = DefaultScreen(dpy_);
        XImage* image = XShmCreateImage(dpy_, DefaultVisual(dpy_, screen),
                                        static_cast<unsigned>(DefaultDepth(dpy_, screen)), ZPixmap,
                                        info_.shmaddr, &info_, static_cast<unsigned>(width),
                                        static_cast<unsigned>(rows_));
        if (!image) {
            return false;
        }
        const bool fits = image->bytes_per_line == width * 4 && image->bits_per_pixel == 32;
        for (int top = 0; fits && top < height; top += rows_) {
            const int rows = std::min(rows_, height - top);
            std::memcpy(info_.shmaddr, pixels + static_cast<std::size_t>(top) * width,
                        static_cast<std::size_t>(width) * rows * 4);
            XShmPutImage(dpy_, pixmap, gc, image, 0, 0, x, y + top, static_cast<unsigned>(width),
                         static_cast<unsigned>(rows), False);
            // The server has read the band before the next one overwrites it.
            XSync(dpy_, False);
        }
        image->data = nullptr;
        XDestroyImage(image);
        return fits;
    }

private:
    Display* dpy_;
    int rows_;
    XShmSegmentInfo info_{};
    int width_ = 0;  // the widest part the memory takes; 0 without it
};

// The parts of the root's picture, each put into the pixmap as it comes and
// flushed to the server before the next is made and this one dropped. What
// no part covers shows the fill; a first part that covers everything saves
// filling.
class TPixmapParts final : public TPictureParts {
public:
    TPixmapParts(Display* dpy, Pixmap pixmap, int width, int height, std::uint32_t fill)
        : dpy_(dpy),
          pixmap_(pixmap),
          gc_(XCreateGC(dpy, pixmap, 0, nullptr)),
          width_(width),
          height_(height),
          // The desktop's colours are 0x00BBGGRR, the root's pixels 0x00RRGGBB.
          fill_(((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF)),
          shared_(dpy, width, height) {
        XSetForeground(dpy, gc_, fill_);
    }
    ~TPixmapParts() { XFreeGC(dpy_, gc_); }
    TPixmapParts(const TPixmapParts&) = delete;
    TPixmapParts& operator=(const TPixmapParts&) = delete;

    bool Put(int x, int y, const TScreenPicture& part) override {
        if (!filled_ && !(x == 0 && y == 0 && part.width == width_ && part.height == height_)) {
            Fill();
        }
        filled_ = true;
        put_ = put_ &&
               (shared_.Put(pixmap_, gc_, x, y, part.width, part.height, part.pixels.data()) ||
                PutPixels(dpy_, pixmap_, gc_, x, y, part.width, part.height, part.pixels.data()));
        XFlush(dpy_);
        return put_;
    }
    // The server fills: no pixel crosses the connection.
    bool Fill(int x, int y, int width, int height, std::uint32_t rgb) override {
        if (width <= 0 || height <= 0) {
            return put_;
        }
        XSetForeground(dpy_, gc_, rgb);
        XFillRectangle(dpy_, pixmap_, gc_, x, y, static_cast<unsigned>(width),
                       static_cast<unsigned>(height));
        XSetForeground(dpy_, gc_, fill_);
        filled_ = filled_ || (x <= 0 && y <= 0 && x + width >= width_ && y + height >= height_);
        return put_;
    }
    // One tile crosses the connection; the server copies it across the
    // pixmap, doubling what is done at each step.
    bool Tile(const TScreenPicture& tile, int width, int height) override {
        if (tile.width <= 0 || tile.height <= 0 || width != width_ || height != height_) {
            return TPictureParts::Tile(tile, width, height);
        }
        const int w = std::min(tile.width, width_);
        const int h = std::min(tile.height, height_);
        filled_ = true;  // the copies cover every pixel
        TScreenPicture first;
        const TScreenPicture* put = &tile;
        if (w != tile.width || h != tile.height) {
            first.width = w;
            first.height = h;
            first.pixels.resize(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y) {
                std::copy_n(tile.pixels.data() + static_cast<std::size_t>(y) * tile.width, w,
                            first.pixels.data() + static_cast<std::size_t>(y) * w);
            }
            put = &first;
        }
        return Put(0, 0, *put) && Repeat(w, h, width, height);
    }
    bool Repeats() const override { return true; }
    // The server copies the corner across the pixmap, doubling what is done
    // at each step.
    bool Repeat(int tileWidth, int tileHeight, int width, int height) override {
        if (tileWidth <= 0 || tileHeight <= 0 || width != width_ || height != height_) {
            return false;
        }
        const int w = std::min(tileWidth, width_);
        const int h = std::min(tileHeight, height_);
        filled_ = true;  // the copies cover every pixel
        XSetGraphicsExposures(dpy_, gc_, False);
        for (int done = w; done < width_; done *= 2) {
            XCopyArea(dpy_, pixmap_, pixmap_, gc_, 0, 0, static_cast<unsigned>(done),
                      static_cast<unsigned>(h), done, 0);
        }
        for (int done = h; done < height_; done *= 2) {
            XCopyArea(dpy_, pixmap_, pixmap_, gc_, 0, 0, static_cast<unsigned>(width_),
                      static_cast<unsigned>(done), 0, done);
        }
        XFlush(dpy_);
        return put_;
    }
    // True when every part reached the pixmap.
    bool Finish() {
        if (!filled_) {
            Fill();
        }
        return put_;
    }

private:
    void Fill() {
        XFillRectangle(dpy_, pixmap_, gc_, 0, 0, static_cast<unsigned>(width_),
                       static_cast<unsigned>(height_));
    }

    Display* dpy_;
    Pixmap pixmap_;
    GC gc_;
    int width_;
    int height_;
    std::uint32_t fill_;
    bool filled_ = false;
    bool put_ = true;
    TSharedPixels shared_;
};

}  // namespace

bool TRootWindowDesktopBackend::PaintPicture(TPictureDraw& draw, std::uint32_t fill,
                                             const std::string& label) {
    // One connection tells the root's size and carries the picture: the
    // picture is composed for exactly what the root shows.
    TDisplay d(OpenDisplay(displayName_));
    if (!d) {
        lastError_ = "the X display " + displayName_ + " cannot be opened";
        return false;
    }
    Display* dpy = d.get();
    TXErrorTrap trap;
    if (!SupportedVisual(dpy, lastError_)) {
        return false;
    }
    const int screen = DefaultScreen(dpy);
    const int width = DisplayWidth(dpy, screen);
    const int height = DisplayHeight(dpy, screen);
    const Pixmap pixmap = XCreatePixmap(dpy, DefaultRootWindow(dpy), static_cast<unsigned>(width),
                                        static_cast<unsigned>(height),
                                        static_cast<unsigned>(DefaultDepth(dpy, screen)));
    bool composed = false;
    bool put = false;
    {
        TPixmapParts parts(dpy, pixmap, width, height, fill);
        composed = draw.Draw(width, height, parts);
        put = parts.Finish();
    }
    if (!composed || !put) {
        XFreePixmap(dpy, pixmap);
        XSync(dpy, False);
        if (!put) {
            lastError_ = "no X image for the root picture";
        } else {
            lastError_.clear();
        }
        return false;
    }
    return InstallPixmap(dpy, pixmap, label, kept_, trap, lastError_);
}

bool TRootWindowDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

bool TRootWindowDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    if (file.empty()) {
        // No wallpaper: the root shows plain black, and no pixmap is advertised.
        return ClearRoot(displayName_, kept_, true, lastError_);
    }
    TPicture picture;
    if (!LoadPicture(file, picture, lastError_)) {
        return false;
    }
    TDisplay d(OpenDisplay(displayName_));
    if (!d) {
        lastError_ = "the X display " + displayName_ + " cannot be opened";
        return false;
    }
    const int screen = DefaultScreen(d.get());
    const TPicture laid =
        Lay(picture, placement_, DisplayWidth(d.get(), screen), DisplayHeight(d.get(), screen));
    return PaintRoot(d.get(), laid.width, laid.height, laid.pixels.data(), file, kept_, lastError_);
}

std::optional<std::string> TRootWindowDesktopBackend::CurrentWallpaperFile() {
    TDisplay d(OpenDisplay(displayName_));
    if (!d) {
        lastError_ = "the X display " + displayName_ + " cannot be opened";
        return std::nullopt;
    }
    const Window root = DefaultRootWindow(d.get());
    const Pixmap shown = PixmapProperty(d.get(), root, "_XROOTPMAP_ID");
    if (shown != None && shown == PixmapProperty(d.get(), root, kOwnPixmap)) {
        return BytesProperty(d.get(), root, kOwnFile).value_or(std::string());
    }
    return std::string();
}

// "copy" and the copy's path when a setter's picture is shown; else "solid"
// and the root's colour, or "none" for the server's own background.
std::string TRootWindowDesktopBackend::SaveState() {
    TDisplay d(OpenDisplay(displayName_));
    if (!d) {
        lastError_ = "the X display " + displayName_ + " cannot be opened";
        return std::string();
    }
    TXErrorTrap trap;
    Display* dpy = d.get();
    const Window root = DefaultRootWindow(dpy);
    // What the root really shows; a picture property another tool left
    // behind does not count unless its picture is that background.
    const std::vector<std::uint32_t> corner = BackgroundCorner(dpy, root);
    const Pixmap shown = PixmapProperty(dpy, root, "_XROOTPMAP_ID");
    if (shown == None) {
        return PlainRootState(dpy, corner);
    }
    const std::optional<TGeometry> geometry = GeometryOf(dpy, shown);
    if (!geometry || geometry->width == 0 || geometry->height == 0 ||
        (corner.size() == 4 && geometry->width >= 2 && geometry->height >= 2 &&
         PixmapCorner(dpy, shown) != corner)) {
        // A stale property: its pixmap is gone, or is not what the root shows.
        return PlainRootState(dpy, corner);
    }
    const unsigned width = geometry->width;
    const unsigned height = geometry->height;
    // The setter kept its pixmap for the root: it is the original, put back
    // at the end as it is. Its copy in the server stands in should it go.
    if (const std::optional<std::uint64_t> print = Fingerprint(dpy, shown, width, height)) {
        if (const Pixmap copy = KeepCopy(displayName_, shown, *geometry); copy != None) {
            kept_ = {shown, copy};
            return KeptRecord(TKeptOriginal{shown, copy, width, height, *print});
        }
    }
    // A server that cannot hold a copy: the pixels go to a file.
    XImage* image = XGetImage(dpy, shown, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) {
        lastError_ = "the root picture cannot be read";
        return std::string();
    }
    TPicture picture{static_cast<int>(width), static_cast<int>(height),
                     std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (unsigned row = 0; row < height; ++row) {
        for (unsigned col = 0; col < width; ++col) {
            picture.pixels[static_cast<std::size_t>(row) * width + col] =
                static_cast<std::uint32_t>(
                    XGetPixel(image, static_cast<int>(col), static_cast<int>(row))) &
                0xffffff;
        }
    }
    XDestroyImage(image);
    if (const std::string why = WritePpm(CopyPath(), picture); !why.empty()) {
        lastError_ = "the copy of the root picture cannot be written to " + CopyPath() + ": " + why;
        return std::string();
    }
    // The file puts the picture back: the setter's pixmap is freed at the
    // first change, as any setter's.
    return "copy\n" + CopyPath();
}

namespace {

// The root points at the original pixmap again, or at its copy when the
// original is gone; this program's own picture is freed.
bool RestoreKept(const std::string& displayName, const TKeptOriginal& kept,
                 const std::vector<unsigned long>& keep, std::string& error) {
    TDisplay d(OpenDisplay(displayName));
    if (!d) {
        error = "the X display " + displayName + " cannot be opened";
        return false;
    }
    Display* dpy = d.get();
    TXErrorTrap trap;
    Pixmap back = None;
    for (const unsigned long id : {kept.original, kept.copy}) {
        if (StillKept(dpy, id, kept)) {
            back = id;
            break;
        }
    }
    if (back == None) {
        std::string ignored;
        ClearRoot(displayName, keep, false, ignored);
        error = "the root picture found at start is gone; the root shows its own background";
        return false;
    }
    const Window root = DefaultRootWindow(dpy);
    FreePreviousSetter(dpy, root, keep);
    XSetWindowBackgroundPixmap(dpy, root, back);
    XClearWindow(dpy, root);
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        XChangeProperty(dpy, root, AtomOf(dpy, name), XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&back), 1);
    }
    XDeleteProperty(dpy, root, AtomOf(dpy, kOwnPixmap));
    XDeleteProperty(dpy, root, AtomOf(dpy, kOwnFile));
    XSync(dpy, False);
    if (trap.Failed()) {
        error = "the X server refused the root picture";
        return false;
    }
    return true;
}

}  // namespace

bool TRootWindowDesktopBackend::RestoreState(const std::string& state) {
    if (state == "none\n") {
        // No setter's picture was shown: the root gets its own background back.
        return ClearRoot(displayName_, kept_, false, lastError_);
    }
    if (const std::optional<TKeptOriginal> kept = ParseKept(state)) {
        kept_ = {kept->original, kept->copy};
        return RestoreKept(displayName_, *kept, kept_, lastError_);
    }
    const std::string solid = "solid\n";
    if (state.compare(0, solid.size(), solid) == 0) {
        // A plain colour (xsetroot -solid): the root gets that colour back.
        unsigned long colour = 0;
        const char* first = state.data() + solid.size();
        const char* last = state.data() + state.size();
        const auto [end, ec] = std::from_chars(first, last, colour, 16);
        if (ec != std::errc() || end != last || last - first != 6) {
            lastError_ = "the record of the root picture is damaged";
            return false;
        }
        return ClearRoot(displayName_, kept_, false, lastError_, colour);
    }
    const std::string prefix = "copy\n";
    if (state.compare(0, prefix.size(), prefix) != 0) {
        lastError_ = "the record of the root picture is damaged";
        return false;
    }
    TPicture picture;
    if (!ReadPpm(state.substr(prefix.size()), picture)) {
        // What the root showed is lost; the root gets at least its own
        // background rather than our picture.
        std::string ignored;
        ClearRoot(displayName_, kept_, false, ignored);
        lastError_ = "the copy of the root picture " + state.substr(prefix.size()) +
                     " cannot be read; the root shows its own background";
        return false;
    }
    return PaintRoot(displayName_, picture, std::nullopt, kept_, lastError_);
}

void TRootWindowDesktopBackend::DropState(const std::string& state) {
    if (state == "copy\n" + CopyPath()) {
        ::unlink(CopyPath().c_str());
        return;
    }
    // The copy in the server goes, unless the root shows it (the original
    // was gone) or the id names something else by now.
    const std::optional<TKeptOriginal> kept = ParseKept(state);
    if (!kept) {
        return;
    }
    TDisplay d(OpenDisplay(displayName_));
    if (!d) {
        return;
    }
    Display* dpy = d.get();
    TXErrorTrap trap;
    if (PixmapProperty(dpy, DefaultRootWindow(dpy), "_XROOTPMAP_ID") != kept->copy &&
        StillKept(dpy, kept->copy, *kept)) {
        XKillClient(dpy, kept->copy);
        XSync(dpy, False);
    }
}
