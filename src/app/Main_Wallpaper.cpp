// The wallpaper found at start: Reset to Default and Remove Wallpaper, and the
// picture on screen composed anew when the monitors change.

#include "app/Main.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/WallpaperApplier.h"

void TfrmMain::ResetToDefault() {
    FShow.Stop();
    // A change on its way to the desktop ends first; one asked for after it
    // is dropped, so the original is the last thing the desktop is given.
    FServices.applier->Settle();
    FSettings.FStyle = FServices.applier->FOriginalStyle;
    FShow.ForgetShown();
    if (FServices.applier->FWallpaperChanged) {
        FServices.applier->RestoreOriginalWallpaper(
            TWallpaperChoice{FSettings.FStyle, FSettings.FFitMode, FSettings.FFillColor});
    }
}

void TfrmMain::actRemoveWallPaperExecute() {
    FServices.applier->ForgetOriginalWallpaper();
    FShow.Stop();
    FSettings.FStyle = FServices.applier->FOriginalStyle;
    FShow.ForgetShown();
    SetWallpaper(std::string());
}

void TfrmMain::MonitorsChanged() {
    // Only our own picture is recomposed: not before the first slide, nor
    // once Reset to Default or Remove Wallpaper gave the desktop another.
    const std::string& shown = FShow.ShownFile();
    if (FDestroyed || FShow.ShownEntry() < 0 || shown.empty() || !FileExistsTest(shown)) {
        return;
    }
    try {
        SetWallpaper(shown);
    } catch (...) {
        // As a slide tick: the next slide tries again.
    }
}
