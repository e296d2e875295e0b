#pragma once

#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

// The file roles of a desktop that keeps showing its cached picture when it
// is handed a name it showed before: every picture reaches it under a name of
// its own, two names in turn. A bitmap shared by all monitors ("vantoria.bmp")
// is copied beside itself ("vantoria-1.bmp", "vantoria-2.bmp"): a copy, not a
// link, as the next composition rewrites it while the desktop may still be
// reading the picture it was handed. A bitmap composed for one monitor is
// renamed ("vantoria-monitor1-a.bmp", "-b"). Where no copy can be made, the
// name as given. Everything else goes to the desktop's own roles.
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
        return files_.SetWallpaperFile(Copied(file), persist);
    }
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    bool SetSpanningWallpaperFile(const std::string& file, bool persist) override {
        return spanning_->SetSpanningWallpaperFile(Copied(file), persist);
    }

private:
    std::string Copied(const std::string& file);

    TFileWallpaper& files_;
    TMonitorWallpapers* monitors_;
    TSpanningWallpaper* spanning_;
    unsigned copies_ = 0;
    unsigned monitorTurns_ = 0;
};
