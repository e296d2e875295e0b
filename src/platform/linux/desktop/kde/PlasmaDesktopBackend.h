#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"
#include "platform/linux/desktop/FreshNames.h"

// KDE Plasma 5 and 6, over D-Bus (org.kde.plasmashell /PlasmaShell). Plasma 6
// has typed calls for one screen's wallpaper (setWallpaper, wallpaper); older
// shells only run desktop scripts (evaluateScript), whose text is generated
// with every value written as an escaped string literal, never spliced in.
//
// Plasma keeps showing its cached picture when handed a name it already
// shows. Its own tiling lays the tiles out from the middle of the screen (and
// Plasma 6.6 no longer tiles at all), while a tiled wallpaper starts in the
// top left corner: the picture is tiled here into a bitmap of the screen's
// size, shown stretched.
class TPlasmaDesktopBackend : public TDesktopBackend,
                              public TFileWallpaper,
                              public TMonitorWallpapers,
                              public TWallpaperState,
                              public TWallpaperSetting {
public:
    TPlasmaDesktopBackend(std::string dataFolder, std::function<TScreenSize()> screenSize);

    std::string Name() const override { return "KDE Plasma"; }
    // Plasma keeps its cached picture: it is handed fresh names.
    TFileWallpaper* Files() override { return &fresh_; }
    // Each desktop containment shows the picture of the monitor at its
    // screen's place.
    TMonitorWallpapers* MonitorFiles() override { return &fresh_; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override;
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    void SetScreenSized(bool screenSized) override { screenSized_ = screenSized; }
    bool Present() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

    // One screen's (or desktop containment's) wallpaper: the plugin and its
    // "General" configuration group.
    struct TScreen {
        QString plugin;
        QVariantMap config;
    };

private:
    bool Reachable();
    bool Call(const QString& method, const QVariantList& args, QVariant* result = nullptr);
    std::optional<QString> Evaluate(const QString& script);
    bool HasTypedApi();
    std::optional<std::vector<TScreen>> ReadScreens(bool firstOnly);
    std::optional<TScreen> FirstScreen();
    // Writes `screens[i]` to screen i, or `screens[0]` to every screen.
    bool WriteScreens(const std::vector<TScreen>& screens, bool everyScreen);
    // The picture tiled over a bitmap of `size`; `slot` keeps the copies of
    // different monitors apart.
    std::optional<std::string> TiledCopy(const std::string& file, TScreenSize size, int slot = 0);
    // The image plugin's values for showing `file` in the placement last set
    // on a screen of `size`.
    std::optional<TScreen> ImageScreen(const std::string& file, TScreenSize size, int slot = 0);

    std::string dataFolder_;
    std::function<TScreenSize()> screenSize_;
    TDesktopPlacement placement_ = dpCenter;
    bool screenSized_ = false;
    bool forbidden_ = false;  // the last call was refused by policy
    std::optional<bool> typedApi_;
    std::map<int, int> tiledCopies_;  // copies made, by slot
    TFreshNames fresh_{*this, this};
};
