#include "app/ProgramServices.h"

#include <algorithm>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "app/CommandTable.h"
#include "app/ProgramDialogs.h"
#include "platform/Translate.h"
#include "desktop/CoolTrayIcon.h"
#include "desktop/UserSwitch.h"
#include "platform/linux/memory/Heap.h"
#include "platform/linux/registry/HiveFileStore.h"
#include "platform/linux/screen/WaylandOutputs.h"
#include "platform/linux/session/SessionMonitor.h"
#include "platform/linux/thread/BackgroundPriority.h"
#include "platform/linux/tray/TrayHostMonitor.h"
#include "platform/qt/QtMessageService.h"
#include "platform/qt/QtScreenInfo.h"
#include "registry/JclRegistry.h"
#include "wallpaper/WallpaperApplier.h"
#include "platform/linux/desktop/LinuxDesktopBackends.h"
#include "platform/linux/files/InotifyFolderWatch.h"
#include "wallpaper/BackgroundWork.h"
#include "wallpaper/DesktopWallpaperApplier.h"

Q_LOGGING_CATEGORY(lcProgram, "vantoria.program", QtInfoMsg)

namespace {

// The desktop of this session, found from the environment.
std::unique_ptr<TDesktopBackend> SessionDesktop(const std::string& dataFolder,
                                                TScreenInfo& screen) {
    const TEnvironment env = ProcessEnvironment();
    const TDesktopDetection detection = DetectDesktop(env);
    qCDebug(lcProgram, "desktop: %s (%s)", DesktopKindName(detection.kind),
            detection.reason.c_str());
    return CreateDesktopBackend(detection, env, dataFolder,
                                [&screen] { return screen.PrimaryScreenSize(); });
}

// Changes run on a thread of their own, below the main thread's priority.
// With the debug log of vantoria.program on, a heartbeat on the main thread
// notes the longest time it went without its event loop during each change,
// from the change's start to its completion there: what a user feels as a
// frozen window.
class TWatchedWork : public TBackgroundWork {
public:
    explicit TWatchedWork(TThreadWork::TPost post) : work_(std::move(post)) {
        heartbeat_.setInterval(2);
        QObject::connect(&heartbeat_, &QTimer::timeout, [this] { Beat(); });
    }
    void Run(std::function<void()> work, std::function<void()> done) override {
        if (lcProgram().isDebugEnabled()) {
            if (heartbeat_.isActive() && ending_) {
                Report();  // a change asked for meanwhile starts as the last one ends
            }
            longest_ = 0;
            ending_ = false;
            clock_.start();
            heartbeat_.start();
        }
        work_.Run(
            [work = std::move(work)] {
                LowerThisThreadPriority();
                work();
            },
            std::move(done));
    }
    void Wait() override { work_.Wait(); }
    bool WaitFor(std::chrono::milliseconds patience) override { return work_.WaitFor(patience); }
    void Abandon() override { work_.Abandon(); }
    // The change has ended on the main thread: the next beat closes the watch.
    void Ended() { ending_ = true; }

private:
    void Beat() {
        longest_ = std::max(longest_, clock_.restart());
        if (ending_) {
            heartbeat_.stop();
            Report();
        }
    }
    void Report() {
        qCDebug(lcProgram, "main thread held up at most %lld ms during the change",
                static_cast<long long>(std::max(longest_, clock_.elapsed())));
    }

    TThreadWork work_;
    QTimer heartbeat_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
    bool ending_ = false;
};

// The display's monitors as Qt sees them; a painter of each output (the
// layer-shell drawer, on a connection of its own) also tells of its outputs
// changing, so the picture on screen is composed anew for them too.
class TDeskScreen final : public TScreenInfo {
public:
    TDeskScreen(TScreenInfo& screen, TDesktopBackend& desktop)
        : screen_(screen), desktop_(desktop) {}
    TScreenSize PrimaryScreenSize() override { return screen_.PrimaryScreenSize(); }
    std::vector<TMonitor> Monitors() override { return screen_.Monitors(); }
    void WatchMonitors(std::function<void()> changed) override {
        if (TPicturePainter* painter = desktop_.Painter()) {
            painter->WatchOutputs(changed);
        }
        screen_.WatchMonitors(std::move(changed));
    }

private:
    TScreenInfo& screen_;
    TDesktopBackend& desktop_;
};

}  // namespace

