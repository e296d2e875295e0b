#include "app/Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>

#include "desktop/UserSwitch.h"
#include "platform/MessageService.h"
#include "platform/ScreenInfo.h"
#include "platform/TrayService.h"
#include "wallpaper/WallpaperApplier.h"

TfrmMain::TfrmMain(const TMainServices& services, QWidget* parent)
    : QWidget(parent), FServices(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantoria"));
    SlideTimer.setObjectName(QStringLiteral("SlideTimer"));
    SlideTimer.setInterval(10000);
    // Queued: the tick runs after the timer's own delivery has returned, so
    // a box the tick opens (a missing file) lets later ticks run while it is
    // open; a timer is never delivered again while its handler runs.
    connect(&SlideTimer, &QTimer::timeout, this, &TfrmMain::SlideTimerTimer, Qt::QueuedConnection);
    MonitorTimer.setObjectName(QStringLiteral("MonitorTimer"));
    MonitorTimer.setSingleShot(true);
    MonitorTimer.setInterval(300);
    connect(&MonitorTimer, &QTimer::timeout, this, &TfrmMain::MonitorsChanged);
    if (FServices.screen) {
        FServices.screen->WatchMonitors([this] { MonitorTimer.start(); });
    }
    CreateActions();
    BuildWindow();
    if (FServices.tray) {
        FServices.tray->SetPopupMenu(PopupMenu);
        connect(FServices.tray, &TTrayService::restoreRequested, this,
                [this] { actRestore->trigger(); });
        // Minimised to the taskbar for want of a tray (a start before the
        // panel): the window joins the tray as soon as one is there.
        connect(FServices.tray, &TTrayService::hostAppeared, this, [this] {
            if (isMinimized() && isVisible()) {
                MinimizeApplication();
            }
        });
    }
}

TfrmMain::~TfrmMain() {
    if (FCreated && !FDestroyed) {
        FormDestroy();
    }
    if (FServices.screen) {
        FServices.screen->WatchMonitors({});
    }
}

void TfrmMain::FormCreate() {
    // The close request is wired by the program block, which owns that
    // channel; here the window is made real and told of session changes.
    winId();
    FCreated = true;
    RegisterSessionNotification(this);
}

void TfrmMain::PrepareState() {
    LoadSettings();
    FServices.applier->DetectActiveDesktop();
    FPlayList.clear();
    FServices.applier->RememberOriginalWallpaper();
    FServices.applier->ReadOriginalStyle();
    SetClockVisible(FShowClock);
}

void TfrmMain::FormDestroy() {
    if (FDestroyed) {
        return;
    }
    FDestroyed = true;
    MonitorTimer.stop();
    StopSlideShow();
    SaveSettings();
    FPlayList.clear();
    FServices.applier->FEnding = true;
    try {
        ResetToDefault();
        FServices.applier->Finish();
    } catch (...) {
        // The desktop may already be gone at log-off; the record of the
        // original wallpaper stays for the next start.
    }
    UnregisterSessionNotification(this);
}

void TfrmMain::LoadSettings() {
    settings::Load(*this, *FServices.screen);
}

void TfrmMain::SaveSettings() {
    settings::Save(*this);
}

void TfrmMain::SaveAutoplay() {
    settings::SaveAutoplay(*this);
}

void TfrmMain::MinimizeApplication() {
    if (FServices.tray && FServices.tray->HostAvailable()) {
        if (!FServices.tray->IconVisible()) {
            FServices.tray->SetIconVisible(true);
        }
        ShowMainWindow = false;
        hide();
        return;
    }
    // No tray host: the taskbar is the only way back to the window.
    ShowMainWindow = true;
    showMinimized();
}

void TfrmMain::RestoreApplication() {
    if (FServices.tray) {
        FServices.tray->SetIconVisible(false);
    }
    ShowMainWindow = true;
    showNormal();
    raise();
    activateWindow();
}

void TfrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The platform's own minimise (a taskbar button, a window manager key)
    // takes the same road to the tray as the Minimise command.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        FServices.tray && FServices.tray->HostAvailable()) {
        QMetaObject::invokeMethod(
            this, [this] { MinimizeApplication(); }, Qt::QueuedConnection);
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the application.
    event->accept();
    emit terminateRequested();
}
