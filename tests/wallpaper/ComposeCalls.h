#pragma once

// The composer's one entry, Compose, called the ways the tests compose: one
// display's bitmap, one screen's picture, several monitors' bitmaps, the
// bitmap spanning them, and the picture of a screen that shows them.

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/ScreenInfo.h"
#include "wallpaper/Composer.h"

inline TComposeRequest Request(const std::string& source, int mode, TColor fill,
                               std::vector<TMonitor> monitors, int depth = 32,
                               int placement = dpCenter) {
    return TComposeRequest{
        source, static_cast<TFitMode>(mode), static_cast<TDesktopPlacement>(placement),
        fill,   std::move(monitors),         depth};
}

inline bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                             TColor fill, TScreenInfo& screen,
                             const TComposeOptions& options = TComposeOptions{}) {
    const TScreenSize display = screen.PrimaryScreenSize();
    return Compose(Request(source, mode, fill, {{"", 0, 0, display.width, display.height, true}},
                           display.depth),
                   TMonitorBitmaps{{destination}}, options);
}

// Gathers the parts into one picture of the screen, the fill colour
// (0x00BBGGRR) wherever no part lies.
struct TWholePicture : TPictureParts {
    TWholePicture(TPixelSize screen, TColor fill) {
        picture.width = screen.width;
        picture.height = screen.height;
        picture.pixels.assign(static_cast<std::size_t>(screen.width) * screen.height,
                              ((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF));
    }
    bool Put(int x, int y, const TScreenPicture& part) override {
        for (int row = 0; row < part.height; ++row) {
            std::copy_n(
                part.pixels.data() + static_cast<std::size_t>(row) * part.width, part.width,
                picture.pixels.data() + static_cast<std::size_t>(y + row) * picture.width + x);
        }
        return true;
    }
    // As a display that copies pixels itself: the corner across the picture.
    bool Repeats() const override { return repeats; }
    bool Repeat(int tileWidth, int tileHeight, int width, int height) override {
        if (!repeats || width != picture.width || height != picture.height) {
            return false;
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                picture.pixels[std::size_t(y) * width + x] =
                    picture.pixels[std::size_t(y % tileHeight) * width + x % tileWidth];
            }
        }
        return true;
    }
    TScreenPicture picture;
    bool repeats = false;
};

inline bool ComposeMonitorsScreenPicture(const std::string& source, int mode, int placement,
                                         TColor fill, TPixelSize screen,
                                         const std::vector<TMonitor>& monitors, TScreenPicture& out,
                                         const TComposeOptions& options = TComposeOptions{}) {
    TWholePicture whole(screen, fill);
    if (!Compose(Request(source, mode, fill, monitors, 32, placement), TScreenParts{screen, &whole},
                 options)) {
        return false;
    }
    out = std::move(whole.picture);
    return true;
}

inline bool ComposeScreenPicture(const std::string& source, int mode, int placement, TColor fill,
                                 TPixelSize screen, TScreenPicture& out,
                                 const TComposeOptions& options = TComposeOptions{}) {
    return ComposeMonitorsScreenPicture(source, mode, placement, fill, screen,
                                        {{"", 0, 0, screen.width, screen.height, true}}, out,
                                        options);
}

inline bool ComposeMonitorWallpapers(const std::string& source, int mode, TColor fill, int depth,
                                     const std::vector<TMonitorFile>& files) {
    std::vector<TMonitor> monitors;
    std::vector<std::string> names;
    for (const TMonitorFile& f : files) {
        monitors.push_back(f.monitor);
        names.push_back(f.file);
    }
    return Compose(Request(source, mode, fill, monitors, depth), TMonitorBitmaps{names});
}

inline bool ComposeSpannedWallpaper(const std::string& source, int mode,
                                    const std::string& destination, TColor fill, int depth,
                                    const std::vector<TMonitor>& monitors) {
    return Compose(Request(source, mode, fill, monitors, depth), TSpanningBitmap{destination});
}

// A composer that has `write` make each bitmap it is asked for (a test's token
// bitmap); false when asked for anything else or when `write` fails.
class TFakeComposer : public TComposer {
public:
    using TWrite = std::function<bool(const TComposeRequest& request, const std::string& file)>;
    explicit TFakeComposer(TWrite write) : write_(std::move(write)) {}
    bool Run(const TComposeRequest& request, const TComposeSink& sink) const override {
        const auto* bitmaps = std::get_if<TMonitorBitmaps>(&sink);
        return bitmaps &&
               std::all_of(bitmaps->files.begin(), bitmaps->files.end(),
                           [&](const std::string& file) { return write_(request, file); });
    }

private:
    TWrite write_;
};
