// The window's side of the slide show: the commands hand over to the show.

#include <QAction>

#include "app/Main.h"
#include "wallpaper/WallpaperApplier.h"

void TfrmMain::ShowCurrentSlide() {
    FShow.ShowCurrent();
}
void TfrmMain::FirstSlide() {
    FShow.Step(TSlideStep::First);
}
void TfrmMain::LastSlide() {
    FShow.Step(TSlideStep::Last);
}
void TfrmMain::PrevSlide() {
    FShow.Step(TSlideStep::Previous);
}

void TfrmMain::NextSlide() {
    FShow.Stop();
    if (FShow.Empty()) {
        FSettings.FAutoplay = apNone;
        SaveAutoplay();
        actRestore->trigger();
    }
    FShow.Step(TSlideStep::Next);
}

void TfrmMain::StartSlideShow() {
    FShow.Start();
}
void TfrmMain::StopSlideShow() {
    FShow.Stop();
}

void TfrmMain::SetRunning(bool on) {
    if (on) {
        FShow.Start();
    } else {
        FShow.Stop();
    }
}

void TfrmMain::SlideTimerTimer() {
    FShow.Tick();
}

void TfrmMain::ActionList1Update() {
    const bool any = !FShow.Empty();
    for (QAction* a : {actFirst, actNext, actPrev, actLast, actRun}) {
        a->setEnabled(any);
    }
    actShuffle->setChecked(FSettings.FOrder == 1);
    actKeepWallpaper->setEnabled(FServices.applier && FServices.applier->FWallpaperChanged);
}
