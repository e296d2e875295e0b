#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "wallpaper/WallpaperTypes.h"

class TScreenInfo;

// What happens at start (the setting "Autoplay"); values above 2 act as apOnce.
enum TAutoplayMode : std::int32_t { apNone = 0, apContinue = 1, apOnce = 2 };

// A stored number: its name, its two defaults and its range. A value outside
// the range is read and written as the nearest end of it.
struct TIntSetting {
    const char* name;
    std::int32_t absent;  // the key is there, this value is not (or unreadable)
    std::int32_t fresh;   // there is no key at all: a new profile
    std::int32_t low = INT32_MIN;
    std::int32_t high = INT32_MAX;
    // The defaults count back from the primary screen's right edge.
    bool fromRight = false;
};
struct TFlagSetting {
    const char* name;
    bool absent;  // also for a new profile
};
struct TTextSetting {
    const char* name;  // empty when absent
};

namespace settings {

inline constexpr const char* kKey = "Software\\Vantoria";

// The twelve values, each defined once. "Style" is the one whose defaults
// differ: a new profile stretches, a key from elsewhere without it tiles.
// "Autoplay", "Style", "Stretch", "Color" and the clock's place are taken
// as stored; their users say what an odd value does.
inline constexpr TIntSetting kAutoplay{"Autoplay", apNone, apNone};
inline constexpr TIntSetting kStyle{"Style", wsTile, wsStretch};
inline constexpr TIntSetting kChangeTime{"ChangeTime", 10, 10, 10};  // seconds
inline constexpr TIntSetting kCurrent{"Current", 0, 0, 0};
inline constexpr TTextSetting kPlaylist{"Playlist"};
inline constexpr TTextSetting kFolder{"Folder"};
inline constexpr TFlagSetting kStop{"Stop", false};
inline constexpr TIntSetting kStretch{"Stretch", fmStretch, fmStretch};
inline constexpr TIntSetting kColor{"Color", 0, 0};
inline constexpr TFlagSetting kShowClock{"ShowClock", true};
inline constexpr TIntSetting kClockX{"ClockX", -165, -165, INT32_MIN, INT32_MAX, true};
inline constexpr TIntSetting kClockY{"ClockY", 20, 20};
// Beyond the twelve: the order of the show (0 the playlist's, 1 shuffled);
// the picture left on the desktop at the end (false: the original comes
// back); a start hidden in the tray; the main window's place (absent: the
// middle of the screen).
inline constexpr TIntSetting kOrder{"Order", 0, 0, 0, 1};
inline constexpr TFlagSetting kKeepWallpaper{"KeepWallpaper", false};
inline constexpr TFlagSetting kStartInTray{"StartInTray", false};
// On a desk of several monitors each monitor shows the next entry in turn.
inline constexpr TFlagSetting kMonitorSlides{"MonitorSlides", false};
// Whether a folder named in the playlist takes in its subfolders' pictures.
inline constexpr TFlagSetting kRecursive{"Recursive", true};
inline constexpr std::int32_t kNoPlace = INT32_MIN;
inline constexpr TIntSetting kWindowX{"WindowX", kNoPlace, kNoPlace};
inline constexpr TIntSetting kWindowY{"WindowY", kNoPlace, kNoPlace};

inline constexpr std::int32_t kMinChangeTime = kChangeTime.low;

// One value from the key, with its absent default and its range; reading
// never raises. `screenWidth` places the defaults that count from the right.
std::int32_t Read(const TIntSetting& setting, std::int32_t screenWidth = 0);
bool Read(const TFlagSetting& setting);
std::string Read(const TTextSetting& setting);
// One value into the key (which must exist), brought into its range; raises
// EJclRegistryError when it cannot be written.
void Write(const TIntSetting& setting, std::int32_t value);
void Write(const TFlagSetting& setting, bool value);
void Write(const TTextSetting& setting, const std::string& value);
// Creates the key when it is not there yet.
void EnsureKey();

}  // namespace settings

// The program's stored settings, as the main window's working copy.
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
    std::int32_t FOrder = 0;  // 1: shuffled
    bool FKeepWallpaper = false;
    bool FMonitorSlides = false;
    bool FStartInTray = false;
    bool FRecursive = true;
    std::int32_t FWindowX = settings::kNoPlace;
    std::int32_t FWindowY = settings::kNoPlace;
};

namespace settings {

// Reads the key into the fields, with the defaults for an absent key or value.
void Load(TSettings& s, TScreenInfo& screen);
// Writes every value, creating the key when needed; a failure ends the
// write silently (later values keep their old contents).
void Save(const TSettings& s);
// Writes "Autoplay" only; raises EJclRegistryError when the key is absent.
void SaveAutoplay(const TSettings& s);

}  // namespace settings
