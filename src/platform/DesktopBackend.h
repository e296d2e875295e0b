#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScreenInfo.h"

// Placements of a wallpaper as the desktop style values number them
// ("WallpaperStyle"): 0 centred, 1 tiled, 2 stretched, 22 one picture spanning
// every monitor. A desktop may report other numbers for placements these
// cannot express (zoom, scaled...).
enum TDesktopPlacement : int { dpCenter = 0, dpTile = 1, dpStretch = 2, dpSpan = 22, dpOther = -1 };

// How a desktop shows a wallpaper on a desk of several monitors.
enum class TMultiMonitor {
    kSame,        // one file, placed by the desktop on every monitor alike
    kPerMonitor,  // a file of its own for each monitor: SetMonitorWallpaperFiles
    kSpanned,     // one file spanning the box around all monitors, placement dpSpan
};

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

// Composes the picture for a screen of width x height pixels; false when
// there is nothing to show.
using TPictureSource = std::function<bool(int width, int height, TScreenPicture& picture)>;

// Hands over one part of a screen's picture, to be shown with its upper
// left corner at (x, y); false stops the composition.
using TPicturePut = std::function<bool(int x, int y, const TScreenPicture& part)>;
// Composes the picture for a screen of width x height in parts, each handed
// to `put` as soon as it is made; false when there is nothing to show.
using TPicturePartsSource = std::function<bool(int width, int height, const TPicturePut& put)>;

// One desktop's wallpaper, as the applier needs it: set the wallpaper file,
// set the placement, read back the current file and placement, ask the policy,
// and take and put back a snapshot of the desktop's own wallpaper settings.
// Paths are bytes and are never interpreted by a shell or a script.
class TDesktopBackend {
public:
    virtual ~TDesktopBackend() = default;

    // A short name for the log ("GNOME", "X11"...).
    virtual std::string Name() const = 0;

    // True when the desktop keeps a wallpaper setting of its own that can be
    // read and written; false when the picture is only painted (plain X11).
    virtual bool HasWallpaperSetting() const = 0;

    // True when the desktop's policy forbids wallpaper changes (a locked key,
    // locked widgets, a kiosk restriction).
    virtual bool ChangesForbidden() = 0;

    // The placement for the next wallpaper; desktops that keep it apart from
    // the file write it at once, the others use it with the next file.
    virtual bool SetPlacement(int placement) = 0;

    // Shows `file` as the wallpaper; an empty name removes the wallpaper.
    // `persist` asks that the change outlive the session where the desktop
    // tells both apart. False, with LastError(), when the desktop refused.
    virtual bool SetWallpaperFile(const std::string& file, bool persist) = 0;

    // How this desktop gives several monitors their pictures.
    virtual TMultiMonitor MultiMonitor() const { return TMultiMonitor::kSame; }

    // For kPerMonitor desktops: shows each listed monitor its own file (with
    // the placement last set), every workspace alike; a monitor the desktop
    // has not seen before gets its settings created. Monitors are matched by
    // name, or by place where the desktop names them otherwise. False, with
    // LastError(), when the desktop refused.
    virtual bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) {
        if (files.empty()) {
            lastError_ = "no monitor to show a wallpaper on";
            return false;
        }
        return SetWallpaperFile(files.front().file, persist);
    }

    // The wallpaper file shown now ("" for none); nothing when it cannot be read.
    // On a desk of several monitors: the primary monitor's.
    virtual std::optional<std::string> CurrentWallpaperFile() = 0;
    // The placement in force now; nothing when the desktop has none to read.
    virtual std::optional<int> CurrentPlacement() = 0;

    // A record of everything the desktop shows as wallpaper now (file,
    // placement, colours, dark variant; every monitor's own setting where the
    // desktop keeps one per monitor, so that monitors unplugged meanwhile get
    // theirs back when they return), and its exact return. Empty when there is
    // nothing to record.
    virtual std::string SaveState() = 0;
    virtual bool RestoreState(const std::string& state) = 0;
    // The state is no longer needed (the original is back for good): files
    // SaveState kept for it may go.
    virtual void DropState(const std::string& state) { (void)state; }

    // Desktops that only paint pixels (plain X11) take the picture as the
    // screen shows it instead of a file: PaintPicture asks `compose` for the
    // screen's picture and shows it, under the name `label` for
    // CurrentWallpaperFile. False, with LastError() empty, when `compose`
    // made nothing.
    virtual bool PaintsPictures() const { return false; }
    virtual bool PaintPicture(const TPictureSource& compose, const std::string& label) {
        (void)compose;
        (void)label;
        lastError_ = "this desktop takes files only";
        return false;
    }

    // As PaintPicture, for a picture made in parts (one per monitor): what no
    // part covers shows `background` (0x00RRGGBB). Desktops that cannot take
    // parts get them laid into one picture.
    virtual bool PaintPictureParts(std::uint32_t background, const TPicturePartsSource& compose,
                                   const std::string& label) {
        return PaintPicture(
            [&](int width, int height, TScreenPicture& picture) {
                picture.width = width;
                picture.height = height;
                picture.pixels.assign(static_cast<std::size_t>(width) * height, background);
                return compose(width, height, [&](int x, int y, const TScreenPicture& part) {
                    for (int row = std::max(0, -y); row < part.height && y + row < height; ++row) {
                        for (int col = std::max(0, -x); col < part.width && x + col < width;
                             ++col) {
                            picture.pixels[static_cast<std::size_t>(y + row) * width + x + col] =
                                part.pixels[static_cast<std::size_t>(row) * part.width + col];
                        }
                    }
                    return true;
                });
            },
            label);
    }

    // True when SetPlacement, SetWallpaperFile and PaintPicture may be called from a thread
    // other than the one that made the back-end (never two at once).
    virtual bool HandsOverFromAnyThread() const { return false; }

    // False for desktops that keep showing a cached picture when they are
    // handed the same file name again: they must be given a new name.
    virtual bool ReloadsSameName() const { return true; }

    // Why the last operation failed, for the log and the user's warning.
    virtual std::string LastError() const { return lastError_; }

protected:
    std::string lastError_;
};
