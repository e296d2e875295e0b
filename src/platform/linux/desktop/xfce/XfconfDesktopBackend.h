#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <string>

#include "platform/DesktopBackend.h"
#include "platform/linux/desktop/FreshNames.h"

// XFCE's wallpaper: the xfconf channel "xfce4-desktop", reached over D-Bus
// (org.xfce.Xfconf). Every monitor and workspace has its own
// /backdrop/screen0/monitor<NAME>/workspace<N>/last-image and image-style;
// each one present is changed, so every workspace shows the picture. On a desk
// of several monitors each monitor gets a picture of its own, in every
// workspace, its keys created when xfdesktop has none for it yet.
//
// xfdesktop reloads a backdrop on every change of either key, and aborts now
// and then when a reload supersedes one still loading: a key is written only
// when its value differs, so a new picture in the same style is one reload.
class TXfconfDesktopBackend : public TDesktopBackend,
                              public TFileWallpaper,
                              public TMonitorWallpapers,
                              public TWallpaperState,
                              public TWallpaperSetting {
public:
    TXfconfDesktopBackend();

    std::string Name() const override { return "XFCE"; }
    // xfdesktop keeps its picture when handed the name it already shows: it
    // is handed fresh names.
    TFileWallpaper* Files() override { return &fresh_; }
    TMonitorWallpapers* MonitorFiles() override { return &fresh_; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override;
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

private:
    // The backdrops present: ".../workspace<N>" prefixes, sorted.
    QStringList Backdrops();
    bool Call(const QString& method, const QVariantList& args, QVariant* result = nullptr);
    bool SetProperty(const QString& property, const QVariant& value);
    std::optional<QVariant> GetProperty(const QString& property);
    // Shows `path` in the placement last set on the backdrop at `prefix`,
    // writing only what differs.
    bool ShowOn(const QString& prefix, const QString& path);

    TDesktopPlacement placement_ = dpCenter;
    TFreshNames fresh_{*this, this};
};
