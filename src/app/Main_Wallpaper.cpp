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
    // Only our own picture is recomposed (a slide, or one shown by --set):
    // not before the first, nor once Reset to Default or Remove Wallpaper
    // gave the desktop another.
    const std::string& shown = FShow.ShownFile();
    if (FDestroyed || shown.empty() || !FileExistsTest(shown)) {
        return;
    }
    try {
        if (!FMonitorPictures.empty() && FMonitorPictures.front() == shown) {
            FServices.applier->SetMonitorWallpapers(
                FMonitorPictures,
                TWallpaperChoice{FSettings.FStyle, FSettings.FFitMode, FSettings.FFillColor});
        } else {
            SetWallpaper(shown);
        }
    } catch (...) {
        // As a slide tick: the next slide tries again.
    }
}
