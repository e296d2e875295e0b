// The window's side of the slide show: the commands hand over to the show,
// and the show's requests reach the desktop, the Run command and the tray.

#include <QAction>
#include <QLoggingCategory>

#include "app/Main.h"
#include "platform/MessageService.h"
#include "platform/TrayService.h"

Q_LOGGING_CATEGORY(lcSlideShow, "vantoria.slideshow", QtInfoMsg)

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

void TfrmMain::RunningChanged(bool running) {
    SetRunAction(running);
    if (!running && FServices.tray) {
        FServices.tray->SetHint("Vantoria");
    }
}

void TfrmMain::ReportEmpty() {
    FServices.messages->ShowError("Playlist is empty. Please add images to the playlist");
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
    const QString text =
        running ? QStringLiteral("Stop Slide Show") : QStringLiteral("Run Slide Show");
    actRun->setText(text);
    actRun->setToolTip(text);
    actRun->setStatusTip(text);
    actRun->setProperty("imageIndex", running ? 11 : 4);
    emit actRun->changed();
}

void TfrmMain::ActionList1Update() {
    const bool any = !FShow.Empty();
    for (QAction* a : {actFirst, actNext, actPrev, actLast, actRun}) {
        a->setEnabled(any);
    }
}
