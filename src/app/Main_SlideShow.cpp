#include <QAction>
#include <climits>

#include "app/Main.h"
#include "platform/MessageService.h"
#include "platform/TrayService.h"
#include "playlist/PlaylistFile.h"
#include "wallpaper/FileUtils.h"

namespace {
// The timer counts in signed 32-bit milliseconds; a longer stored interval
// runs at the longest one the timer can hold rather than spinning or stopping.
int IntervalMs(std::int32_t seconds) {
    const long long ms = static_cast<long long>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : int(ms);
}
}  // namespace

void TfrmMain::ShowCurrentSlide() {
    if (FPlayList.empty()) {
        FServices.messages->ShowError("Playlist is empty. Please add images to the playlist");
        return;
    }
    if (FCurrent < 0) {
        FCurrent = 0;
    }
    if (std::size_t(FCurrent) >= FPlayList.size()) {
        return;
    }
    const std::string path = FPlayList[std::size_t(FCurrent)];
    if (FileExistsTest(path)) {
        SetWallpaper(path);
        FShownEntry = FCurrent;
        FShownFile = path;
    } else {
        FCurrent = 0;
        // Ticks go on while the box is open; one box per missing file is
        // enough, however often the show comes round to it meanwhile.
        if (!FMissingFileBoxes.insert(path).second) {
            return;
        }
        struct TClosed {
            std::set<std::string>& open;
            const std::string& path;
            ~TClosed() { open.erase(path); }
        } closed{FMissingFileBoxes, path};
        FServices.messages->ShowError("File \"" + path + "\" does not exists");
    }
}

void TfrmMain::FirstSlide() {
    StopSlideShow();
    FCurrent = 0;
    ShowCurrentSlide();
}

void TfrmMain::LastSlide() {
    StopSlideShow();
    FCurrent = std::int32_t(FPlayList.size()) - 1;
    ShowCurrentSlide();
}

void TfrmMain::NextSlide() {
    StopSlideShow();
    if (FPlayList.empty()) {
        FAutoplay = apNone;
        SaveAutoplay();
        actRestore->trigger();
    }
    const auto count = std::int64_t(FPlayList.size());
    if (FCurrent < count - 1) {
        FCurrent = FCurrent + 1;
    } else {
        FCurrent = 0;
    }
    ShowCurrentSlide();
}

void TfrmMain::PrevSlide() {
    StopSlideShow();
    FCurrent = FCurrent - 1;
    if (FCurrent < 0) {
        FCurrent = std::int32_t(FPlayList.size()) - 1;
    }
    ShowCurrentSlide();
}

void TfrmMain::StartSlideShow() {
    if (FRunning) {
        return;
    }
    try {
        SlideTimer.setInterval(IntervalMs(FChangeTime));
        SlideTimer.start();
        SetRunAction(true);
    } catch (...) {
        FRunning = true;
        throw;
    }
    FRunning = true;
}

void TfrmMain::StopSlideShow() {
    if (!FRunning) {
        return;
    }
    SlideTimer.stop();
    SetRunAction(false);
    if (FServices.tray) {
        FServices.tray->SetHint("Vantoria");
    }
    FRunning = false;
}

void TfrmMain::SetRunAction(bool running) {
    const QString text = running ? QStringLiteral("Stop Slide Show") : QStringLiteral("Run Slide Show");
    actRun->setText(text);
    actRun->setToolTip(text);
    actRun->setStatusTip(text);
    actRun->setProperty("imageIndex", running ? 11 : 4);
    emit actRun->changed();
}

void TfrmMain::SetRunning(bool on) {
    if (on == FRunning) {
        return;
    }
    if (on) {
        StartSlideShow();
    } else {
        StopSlideShow();
    }
}

void TfrmMain::SlideTimerTimer() {
    // A tick queued just before the show stopped (Stop, a navigation command,
    // Options) is dropped: a stopped show applies nothing on its own.
    if (!FRunning) {
        return;
    }
    try {
        if (FPlayList.empty()) {
            StopSlideShow();
            return;
        }
        if (FCurrent < std::int64_t(FPlayList.size())) {
            ShowCurrentSlide();
            FCurrent = FCurrent + 1;
        } else if (FStopAtLast) {
            StopSlideShow();
        } else {
            FCurrent = 0;
        }
    } catch (...) {
        // A failed tick is dropped; the timer keeps its state.
    }
}

void TfrmMain::StartUp() {
    PrepareState();
    try {
        if (FileExistsTest(FPlayListFile)) {
            std::vector<std::string> list = ReadPlaylistFile(FPlayListFile);
            std::erase_if(list, [](const std::string& p) { return !FileExistsTest(p); });
            FPlayList = std::move(list);
        }
    } catch (...) {
        FPlayList.clear();
        FCurrent = 0;
    }
    ActionList1Update();
    if (FAutoplay <= 0 || FPlayList.empty()) {
        FAutoplay = apNone;
        SaveAutoplay();
    } else if (FAutoplay == apContinue) {
        actRunExecute();
    } else {
        NextSlide();
        MinimizeApplication();
    }
}
