#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScreenInfo.h"

class TAccessoryLayer;

// Placements of a wallpaper as the desktop style values number them
// ("WallpaperStyle"): 0 centred, 1 tiled, 2 stretched, 22 one picture spanning
// every monitor. A desktop may report other numbers for placements these
// cannot express (zoom, scaled...).
enum TDesktopPlacement : int { dpCenter = 0, dpTile = 1, dpStretch = 2, dpSpan = 22, dpOther = -1 };

// A monitor and the wallpaper file composed for it.
struct TMonitorFile {
    TMonitor monitor;
    std::string file;
};

// A picture as a screen shows it: width x height words 0x00RRGGBB in the
// host's byte order, top row first.
struct TScreenPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Takes the parts of a screen's picture as they are made, each to be shown
// with its upper left corner at (x, y); false stops the composition.
class TPictureParts {
public:
    virtual bool Put(int x, int y, const TScreenPicture& part) = 0;

    // Paints width x height pixels at (x, y) in one colour, 0x00RRGGBB. A
    // painter that can ask its display to fill does so, sparing the pixels.
    virtual bool Fill(int x, int y, int width, int height, std::uint32_t rgb) {
        TScreenPicture solid{width, 0, {}};
        constexpr int kBand = 64;
        for (int top = 0; top < height; top += kBand) {
            solid.height = std::min(kBand, height - top);
            solid.pixels.assign(static_cast<std::size_t>(width) * solid.height, rgb);
            if (!Put(x, y + top, solid)) {
                return false;
            }
        }
        return true;
    }

    // Covers the screen of width x height pixels with copies of `tile`, the
    // first in the upper left corner. A painter that can ask its display to
    // repeat a picture does so, sparing the pixels.
    virtual bool Tile(const TScreenPicture& tile, int width, int height) {
        if (tile.width <= 0 || tile.height <= 0) {
            return false;
        }
        TScreenPicture whole{width, height, {}};
        whole.pixels.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* from =
                tile.pixels.data() + static_cast<std::size_t>(y % tile.height) * tile.width;
            std::uint32_t* to = whole.pixels.data() + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; x += tile.width) {
                std::copy(from, from + std::min(tile.width, width - x), to + x);
            }
        }
        return Put(0, 0, whole);
    }

    // Whether this painter can repeat what was put in the screen's upper left
    // corner across the screen itself (Repeat), so that a tile may come in
    // bands like any other part.
    virtual bool Repeats() const { return false; }
    // Covers the screen of width x height pixels with copies of the
    // tileWidth x tileHeight pixels put at its upper left corner.
    virtual bool Repeat(int tileWidth, int tileHeight, int width, int height) {
        (void)tileWidth;
        (void)tileHeight;
        (void)width;
        (void)height;
        return false;
    }

protected:
    ~TPictureParts() = default;
};

// Makes the picture of a screen of width x height pixels in parts, each
// handed to `parts` as soon as it is made; false when there is nothing to show.
class TPictureDraw {
public:
    virtual bool Draw(int width, int height, TPictureParts& parts) = 0;

protected:
    ~TPictureDraw() = default;
};

// The roles a desktop may play for the applier. A desktop plays those it
// can and returns none for the others. Paths are bytes and are never
// interpreted by a shell or a script. A role that fails says why in its
// desktop's LastError().

// A desktop that shows a wallpaper file (every desktop but none).
class TFileWallpaper {
public:
    // The placement for the next wallpaper; desktops that keep it apart from
    // the file write it at once, the others use it with the next file.
    virtual bool SetPlacement(TDesktopPlacement placement) = 0;
    // Shows `file` as the wallpaper; an empty name removes the wallpaper.
    // `persist` asks that the change outlive the session where the desktop
    // tells both apart.
    virtual bool SetWallpaperFile(const std::string& file, bool persist) = 0;

protected:
    ~TFileWallpaper() = default;
};

// A desktop that gives each monitor a file of its own: shows each listed
// monitor its file (with the placement last set), every workspace alike; a
// monitor the desktop has not seen before gets its settings created. Monitors
// are matched by name, or by place where the desktop names them otherwise.
class TMonitorWallpapers {
public:
    virtual bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) = 0;

