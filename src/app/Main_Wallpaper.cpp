#include "app/Main.h"
#include "wallpaper/WallpaperApplier.h"

void TfrmMain::SetWallpaper(const std::string& fileName) {
    FServices.applier->SetWallpaper(fileName, TWallpaperChoice{FStyle, FFitMode, FFillColor});
}

void TfrmMain::ResetToDefault() {
    StopSlideShow();
    FStyle = FServices.applier->FOriginalStyle;
    if (FServices.applier->FWallpaperChanged) {
        SetWallpaper(FServices.applier->FOriginalWallpaper);
    }
}

void TfrmMain::actRemoveWallPaperExecute() {
    FServices.applier->FOriginalWallpaper.clear();
    StopSlideShow();
    FStyle = FServices.applier->FOriginalStyle;
    SetWallpaper(std::string());
}
