#pragma once

#include <cstdint>

// How the desktop shows a wallpaper (the setting "Style").
enum TWallpaperStyle : std::uint8_t { wsTile = 0, wsCenter = 1, wsStretch = 2 };

// How a picture is fitted to the display for the style Stretch (the setting
// "Stretch"); the composer takes the same numbers, and fmConvertOnly besides.
enum TFitMode : std::uint8_t { fmStretch = 0, fmLetterBox = 1, fmZoom = 2, fmConvertOnly = 3 };

// A colour as 0x00BBGGRR.
using TColor = std::uint32_t;
