#pragma once

#include "platform/DesktopBackend.h"

// The desktop of a session this program cannot reach: nothing is changed,
// and every attempt says why, so that the user can find out.
class TNullDesktopBackend : public TDesktopBackend, public TFileWallpaper, public TWallpaperState {
public:
    // `reason` names what was found instead of a supported desktop.
    explicit TNullDesktopBackend(std::string reason);

    std::string Name() const override { return "none"; }
    TFileWallpaper* Files() override { return this; }
    TWallpaperState* State() override { return this; }

    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::string SaveState() override { return std::string(); }
    bool RestoreState(const std::string& state) override;

private:
    std::string reason_;
};
