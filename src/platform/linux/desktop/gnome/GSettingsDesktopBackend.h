#pragma once

#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/linux/desktop/FreshNames.h"

typedef struct _GSettings GSettings;

// Where one desktop of the GNOME family keeps its wallpaper in GSettings.
struct TGSettingsFamily {
    std::string name;
    std::string schema;
    std::string fileKey;  // the picture: a file:// URI, or a plain path
    bool fileKeyIsUri = true;
    std::string darkKey;  // the picture in dark mode, "" when the desktop has none
    // The desktop reloads a picture rewritten while it is shown, but draws a
    // picture it showed before from its own copy when it comes back.
    bool reloadsSameName = true;
};

// GNOME, Ubuntu, Unity and Budgie; Cinnamon; MATE.
TGSettingsFamily GnomeFamily();
TGSettingsFamily CinnamonFamily();
TGSettingsFamily MateFamily();

// The wallpaper of a GNOME-family desktop through GIO's GSettings, which
// reaches dconf in a session (or whatever GSETTINGS_BACKEND names).
class TGSettingsDesktopBackend : public TDesktopBackend,
                                 public TFileWallpaper,
                                 public TSpanningWallpaper,
                                 public TWallpaperState,
                                 public TWallpaperSetting {
public:
    explicit TGSettingsDesktopBackend(TGSettingsFamily family);
    ~TGSettingsDesktopBackend() override;
    TGSettingsDesktopBackend(const TGSettingsDesktopBackend&) = delete;
    TGSettingsDesktopBackend& operator=(const TGSettingsDesktopBackend&) = delete;

    std::string Name() const override { return family_.name; }
    // A desktop that draws a picture it showed before from its own copy is
    // handed fresh names.
    TFileWallpaper* Files() override;
    // One picture for every monitor: on a desk of several, a picture spanning
    // them all, shown "spanned".
    TSpanningWallpaper* SpanningFile() override;
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override;
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    // The placement "spanned", then the file.
    bool SetSpanningWallpaperFile(const std::string& file, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    void SetScreenSized(bool screenSized) override { screenSized_ = screenSized; }
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

    // The schema is installed and its settings were opened.
    bool Available() const { return settings_ != nullptr; }

private:
    bool Ready();
    bool HasKey(const std::string& key) const;
    std::vector<std::string> RecordedKeys() const;
    // The name `file` is handed over under (see SetWallpaperFile).
    std::string ShownName(const std::string& file);

    TGSettingsFamily family_;
    std::string shown_;  // the copy of a picture the desktop shows now
    bool screenSized_ = false;
    GSettings* settings_ = nullptr;
    TFreshNames fresh_{*this, nullptr, this};
};
