#pragma once

#include <cstdint>
#include <string>

#include "wallpaper/WallpaperTypes.h"

class TScreenInfo;

// What happens at start (the setting "Autoplay"); values above 2 act as apOnce.
enum TAutoplayMode : std::int32_t { apNone = 0, apContinue = 1, apOnce = 2 };

// The program's persisted settings, as the main window's working copy.
struct TSettings {
    std::int32_t FAutoplay = apNone;
    std::uint8_t FStyle = wsStretch;
    std::int32_t FChangeTime = 10;  // seconds
    std::int32_t FCurrent = 0;
    std::string FPlayListFile;
    std::string FFolder;
    bool FStopAtLast = false;
    std::uint8_t FFitMode = fmStretch;
    TColor FFillColor = 0;
    bool FShowClock = true;
    std::int32_t FClockX = 0;
    std::int32_t FClockY = 20;
};

namespace settings {

inline constexpr const char* kKey = "Software\\Vantoria";
inline constexpr std::int32_t kMinChangeTime = 10;

// Reads the key into the fields, with the defaults for an absent key or value.
void Load(TSettings& s, TScreenInfo& screen);
// Writes all twelve values, creating the key when needed; a failure ends the
// write silently (later values keep their old contents).
void Save(const TSettings& s);
// Writes "Autoplay" only; raises EJclRegistryError when the key is absent.
void SaveAutoplay(const TSettings& s);

}  // namespace settings
