// What the slide show asks of the window: a picture for the desktop, the
// look of the Run command, and the reports. Nothing here calls the show back.

#include <QAction>
#include <QLoggingCategory>
#include <algorithm>

#include "app/Main.h"
#include "platform/MessageService.h"
#include "platform/Translate.h"
#include "platform/TrayService.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/WallpaperApplier.h"

Q_LOGGING_CATEGORY(lcSlideShow, "vantoria.slideshow", QtInfoMsg)

void TfrmMain::SetWallpaper(const std::string& fileName) {
    FMonitorPictures.clear();
    FServices.applier->SetWallpaper(
        fileName, TWallpaperChoice{FSettings.FStyle, FSettings.FFitMode, FSettings.FFillColor});
}

void TfrmMain::WhenChangesEnd(std::function<void(const std::string& failure)> ended) {
    if (FServices.applier && FServices.applier->Changing()) {
        FChangeWaiters.push_back(std::move(ended));
    } else {
        ended({});
    }
}

void TfrmMain::ShowPicture(const std::string& path) {
    const std::size_t atOnce = PicturesAtOnce();
    if (atOnce < 2) {
        SetWallpaper(path);
        return;
    }
    // Each monitor the next entry in turn, from the one at the show's
    // position; entries whose file is gone are passed over.
    std::vector<std::string> pictures{path};
    const std::vector<std::size_t>& order = FShow.Order();
    const std::size_t at = std::size_t(std::max(FShow.Position(), 0));
    for (std::size_t step = 1; pictures.size() < atOnce && step < order.size(); ++step) {
        const std::string& next = FShow.Pictures()[order[(at + step) % order.size()]];
        if (FileExistsTest(next)) {
            pictures.push_back(next);
        }
    }
    FMonitorPictures = pictures;
    FServices.applier->SetMonitorWallpapers(
        pictures, TWallpaperChoice{FSettings.FStyle, FSettings.FFitMode, FSettings.FFillColor});
}

std::size_t TfrmMain::PicturesAtOnce() {
    return FSettings.FMonitorSlides && FServices.applier ? FServices.applier->PicturesAtOnce() : 1;
}

void TfrmMain::RunningChanged(bool running) {
    SetRunAction(running);
    if (!running && FServices.tray) {
        FServices.tray->SetHint("Vantoria");
    }
}

void TfrmMain::ReportEmpty() {
    FServices.messages->ShowError(
        TrText("TfrmMain", "Playlist is empty. Please add images to the playlist"));
}

// A file the show passes over is told without holding anything up: the
// show runs on its own, often with nobody at the desk, and a box per file
// would stop it until someone answers. The tray's notice reaches a user who
// is there; the log keeps the list for one who was not.
void TfrmMain::ReportSkipped(const std::string&, const std::string& text) {
    qCWarning(lcSlideShow, "%s; the show goes on with the next picture", text.c_str());
    if (FServices.tray) {
        FServices.tray->ShowNotice("Vantoria", text);
    }
}

void TfrmMain::SetRunAction(bool running) {
    const QString text = running ? tr("Stop Slide Show") : tr("Run Slide Show");
    actRun->setText(text);
    actRun->setToolTip(text);
    actRun->setStatusTip(text);
    actRun->setProperty("imageIndex", running ? 11 : 4);
    emit actRun->changed();
}
