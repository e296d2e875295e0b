#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

// One "bg" setting of sway's configuration: the output it names ("*" for
// all) and its arguments as written, file or colour, mode and fill colour.
struct TSwayBackground {
    std::string output;
    std::string arguments;
};

struct TSwayConfig {
    std::vector<TSwayBackground> backgrounds;      // in the order sway applies them
    std::map<std::string, std::string> variables;  // "$name" -> value, from `set`
};

// What a sway configuration says about backgrounds; `output NAME { ... }`
// blocks and lines continued with a backslash are understood.
TSwayConfig ParseSwayConfig(const std::string& config);

// The file a background's arguments name, as sway reads it: variables
// replaced, quotes removed, shell word expansion without command
// substitution. "" for a plain colour.
std::string SwayBackgroundFile(const std::string& arguments,
                               const std::map<std::string, std::string>& variables);

// sway's wallpaper, over its IPC socket ($SWAYSOCK): the command
// "output * bg FILE MODE", which makes sway start a new swaybg every time; on
// a desk of several outputs, "output NAME bg FILE MODE" for each.
// sway can only report its configuration file, so the wallpaper found at
// start is the configured one, and changes last for the session only.
//
// sway runs a command's file name through its own parser and through
// wordexp(), which expands $(...). No path is ever handed over as it stands
// unless it holds only plain characters; any other is reached through a
// link of a plain name in a folder of this user's.
class TSwayDesktopBackend : public TDesktopBackend,
                            public TFileWallpaper,
                            public TMonitorWallpapers,
                            public TWallpaperState,
                            public TWallpaperSetting {
public:
    // `linkFolders`: where links to files of other names may be made; the
    // first one whose own name is plain is used.
    TSwayDesktopBackend(std::string socketPath, std::vector<std::string> linkFolders);

    std::string Name() const override { return "sway"; }
    TFileWallpaper* Files() override { return this; }
    TMonitorWallpapers* MonitorFiles() override { return this; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override { return false; }
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

    // True when sway's parser would take `path` as it stands.
    static bool IsPlainPath(const std::string& path);

private:
    // One IPC exchange; nothing when sway cannot be reached or answers badly.
    std::optional<std::string> Request(std::uint32_t type, const std::string& payload);
    bool RunCommand(const std::string& command);
    std::optional<TSwayConfig> Configuration();
    // `slot`: links of different slots never share a name (one per output).
    std::optional<std::string> PlainName(const std::string& file, std::size_t slot = 0);
    // sway's name for `monitor`: its own name when sway has an output of that
    // name, else the output at its place; its own name when sway has none.
    std::string OutputAt(const TMonitor& monitor);

    std::string socketPath_;
    std::vector<std::string> linkFolders_;
    TDesktopPlacement placement_ = dpCenter;
    std::map<std::size_t, unsigned> links_;  // turns taken, by slot
    // What this program showed last, since sway cannot be asked.
    bool changed_ = false;
    std::string shownFile_;
    int shownPlacement_ = dpCenter;
};
