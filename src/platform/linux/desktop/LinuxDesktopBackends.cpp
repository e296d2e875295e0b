#include "platform/linux/desktop/LinuxDesktopBackends.h"

#include "platform/linux/desktop/gnome/GSettingsDesktopBackend.h"
#include "platform/linux/desktop/kde/PlasmaDesktopBackend.h"
#include "platform/linux/desktop/layershell/LayerShellDesktopBackend.h"
#include "platform/linux/desktop/lxqt/PcmanfmQtDesktopBackend.h"
#include "platform/linux/desktop/sway/SwayDesktopBackend.h"
#include "platform/linux/desktop/x11/RootWindowDesktopBackend.h"
#include "platform/linux/desktop/xfce/XfconfDesktopBackend.h"
#include "platform/linux/files/UserFolders.h"
#include "platform/null/NullDesktopBackend.h"

namespace {

std::unique_ptr<TDesktopBackend> FromGSettings(TGSettingsFamily family) {
    auto backend = std::make_unique<TGSettingsDesktopBackend>(std::move(family));
    if (!backend->Available()) {
        return std::make_unique<TNullDesktopBackend>(backend->LastError());
    }
    return backend;
}

}  // namespace

std::unique_ptr<TDesktopBackend> CreateDesktopBackend(const TDesktopDetection& detection,
                                                      const TEnvironment& env,
                                                      const std::string& dataFolder,
                                                      std::function<TScreenSize()> screenSize) {
    switch (detection.kind) {
        case TDesktopKind::Gnome:
            return FromGSettings(GnomeFamily());
        case TDesktopKind::Cinnamon:
            return FromGSettings(CinnamonFamily());
        case TDesktopKind::Mate:
            return FromGSettings(MateFamily());
        case TDesktopKind::Kde:
            return std::make_unique<TPlasmaDesktopBackend>(dataFolder, std::move(screenSize));
        case TDesktopKind::Xfce:
            return std::make_unique<TXfconfDesktopBackend>();
        case TDesktopKind::Lxqt: {
            return std::make_unique<TPcmanfmQtDesktopBackend>(UserFolder(env, TUserFolder::Config),
                                                              dataFolder, std::move(screenSize));
        }
        case TDesktopKind::Sway: {
            // Links for file names sway would interpret go beside the bitmap,
            // or in the runtime folder when the data folder's own name is not plain.
            std::vector<std::string> folders{dataFolder};
            const std::string runtime = VantoriaFolder(env, TUserFolder::Runtime);
            if (!runtime.empty()) {
                folders.push_back(runtime);
            }
            return std::make_unique<TSwayDesktopBackend>(EnvValue(env, "SWAYSOCK"),
                                                         std::move(folders));
        }
        case TDesktopKind::X11:
            return std::make_unique<TRootWindowDesktopBackend>(EnvValue(env, "DISPLAY"),
                                                               dataFolder);
        case TDesktopKind::LayerShell: {
            auto backend = std::make_unique<TLayerShellDesktopBackend>();
            if (!backend->Available()) {
                return std::make_unique<TNullDesktopBackend>(
                    backend->LastError() + " (" + detection.reason +
                    "; VANTORIA_DESKTOP chooses another back-end: " + DesktopBackendNames() + ")");
            }
            return backend;
        }
        default:
            break;
    }
    return std::make_unique<TNullDesktopBackend>(detection.reason);
}

std::string UserDataFolder(const TEnvironment& env) {
    return VantoriaFolder(env, TUserFolder::Data);
}
