#pragma once

#include <string>

#include "wallpaper/WallpaperTypes.h"

class TScreenInfo;

// Renders the picture in `source` into the wallpaper bitmap `destination` (a
// BMP file) for the display that `screen` reports at this moment, in
// composition mode `mode` (TFitMode: fmStretch, fmLetterBox, fmZoom or
// fmConvertOnly). Returns false, leaving the destination untouched, when the
// source is no picture, the mode is unknown or the bitmap cannot be written.
bool ComposeWallpaper(const std::string& source, int mode, const std::string& destination,
                      TColor fillColor, TScreenInfo& screen);
