#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"
#include "wallpaper/WallpaperApplier.h"

class TBackgroundWork;
class TDesktopBackend;

// Renders `source` into the wallpaper bitmap `destination` in composition
// mode `mode` for a display of `display`; false when nothing could be
// written. It may run on a thread of its own: it touches nothing but its
// arguments and the files they name.
using TComposeFunction =
    std::function<bool(const std::string& source, int mode, const std::string& destination,
                       TColor fillColor, const TScreenSize& display)>;

// Composes `source` in mode `mode` as a screen of width x height pixels shows
// it with the desktop's `placement`, for desktops that only paint pixels; as
// thread-safe as TComposeFunction.
using TComposePictureFunction =
    std::function<bool(const std::string& source, int mode, int placement, TColor fillColor,
                       int width, int height, TScreenPicture& picture)>;

// For a desk of several monitors, each composing `source` once for all
// monitors (see Composer.h), as thread-safe as TComposeFunction:
// each monitor's bitmap written to its file;
using TComposeMonitorsFunction =
    std::function<bool(const std::string& source, int mode, TColor fillColor, int depth,
                       const std::vector<TMonitorFile>& files)>;
// one bitmap of the box around all monitors, each monitor's part composed for it;
using TComposeSpannedFunction =
    std::function<bool(const std::string& source, int mode, const std::string& destination,
                       TColor fillColor, int depth, const std::vector<TMonitor>& monitors)>;
// the picture of a screen of width x height, each monitor's part at its
// place, handed to `put` one monitor at a time.
using TComposeMonitorsPictureFunction = std::function<bool(
    const std::string& source, int mode, int placement, TColor fillColor,
    const std::vector<TMonitor>& monitors, int width, int height, const TPicturePut& put)>;

// What the applier works with: the desktop, the composer, the tray icon's
// hint, the user's warnings, and the per-user data folder where the converted
// bitmap and the record of the original wallpaper live.
struct TApplierServices {
    TDesktopBackend* desktop = nullptr;
    TComposeFunction compose;
    std::function<void(const std::string&)> setHint;
    std::function<void(const std::string&)> warn;
    std::string dataFolder;
    // The display the picture is composed for, read at every change on the
    // caller's thread; none: the composer is told an empty size.
    TScreenInfo* screen = nullptr;
    // Where a change is composed (and, for desktops that allow it, handed
    // over) away from the caller's thread; none: every change runs to its end
    // inside SetWallpaper.
    TBackgroundWork* background = nullptr;
    // For desktops that paint pixels: no bitmap file is written for them.
    TComposePictureFunction composePicture;
    // Called on the caller's thread once a change has ended, whatever its outcome.
    std::function<void()> changeEnded;
    // On a desk of two or more monitors (`screen`'s Monitors(), read at every
    // change), each monitor gets a picture composed for it, as the desktop
    // takes them; where one is unset, the desktop gets the primary's picture.
    TComposeMonitorsFunction composeMonitors;
    TComposeSpannedFunction composeSpanned;
    TComposeMonitorsPictureFunction composeMonitorsPicture;
};

// The wallpaper applier over one desktop back-end.
//
// The wallpaper and placement found at start are recorded on disk until an
// orderly end has put them back; a start that finds the desktop showing this
// program's own bitmap takes the original from that record.
class TDesktopWallpaperApplier : public TWallpaperApplier {
public:
    explicit TDesktopWallpaperApplier(TApplierServices services);
    ~TDesktopWallpaperApplier() override;

    void DetectActiveDesktop() override;
    void RememberOriginalWallpaper() override;
    void ReadOriginalStyle() override;
    void SetWallpaper(const std::string& fileName, const TWallpaperChoice& choice) override;
    void RestoreOriginalWallpaper(const TWallpaperChoice& choice) override;
    void ForgetOriginalWallpaper() override;
    void Finish() override;
    void Settle() override;
    // True while a change is on its way to the desktop.
    bool Busy() const { return inFlight_ != nullptr; }

    // Writes the desktop style values of `style` and hands its placement to
    // the desktop; a style outside 0 to 2 writes nothing.
    void WriteWallpaperStyle(std::uint8_t style);
    // "vantoria.bmp" in the per-user data folder.
    std::string ConvertedWallpaperPath() const;
    // Whether the desktop keeps a wallpaper setting of its own.
    bool ShellSupportsActiveDesktop() const;
    // The record of the original wallpaper.
    std::string OriginalRecordPath() const;
    // True for the converted bitmap and the names it is handed over under.
    bool IsOwnWallpaper(const std::string& path) const;

private:
    struct TChange;
    // SetWallpaper; true when the desktop took the picture.
    bool Apply(const std::string& fileName, const TWallpaperChoice& choice);
    // The composition mode, the style written and the placement of a change.
    std::shared_ptr<TChange> Plan(const std::string& fileName, const TWallpaperChoice& choice);
    // Starts a change in the background; Complete ends it on this thread.
    void Start(const std::string& fileName, const TWallpaperChoice& choice);
    void Work(TChange& change) const;
    // Whether the change goes to the desktop as pixels rather than a file.
    bool PaintsPicture(const TChange& change) const;
    // Composes the change's picture and has the desktop paint it.
    void Paint(TChange& change) const;
    void Complete(const std::shared_ptr<TChange>& change);
    // A change on a desk of several monitors: how each monitor gets its picture.
    void PlanMonitors(TChange& change, std::vector<TMonitor> monitors);
    void ComposeMonitors(TChange& change) const;
    // Gives the desktop the placement, then each monitor's file or the
    // spanning bitmap; false, with the desktop's LastError(), when refused.
    bool HandOverMonitors(TChange& change) const;
    // The style values and the hand-over of a per-monitor change, on this thread.
    bool DeliverMonitors(TChange& change);
    // The desktop style values of `style`; values that already hold it are
    // not rewritten.
    void WriteStyleValues(std::uint8_t style);
    // Hands `file` to the desktop; false (after reporting why) when refused.
    bool HandOver(const std::string& file);
    std::string FreshName(const std::string& converted);
    void ReportFailure(const std::string& what);
    // Keeps why the change's picture was refused in FLastRefusal.
    void NoteRefusal(const TChange& change);
    void SetHint(const std::string& fileName);

    TApplierServices services_;
    std::string originalState_;
    int originalPlacement_ = 0;
    bool desktopShowsOriginal_ = true;
    bool warned_ = false;
    bool restoring_ = false;  // putting the original back: style values may fail
    std::string unrecorded_;  // why the original cannot be recorded, so nothing changes
    unsigned handOvers_ = 0;
    unsigned monitorChanges_ = 0;
    int placement_ = dpCenter;  // the placement last written
    // The change on its way to the desktop, and the latest one asked for
    // meanwhile: changes asked for during a change collapse into the last.
    std::shared_ptr<TChange> inFlight_;
    std::optional<std::pair<std::string, TWallpaperChoice>> waiting_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The file-name part of a path: what follows its last "/".
std::string FileNamePart(const std::string& path);
