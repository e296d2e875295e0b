#include "app/ProgramServices.h"

#include <QIcon>
#include <QLoggingCategory>

#include "app/Main.h"
#include "desktop/CoolTrayIcon.h"
#include "desktop/UserSwitch.h"
#include "dialogs/SettingsBox.h"
#include "dialogs/frmAboutBox.h"
#include "platform/linux/registry/HiveFileStore.h"
#include "platform/linux/session/SessionMonitor.h"
#include "platform/qt/QtMessageService.h"
#include "platform/qt/QtScreenInfo.h"
#include "registry/JclRegistry.h"
#include "wallpaper/WallpaperApplier.h"

Q_LOGGING_CATEGORY(lcProgram, "vantoria.program", QtInfoMsg)

namespace {

// Hands every file to the log only; the desktop itself is not changed.
class TLogOnlyApplier : public TWallpaperApplier {
public:
    void DetectActiveDesktop() override {}
    void RememberOriginalWallpaper() override {}
    void ReadOriginalStyle() override {}
    void SetWallpaper(const std::string& fileName, const TWallpaperChoice&) override {
        qCWarning(lcProgram, "no desktop back-end: %s not applied", fileName.c_str());
    }
};

}  // namespace

struct TProgramServices::TImpl {
    TQtMessageService messages{QStringLiteral("Vantoria")};
    TQtScreenInfo screen;
    TLogOnlyApplier applier;
    TCoolTrayIcon tray{QIcon(QStringLiteral(":/images/vantoria.svg"))};
};

TProgramServices::TProgramServices() {
    RegSetStore(std::make_shared<THiveFileStore>(THiveFileStore::DefaultUserHivePath(),
                                                 THiveFileStore::DefaultMachineHivePath()));
    // Session changes come from logind and the screen savers over D-Bus.
    SetSessionNotifierFactory(&MakeLinuxSessionMonitor);
    impl_ = std::make_unique<TImpl>();
    main_.messages = &impl_->messages;
    main_.screen = &impl_->screen;
    main_.applier = &impl_->applier;
    main_.tray = &impl_->tray;
}

TProgramServices::~TProgramServices() = default;

void TProgramServices::Attach(TfrmMain& frmMain) {
    TMessageService* messages = &impl_->messages;
    frmMain.ShowSettingsDialogFn = [messages] { return ShowSettingsDialog(messages); };
    frmMain.ShowAboutBoxFn = [messages] { ShowAboutBox(messages); };
}

void TProgramServices::Detach() {}
