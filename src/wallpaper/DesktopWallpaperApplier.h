#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"
#include "wallpaper/WallpaperApplier.h"

class TBackgroundWork;
class TComposer;
class TDesktopBackend;

// What the applier works with: the desktop, the composer, the tray icon's
// hint, the user's warnings, and the per-user data folder where the converted
// bitmap and the record of the original wallpaper live.
struct TApplierServices {
    TDesktopBackend* desktop = nullptr;
    // None: the picture composer (Compose).
    const TComposer* composer = nullptr;
    std::function<void(const std::string&)> setHint;
    std::function<void(const std::string&)> warn;
    // A picture refused as damaged or over its decoding budget ("<file>:
    // <reason>"), told once per file and run, without holding anything up.
    std::function<void(const std::string&)> refused;
    std::string dataFolder;
    // The monitors the picture is composed for (the primary's size and depth
    // too), read at every change on the caller's thread; none: one monitor
    // of no size.
    TScreenInfo* screen = nullptr;
    // Where a change is composed (and painted, for painting desktops) away
    // from the caller's thread; none: every change runs the same steps to
    // their end inside SetWallpaper.
    TBackgroundWork* background = nullptr;
    // Called on the caller's thread once a change has ended, whatever its outcome.
    std::function<void()> changeEnded;
    // The desktop's own program is not there (a shell that starts late or
    // restarts): a notice that holds nothing up (told at every change that
    // finds it away), and its end once the desktop took a picture again.
    std::function<void(const std::string&)> desktopAway;
    std::function<void()> desktopBack;
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
    void SetMonitorWallpapers(const std::vector<std::string>& files,
                              const TWallpaperChoice& choice) override;
    std::size_t PicturesAtOnce() override;
    void RestoreOriginalWallpaper(const TWallpaperChoice& choice) override;
    void ForgetOriginalWallpaper() override;
    void Finish() override;
    bool Changing() const override { return inFlight_ != nullptr || waiting_.has_value(); }
    void Settle() override;
    // True while a change is on its way to the desktop.
    bool Busy() const { return inFlight_ != nullptr; }

    // "vantoria.bmp" in the per-user data folder.
    std::string ConvertedWallpaperPath() const;
    // The record of the original wallpaper.
    std::string OriginalRecordPath() const;
    // True for the converted bitmap and the names it is handed over under.
    bool IsOwnWallpaper(const std::string& path) const;

private:
    struct TChange;
    // The road of a change: what is composed, for which monitors, into which
    // files or parts, and how the desktop gets it.
    std::shared_ptr<TChange> Plan(const std::string& fileName, const TWallpaperChoice& choice,
                                  const std::vector<std::string>& pictures = {});
    // Runs a change: Work, then Complete on this thread; `background` (or at
    // once, on this thread, where there is none) does the work.
    void Run(const std::shared_ptr<TChange>& change, TBackgroundWork* background);
    // Composes the change, and paints it for painting desktops; touches
    // only the change, the composer and the painter.
    void Work(TChange& change) const;
    // The style values, the hand-over of files, the hint; then the change
    // asked for meanwhile.
    void Complete(const std::shared_ptr<TChange>& change);
    // Gives the desktop the placement and the change's file or files; false
    // (after reporting why) when refused.
    bool HandOver(const TChange& change);
    // The desktop style values of `style`; values that already hold it are
    // not rewritten.
    void WriteStyleValues(std::uint8_t style);
    void ReportFailure(const std::string& what);
    // Reads what the desktop shows now as the original; false while it
    // cannot be read because the desktop is not there.
    bool ReadOriginal();
    // Why `change` did not show its picture; empty when it did.
    std::string Failure(const TChange& change) const;
    // Keeps why the change's picture was refused in FLastRefusal.
    void NoteRefusal(const TChange& change);
    void SetHint(const std::string& fileName);

    TApplierServices services_;
    std::string originalState_;
    int originalPlacement_ = 0;
    bool desktopShowsOriginal_ = true;
    bool warned_ = false;
    // The desktop was not there at start: the original is read again before
    // the first change, and never "put back" while it is not known.
    bool originalUnknown_ = false;
    bool away_ = false;        // the notice of a desktop not there is shown
    std::string lastFailure_;  // what the desktop last said when it refused
    std::set<std::string> refusedFiles_;
    bool restoring_ = false;  // putting the original back: style values may fail
    std::string unrecorded_;  // why the original cannot be recorded, so nothing changes
    TDesktopPlacement placement_ = dpCenter;  // the placement last written
    // The change on its way to the desktop, and the latest one asked for
    // meanwhile: changes asked for during a change collapse into the last.
    std::shared_ptr<TChange> inFlight_;
    std::optional<std::pair<std::vector<std::string>, TWallpaperChoice>> waiting_;
    bool toldOnePicture_ = false;  // the log says once that the desk shows one picture
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The file-name part of a path: what follows its last "/".
std::string FileNamePart(const std::string& path);
