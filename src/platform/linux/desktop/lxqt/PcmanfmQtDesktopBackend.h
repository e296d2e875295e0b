#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"
#include "platform/linux/desktop/FreshNames.h"

// LXQt's desktop, drawn by `pcmanfm-qt --desktop`: the wallpaper is set by
// running `pcmanfm-qt --set-wallpaper=FILE --wallpaper-mode=MODE`, which hands
// the request to the running desktop over D-Bus, and read from the desktop's
// settings file, $XDG_CONFIG_HOME/pcmanfm-qt/<profile>/settings.conf.
//
// pcmanfm-qt applies a mode only when it differs from the one in its settings,
// and never stores a mode given this way: the settings keep the configured
// mode, and while it runs the desktop cannot be switched back to that mode
// once it shows another. So the desktop is kept in its own mode: a picture of
// the screen's size looks the same in every mode, and a picture meant for
// another mode is drawn to the screen's size first (beside it, under the
// name ".lxqt.bmp" added to its own, when it lies in the data folder).
// Then the picture found at start comes back exactly, in its own mode.
class TPcmanfmQtDesktopBackend : public TDesktopBackend,
                                 public TFileWallpaper,
                                 public TWallpaperState,
                                 public TWallpaperSetting {
public:
    // `configHome`: the user's configuration folder ($XDG_CONFIG_HOME);
    // `dataFolder`: where a picture of the desktop's colour may be written;
    // `program`: the pcmanfm-qt to run.
    TPcmanfmQtDesktopBackend(std::string configHome, std::string dataFolder,
                             std::function<TScreenSize()> screenSize,
                             std::string program = "pcmanfm-qt");

    std::string Name() const override { return "LXQt"; }
    // The desktop ignores a request naming the picture and mode it has: it is
    // handed fresh names.
    TFileWallpaper* Files() override { return &fresh_; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override { return false; }
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

    // The settings profile of the running desktop; nothing when no
    // pcmanfm-qt draws the desktop.
    std::optional<std::string> DesktopProfile();

private:
    struct TSettings {
        std::string wallpaper;
        std::string mode;
        std::string color;  // "#rrggbb" around and instead of a picture
    };
    std::optional<TSettings> ReadSettings();
    // Shows `file` ("" for none) in `mode`, a mode name of pcmanfm-qt's.
    bool Show(const std::string& file, const std::string& mode);
    bool Run(const std::vector<std::string>& arguments);
    bool IsScreenSized(const std::string& file) const;
    bool Draw(const std::string& source, const std::string& mode, const std::string& color,
              const std::string& target);
    // The desktop's colour alone, shown as a picture.
    bool ShowColorPicture(const std::string& color);

    std::string configHome_;
    std::string dataFolder_;
    std::function<TScreenSize()> screenSize_;
    std::string program_;
    std::string profile_;
    TDesktopPlacement placement_ = dpCenter;
    std::string configuredMode_;
    // The mode the desktop shows, once this program has changed it.
    std::optional<std::string> shownMode_;
    bool colorPicture_ = false;
    // The last picture set: the name pcmanfm-qt got, the file, the mode.
    struct TShown {
        std::string handed;
        std::string file;
        std::string mode;
    };
    std::optional<TShown> shown_;  // the desktop shows a picture of its colour
    unsigned drawn_ = 0;
    TFreshNames fresh_{*this};
};
