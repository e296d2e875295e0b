#include "app/Main.h"

#include <QAction>

#include <utility>

#include "desktop/UserSwitch.h"
#include "platform/MessageService.h"
#include "platform/ScreenInfo.h"
#include "platform/TrayService.h"
#include "playlist/PlaylistFile.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/WallpaperApplier.h"

TfrmMain::TfrmMain(const TMainServices& services, QWidget* parent)
    : QWidget(parent), FServices(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantoria"));
    FMonitorTimer.setSingleShot(true);
    FMonitorTimer.setInterval(300);
    connect(&FMonitorTimer, &QTimer::timeout, this, &TfrmMain::MonitorsChanged);
    if (FServices.screen) {
        FServices.screen->WatchMonitors([this] { FMonitorTimer.start(); });
    }
    FShow.SetFolderWatch(FServices.folders);
    CreateActions();
    BuildWindow();
    if (FServices.applier) {
        FServices.applier->FChangesEnded = [this](const std::string& failure) {
            // A picture refused leaves the one before on screen.
            FShow.ChangeEnded(failure.empty());
            for (const auto& ended : std::exchange(FChangeWaiters, {})) {
                ended(failure);
            }
        };
    }
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
    if (FServices.applier) {
        FServices.applier->FChangesEnded = nullptr;
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
    FShow.SetPlaylist({});
    FServices.applier->RememberOriginalWallpaper();
    FServices.applier->ReadOriginalStyle();
    SetClockVisible(FSettings.FShowClock);
}

void TfrmMain::StartUp() {
    PrepareState();
    RestoreWindowPlace();
    try {
        if (FileExistsTest(FSettings.FPlayListFile)) {
            // Entries whose files are missing now (a drive not mounted yet) stay:
            // the show passes over them, and the editor saves them back. Only
            // empty lines, which name no file at all, are left out.
            std::vector<std::string> list = ReadPlaylistFile(FSettings.FPlayListFile);
            std::erase_if(list, [](const std::string& p) { return p.empty(); });
            FShow.SetPlaylist(std::move(list));
        }
    } catch (...) {
        FShow.SetPlaylist({});
        FShow.SetPosition(0);
    }
    ActionList1Update();
    if (FSettings.FAutoplay <= 0 || FShow.Empty()) {
        FSettings.FAutoplay = apNone;
        SaveAutoplay();
    } else if (FSettings.FAutoplay == apContinue) {
        actRunExecute();
    } else {
        NextSlide();
        MinimizeApplication();
    }
}

void TfrmMain::FormDestroy() {
    if (FDestroyed) {
        return;
    }
    FDestroyed = true;
    FMonitorTimer.stop();
    StopSlideShow();
    if (isVisible() && !isMinimized()) {
        FSettings.FWindowX = x();
        FSettings.FWindowY = y();
    }
    SaveSettings();
    FShow.SetPlaylist({});
    FServices.applier->FEnding = true;
    try {
        if ((FSettings.FKeepWallpaper || FKeepThisRun) && FServices.applier->FWallpaperChanged) {
            // The picture stays; so does the record of the original, which
            // Reset to Default in a later run puts back.
            FServices.applier->Settle();
        } else {
            ResetToDefault();
            FServices.applier->Finish();
        }
    } catch (...) {
        // The desktop may already be gone at log-off; the record of the
        // original wallpaper stays for the next start.
    }
    UnregisterSessionNotification(this);
}
