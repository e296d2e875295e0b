#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"

// LXQt's desktop, drawn by `pcmanfm-qt --desktop`: the wallpaper is set by
// running `pcmanfm-qt --set-wallpaper=FILE --wallpaper-mode=MODE`, which hands
// the request to the running desktop over D-Bus, and read from the desktop's
// settings file, $XDG_CONFIG_HOME/pcmanfm-qt/<profile>/settings.conf.
//
// pcmanfm-qt applies a mode only when it differs from the one in its settings,
// and never stores a mode given this way: the settings keep the configured
// mode, and while it runs the desktop cannot be switched back to that mode
// once it shows another. A picture of the screen's size looks the same in
// every mode, so such pictures are shown without leaving the configured mode.
class TPcmanfmQtDesktopBackend : public TDesktopBackend {
public:
    // `configHome`: the user's configuration folder ($XDG_CONFIG_HOME);
    // `program`: the pcmanfm-qt to run.
    TPcmanfmQtDesktopBackend(std::string configHome, std::function<TScreenSize()> screenSize,
                             std::string program = "pcmanfm-qt");

    std::string Name() const override { return "LXQt"; }
    bool HasWallpaperSetting() const override { return true; }
    bool ChangesForbidden() override { return false; }
    bool SetPlacement(int placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;
    // The desktop ignores a request naming the picture and mode it has.
    bool ReloadsSameName() const override { return false; }

    // The settings profile of the running desktop; nothing when no
    // pcmanfm-qt draws the desktop.
    std::optional<std::string> DesktopProfile();

private:
    struct TSettings {
        std::string wallpaper;
        std::string mode;
    };
    std::optional<TSettings> ReadSettings();
    // Shows `file` ("" for none) in `mode`, a mode name of pcmanfm-qt's.
    bool Show(const std::string& file, const std::string& mode);
    bool Run(const std::vector<std::string>& arguments);
    bool IsScreenSized(const std::string& file) const;

    std::string configHome_;
    std::function<TScreenSize()> screenSize_;
    std::string program_;
    std::string profile_;
    int placement_ = dpCenter;
    std::string configuredMode_;
    // The mode the desktop shows, once this program has changed it.
    std::optional<std::string> shownMode_;
};
