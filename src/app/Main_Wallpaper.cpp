#include "app/Main.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/WallpaperApplier.h"

void TfrmMain::SetWallpaper(const std::string& fileName) {
    FServices.applier->SetWallpaper(fileName, TWallpaperChoice{FStyle, FFitMode, FFillColor});
}

void TfrmMain::ResetToDefault() {
    StopSlideShow();
    // A change on its way to the desktop ends first; one asked for after it
    // is dropped, so the original is the last thing the desktop is given.
    FServices.applier->Settle();
    FStyle = FServices.applier->FOriginalStyle;
    FShownEntry = -1;
    if (FServices.applier->FWallpaperChanged) {
        FServices.applier->RestoreOriginalWallpaper(TWallpaperChoice{FStyle, FFitMode, FFillColor});
    }
}

void TfrmMain::actRemoveWallPaperExecute() {
    FServices.applier->ForgetOriginalWallpaper();
    StopSlideShow();
    FStyle = FServices.applier->FOriginalStyle;
    FShownEntry = -1;
    SetWallpaper(std::string());
}

void TfrmMain::MonitorsChanged() {
    // Only our own picture is recomposed: not before the first slide, nor
    // once Reset to Default or Remove Wallpaper gave the desktop another.
    if (FDestroyed || FShownEntry < 0 || FShownFile.empty() || !FileExistsTest(FShownFile)) {
        return;
    }
    try {
        SetWallpaper(FShownFile);
    } catch (...) {
        // As a slide tick: the next slide tries again.
    }
}
