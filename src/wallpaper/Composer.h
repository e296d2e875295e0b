#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/WallpaperTypes.h"

class TScreenInfo;

// Renders the picture in `source` into the wallpaper bitmap `destination` (a
// BMP file) for the display that `screen` reports at this moment, in
// composition mode `mode` (TFitMode: fmStretch, fmLetterBox, fmZoom or
// fmConvertOnly). Returns false, leaving the destination untouched, when the
// source is no picture, the mode is unknown or the bitmap cannot be written;
// a picture refused by its decoding budget or as damaged leaves the reason
// in LastDecodeRefusal().
bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                      TColor fillColor, TScreenInfo& screen);

// How a composition may take short cuts; the defaults are the program's.
struct TComposeOptions {
    // Lets the JPEG decoder shrink by 2, 4 or 8 while it decodes, when the
    // fitted picture still has at most that fraction of the source's pixels
    // on each side; the Lanczos pass then starts from the smaller picture.
    bool shrinkOnLoad = true;
    // What decoding the picture may cost; a picture whose header claims more
    // is refused before decoding.
    TDecodeBudget budget;
};

bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                      TColor fillColor, TScreenInfo& screen, const TComposeOptions& options);

// Renders the picture in `source` as a screen of `screen` pixels shows it:
// composed in mode `mode` as ComposeWallpaper does, then placed as the
// desktop would place that bitmap (`placement`: centred, tiled or
// stretched), cut to the screen. Nothing is written to disk; false when the
// source is no picture or the mode is unknown.
bool ComposeScreenPicture(const std::string& source, int mode, int placement, TColor fillColor,
                          TPixelSize screen, TScreenPicture& out,
                          const TComposeOptions& options = TComposeOptions{});

// A desk of several monitors. The picture is decoded once, at the size the
// largest monitor needs, and composed for each monitor in turn as
// ComposeWallpaper composes it for one display of that monitor's size; each
// monitor's result is dropped once it is written or placed, so that no more
// than one of them is held at a time.

// Writes each monitor's bitmap to its file; `depth` is the display's (24 or
// 32 bits per pixel, for the letter box background). False when the source
// is no picture or a bitmap cannot be written.
bool ComposeMonitorWallpapers(const std::string& source, int mode, TColor fillColor, int depth,
                              const std::vector<TMonitorFile>& files,
                              const TComposeOptions& options = TComposeOptions{});

// Writes one bitmap of the box around all monitors: each monitor's part shows
// that monitor's picture as the desktop would centre it on the monitor, cut to
// it; the fill colour lies wherever no monitor is.
bool ComposeSpannedWallpaper(const std::string& source, int mode, const std::string& destination,
                             TColor fillColor, int depth, const std::vector<TMonitor>& monitors,
                             const TComposeOptions& options = TComposeOptions{});

// The picture of a screen of `screen` pixels that shows several monitors
// (placed in the screen's coordinates): each monitor shows its picture as
// ComposeScreenPicture would show it on a screen of the monitor's size, with
// `placement`; the fill colour lies outside every monitor.
// As ComposeMonitorsScreenPicture, in parts: each monitor's part of the
// screen is handed to `put` as soon as it is made and dropped after; what no
// part covers is left to the receiver (the fill colour).
bool ComposeMonitorsScreenParts(const std::string& source, int mode, int placement,
                                TColor fillColor, TPixelSize screen,
                                const std::vector<TMonitor>& monitors, const TPicturePut& put,
                                const TComposeOptions& options = TComposeOptions{});
bool ComposeMonitorsScreenPicture(const std::string& source, int mode, int placement,
                                  TColor fillColor, TPixelSize screen,
                                  const std::vector<TMonitor>& monitors, TScreenPicture& out,
                                  const TComposeOptions& options = TComposeOptions{});
