#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wallpaper/WallpaperTypes.h"

// What the user chose for the look of the wallpaper, read at every change.
struct TWallpaperChoice {
    std::uint8_t style = wsStretch;    // TWallpaperStyle, taken as stored
    std::uint8_t fitMode = fmStretch;  // TFitMode, taken as stored
    TColor fillColor = 0;
};

// Makes an image file the desktop wallpaper and remembers, at start, the
// wallpaper and the style in force so that they can be put back.
class TWallpaperApplier {
public:
    virtual ~TWallpaperApplier() = default;

    // Start-up, in this order: which desktop is reached and whether changes
    // are allowed; the wallpaper in use; the style in use.
    virtual void DetectActiveDesktop() = 0;
    virtual void RememberOriginalWallpaper() = 0;
    virtual void ReadOriginalStyle() = 0;

    // Composes FileName for the display and hands it to the desktop; an empty
    // FileName removes the wallpaper. A picture that cannot be composed
    // changes nothing. The change may end after the call returns: one change
    // at a time, and changes asked for meanwhile collapse into the latest.
    virtual void SetWallpaper(const std::string& fileName, const TWallpaperChoice& choice) = 0;
    // Each monitor its own picture: `files[i]` on monitor i of the screen's
    // monitors (taken in turn when there are fewer), on a desktop that
    // shows a picture per monitor; elsewhere the first on all of them.
    virtual void SetMonitorWallpapers(const std::vector<std::string>& files,
                                      const TWallpaperChoice& choice) {
        SetWallpaper(files.empty() ? std::string() : files.front(), choice);
    }
    // How many pictures the desk shows at once: one per monitor where the
    // desktop takes a picture per monitor, else one.
    virtual std::size_t PicturesAtOnce() { return 1; }

    // Puts the wallpaper found at start back (Reset to Default, the end of the
    // program); `choice` carries the style found at start.
    virtual void RestoreOriginalWallpaper(const TWallpaperChoice& choice) {
        SetWallpaper(FOriginalWallpaper, choice);
    }
    // Remove Wallpaper: from now on the original is no longer put back.
    virtual void ForgetOriginalWallpaper() { FOriginalWallpaper.clear(); }

    // Called after an orderly end has put the wallpaper found at start back.
    virtual void Finish() {}

    // Lets a change that is on its way to the desktop end, and drops changes
    // asked for after it; called before the original is put back.
    virtual void Settle() {}

    // Whether a change is still on its way to the desktop.
    virtual bool Changing() const { return false; }
    // Called once the last change asked for has ended: with an empty text
    // when the desktop took the picture, otherwise with why it did not.
    std::function<void(const std::string& failure)> FChangesEnded;

    std::string FOriginalWallpaper;  // wallpaper found at start; empty for none
    std::uint8_t FOriginalStyle = wsTile;
    bool FWallpaperChanged = false;   // set by every change that got past composition
    bool FUseActiveDesktop = false;   // the desktop's own wallpaper setting is reachable
    bool FCanChangeWallpaper = true;  // the desktop's policy allows changes
    // Why the last RestoreOriginalWallpaper fell short (the original not back,
    // or the style values not written); empty when all went well.
    std::string FRestoreProblem;
    // The program is ending (the desktop may be gone with the session): a
    // refusal goes to the log only, no box holds the end up.
    bool FEnding = false;
    // The picture of the last change refused as damaged or over its decoding
    // budget, and why ("<file>: <reason>"); empty when it was composed. The
    // caller reports it once.
    std::string FLastRefusal;
};
