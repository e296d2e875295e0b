#pragma once

#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

// Puts `file` under the name `name`. The program's own composed bitmap
// ("vantoria*.bmp") is moved there: the next composition writes a file of its
// own and never rewrites one a desktop may be reading, so one file is written
// per change and none is left beside it. Anyone else's picture is copied,
// never moved. False when neither can be done.
bool HandOverUnder(const std::string& file, const std::string& name);

// The file roles of a desktop that keeps showing its cached picture when it
// is handed a name it showed before: every picture reaches it under a name of
// its own, two names in turn ("vantoria-1.bmp", "vantoria-2.bmp"; a bitmap
// composed for one monitor "vantoria-monitor1-a.bmp", "-b"). Once the desktop
// has taken a picture, the other name of the program's own bitmaps goes: the
// data folder holds what the desktop shows. Where no such name can be given,
// the name as given. Everything else goes to the desktop's own roles.
class TFreshNames final : public TFileWallpaper,
                          public TMonitorWallpapers,
                          public TSpanningWallpaper {
public:
    explicit TFreshNames(TFileWallpaper& files, TMonitorWallpapers* monitors = nullptr,
                         TSpanningWallpaper* spanning = nullptr)
        : files_(files), monitors_(monitors), spanning_(spanning) {}

    bool SetPlacement(TDesktopPlacement placement) override {
        return files_.SetPlacement(placement);
    }
    bool SetWallpaperFile(const std::string& file, bool persist) override {
        return Taken(files_.SetWallpaperFile(Copied(file), persist));
    }
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    bool SetSpanningWallpaperFile(const std::string& file, bool persist) override {
        return Taken(spanning_->SetSpanningWallpaperFile(Copied(file), persist));
    }

private:
    std::string Copied(const std::string& file);
    // Removes the names the desktop no longer shows once it took the new ones.
    bool Taken(bool taken);

    TFileWallpaper& files_;
    TMonitorWallpapers* monitors_;
    TSpanningWallpaper* spanning_;
    unsigned copies_ = 0;
    unsigned monitorTurns_ = 0;
    std::vector<std::string> stale_;  // the other turn's names of our own bitmaps
};
