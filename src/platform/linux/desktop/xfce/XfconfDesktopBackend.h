#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <string>

#include "platform/DesktopBackend.h"

// XFCE's wallpaper: the xfconf channel "xfce4-desktop", reached over D-Bus
// (org.xfce.Xfconf). Every monitor and workspace has its own
// /backdrop/screen0/monitor<NAME>/workspace<N>/last-image and image-style;
// each one present is changed, so every workspace shows the picture.
class TXfconfDesktopBackend : public TDesktopBackend {
public:
    TXfconfDesktopBackend();

    std::string Name() const override { return "XFCE"; }
    bool HasWallpaperSetting() const override { return true; }
    bool ChangesForbidden() override;
    bool SetPlacement(int placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;
    // xfdesktop keeps its picture when handed the name it already shows.
    bool ReloadsSameName() const override { return false; }

private:
    // The backdrops present: ".../workspace<N>" prefixes, sorted.
    QStringList Backdrops();
    bool Call(const QString& method, const QVariantList& args, QVariant* result = nullptr);
    bool SetProperty(const QString& property, const QVariant& value);
    std::optional<QVariant> GetProperty(const QString& property);

    int placement_ = dpCenter;
};