struct TProgramServices::TImpl {
    TQtMessageService messages{QStringLiteral("Vantoria")};
    TQtScreenInfo screen;
    std::string dataFolder = UserDataFolder(ProcessEnvironment());
    std::unique_ptr<TDesktopBackend> desktop = SessionDesktop(dataFolder, screen);
    TDeskScreen deskScreen{screen, *desktop};
    // Changes are composed on a thread of their own and end on the GUI
    // thread, through this object's place in its event loop.
    QObject completions;
    TWatchedWork background{[this](std::function<void()> done) {
        QMetaObject::invokeMethod(&completions, std::move(done), Qt::QueuedConnection);
    }};
    QPointer<QMessageBox> awayBox;
    TDesktopWallpaperApplier applier{ApplierServices()};
    TLinuxTrayHostMonitor trayHosts;
    TCoolTrayIcon tray{ProgramTrayIcon(), trayHosts};
    TProgramDialogs dialogs{messages};
    TInotifyFolderWatch folders;

    TApplierServices ApplierServices() {
        TApplierServices s;
        s.desktop = desktop.get();
        s.setHint = [this](const std::string& hint) { tray.SetHint(hint); };
        s.warn = [this](const std::string& text) { messages.ShowWarning(text); };
        // A desktop that is not there yet (or restarting): a box that waits
        // for nobody, closed as soon as the desktop is back or takes a
        // picture again.
        s.desktopAway = [this](const std::string& text) {
            if (awayBox) {
                return;
            }
            awayBox = new QMessageBox(QMessageBox::Warning,
                                      QCoreApplication::translate("TQtMessageService", "Warning"),
                                      DisplayText(text), QMessageBox::Ok);
            awayBox->setAttribute(Qt::WA_DeleteOnClose);
            awayBox->setWindowModality(Qt::NonModal);
            auto* back = new QTimer(awayBox);
            QObject::connect(back, &QTimer::timeout, awayBox, [this] {
                if (desktop->Present()) {
                    awayBox->close();
                }
            });
            back->start(2000);
            awayBox->show();
        };
        s.desktopBack = [this] {
            if (awayBox) {
                awayBox->close();
            }
        };
        s.refused = [this](const std::string& text) {
            tray.ShowNotice(
                "Vantoria",
                TextArgs(TrText("TProgramServices", "The picture cannot be shown: %1"), {text}));
        };
        s.dataFolder = dataFolder;
        s.screen = &screen;
        s.background = &background;
        s.changeEnded = [this] {
            ReturnFreeHeap();
            background.Ended();
        };
        return s;
    }
};

TProgramServices::TProgramServices() {
    TuneHeapForPictures();
    RegSetStore(std::make_shared<THiveFileStore>(THiveFileStore::DefaultUserHivePath(),
                                                 THiveFileStore::DefaultMachineHivePath()));
    // Session changes come from logind and the screen savers over D-Bus.
    SetSessionNotifierFactory(&MakeLinuxSessionMonitor);
    impl_ = std::make_unique<TImpl>();
    main_.messages = &impl_->messages;
    main_.accessories = impl_->desktop->Accessories();
    // On Wayland each output's picture is composed at the compositor's own
    // mode, never at Qt's size times the scale (GNOME at scale 2 would get
    // twice the screen).
    impl_->screen.SetDeviceSizes([](std::vector<TMonitor>& monitors) {
        if (QGuiApplication::platformName() != QStringLiteral("wayland")) {
            return;
        }
        const std::vector<TWaylandOutput> outputs = ReadWaylandOutputs();
        for (TMonitor& monitor : monitors) {
            if (const auto output = FindWaylandOutput(outputs, monitor.name)) {
                monitor.width = output->width;
                monitor.height = output->height;
            }
        }
    });
    main_.screen = &impl_->deskScreen;
    main_.applier = &impl_->applier;
    main_.tray = &impl_->tray;
    main_.dialogs = &impl_->dialogs;
    main_.folders = &impl_->folders;
    main_.dataFolder = impl_->dataFolder;
}

TProgramServices::~TProgramServices() = default;
