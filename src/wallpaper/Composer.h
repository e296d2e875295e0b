#pragma once

#include <cstdint>
#include <string>

#include "platform/DesktopBackend.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/WallpaperTypes.h"

class TScreenInfo;

// Renders the picture in `source` into the wallpaper bitmap `destination` (a
// BMP file) for the display that `screen` reports at this moment, in
// composition mode `mode` (TFitMode: fmStretch, fmLetterBox, fmZoom or
// fmConvertOnly). Returns false, leaving the destination untouched, when the
// source is no picture, the mode is unknown or the bitmap cannot be written.
bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                      TColor fillColor, TScreenInfo& screen);

// How a composition may take short cuts; the defaults are the program's.
struct TComposeOptions {
    // Lets the JPEG decoder shrink by 2, 4 or 8 while it decodes, when the
    // fitted picture still has at most that fraction of the source's pixels
    // on each side; the Lanczos pass then starts from the smaller picture.
    bool shrinkOnLoad = true;
    // A picture whose header claims more pixels is refused before decoding.
    std::int64_t maxSourcePixels = kDefaultMaxSourcePixels;
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