protected:
    ~TMonitorWallpapers() = default;
};

// A desktop that shows one file spanning the box around all monitors.
class TSpanningWallpaper {
public:
    virtual bool SetSpanningWallpaperFile(const std::string& file, bool persist) = 0;

protected:
    ~TSpanningWallpaper() = default;
};

// A desktop that only paints pixels (the plain X root): PaintPicture asks
// `draw` for the picture of the screen, in parts, and shows it under the name
// `label` for CurrentWallpaperFile; what no part covers shows `fill`
// (0x00BBGGRR). False, with LastError() empty, when `draw` made nothing. It
// may be called from a thread other than the one that made the desktop
// (never two at once).
class TPicturePainter {
public:
    virtual bool PaintPicture(TPictureDraw& draw, std::uint32_t fill, const std::string& label) = 0;
    // A painter that draws each output at its own size (`PerOutput`) calls
    // `changed` on the thread that made it when an output is added or changes
    // its size or scale while it shows a picture, or when it can paint no
    // more: the picture is wanted anew.
    virtual bool PerOutput() const { return false; }
    virtual void WatchOutputs(std::function<void()> changed) { (void)changed; }

protected:
    ~TPicturePainter() = default;
};

// What the desktop shows, read and put back: the original wallpaper.
class TWallpaperState {
public:
    // The wallpaper file shown now ("" for none); nothing when it cannot be
    // read. On a desk of several monitors: the primary monitor's.
    virtual std::optional<std::string> CurrentWallpaperFile() = 0;
    // A record of everything the desktop shows as wallpaper now (file,
    // placement, colours, dark variant; every monitor's own setting where the
    // desktop keeps one per monitor, so that monitors unplugged meanwhile get
    // theirs back when they return), and its exact return. Empty when there
    // is nothing to record.
    virtual std::string SaveState() = 0;
    virtual bool RestoreState(const std::string& state) = 0;
    // The state is no longer needed (the original is back for good): files
    // SaveState kept for it may go.
    virtual void DropState(const std::string& state) { (void)state; }

protected:
    ~TWallpaperState() = default;
};

// A desktop that keeps a wallpaper setting of its own, with a policy and a
// placement to read (none for the plain X root).
class TWallpaperSetting {
public:
    // True when the desktop's policy forbids wallpaper changes (a locked key,
    // locked widgets, a kiosk restriction).
    virtual bool ChangesForbidden() = 0;
    // The placement in force now; nothing when the desktop has none to read.
    virtual std::optional<int> CurrentPlacement() = 0;
    // Whether the next pictures are bitmaps composed at their monitor's size
    // in device pixels (true) or pictures as they are (false). A desktop that
    // draws a centred picture at its logical size (scale 2: twice as large)
    // places the former so that it covers the monitor pixel for pixel.
    virtual void SetScreenSized(bool screenSized) { (void)screenSized; }

protected:
    ~TWallpaperSetting() = default;
};

// One desktop: its name, its roles, and why the last thing asked failed.
class TDesktopBackend {
public:
    virtual ~TDesktopBackend() = default;

    // A short name for the log ("GNOME", "X11"...).
    virtual std::string Name() const = 0;

    virtual TFileWallpaper* Files() { return nullptr; }
    virtual TMonitorWallpapers* MonitorFiles() { return nullptr; }
    virtual TSpanningWallpaper* SpanningFile() { return nullptr; }
    virtual TPicturePainter* Painter() { return nullptr; }
    virtual TWallpaperState* State() { return nullptr; }
    virtual TWallpaperSetting* Setting() { return nullptr; }
    // Surfaces of this program's own on the desktop's layer (DesktopAccessory.h).
    virtual TAccessoryLayer* Accessories() { return nullptr; }

    // Why the last operation failed, for the log and the user's warning.
    virtual std::string LastError() const { return lastError_; }

    // False while the desktop's own program (a shell that draws the
    // wallpaper) is not there, say before it has started or while it
    // restarts: what it shows can then be neither read nor changed.
    virtual bool Present() { return true; }

protected:
    std::string lastError_;
};
