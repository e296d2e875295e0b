#include "app/Settings.h"

#include "platform/ScreenInfo.h"
#include "registry/JclRegistry.h"

namespace settings {

namespace {

constexpr std::int32_t kClockRightMargin = 165;
constexpr std::int32_t kClockTop = 20;

void SetDefaults(TSettings& s, TScreenInfo& screen) {
    s.FAutoplay = apNone;
    s.FFolder.clear();
    s.FCurrent = 0;
    s.FStyle = wsStretch;
    s.FChangeTime = kMinChangeTime;
    s.FStopAtLast = false;
    s.FFitMode = fmStretch;
    s.FPlayListFile.clear();
    s.FFillColor = 0;
    s.FShowClock = true;
    s.FClockX = screen.PrimaryScreenSize().width - kClockRightMargin;
    s.FClockY = kClockTop;
}

}  // namespace

void Load(TSettings& s, TScreenInfo& screen) {
    const auto root = HKEY_CURRENT_USER;
    bool loaded = false;
    if (RegKeyPresent(root, kKey)) {
        try {
            s.FAutoplay = RegReadInt(root, kKey, "Autoplay", 0);
            s.FStyle = std::uint8_t(RegReadInt(root, kKey, "Style", wsTile) & 0xFF);
            s.FChangeTime = RegReadInt(root, kKey, "ChangeTime", kMinChangeTime);
            s.FCurrent = RegReadInt(root, kKey, "Current", 0);
            s.FPlayListFile = RegReadText(root, kKey, "Playlist", "");
            s.FFolder = RegReadText(root, kKey, "Folder", "");
            s.FStopAtLast = RegReadFlag(root, kKey, "Stop", false);
            s.FFitMode = std::uint8_t(RegReadInt(root, kKey, "Stretch", fmStretch) & 0xFF);
            s.FFillColor = TColor(RegReadInt(root, kKey, "Color", 0));
            s.FShowClock = RegReadFlag(root, kKey, "ShowClock", true);
            const int width = screen.PrimaryScreenSize().width;
            s.FClockX = RegReadInt(root, kKey, "ClockX", width - kClockRightMargin);
            s.FClockY = RegReadInt(root, kKey, "ClockY", kClockTop);
            loaded = true;
        } catch (...) {
            loaded = false;
        }
    }
    if (!loaded) {
        SetDefaults(s, screen);
    }
    if (s.FChangeTime < kMinChangeTime) {
        s.FChangeTime = kMinChangeTime;
    }
    if (s.FCurrent < 0) {
        s.FCurrent = 0;
    }
}

void Save(const TSettings& s) {
    const auto root = HKEY_CURRENT_USER;
    // One write of the settings file holding every value.
    TRegWriteBatch batch;
    try {
        if (!RegKeyPresent(root, kKey)) {
            RegEnsureKey(root, kKey);
        }
        RegWriteInt(root, kKey, "Autoplay", s.FAutoplay);
        RegWriteInt(root, kKey, "Style", s.FStyle);
        RegWriteInt(root, kKey, "Stretch", s.FFitMode);
        RegWriteInt(root, kKey, "ChangeTime", s.FChangeTime);
        RegWriteInt(root, kKey, "Current", s.FCurrent);
        RegWriteText(root, kKey, "Folder", s.FFolder);
        RegWriteText(root, kKey, "Playlist", s.FPlayListFile);
        RegWriteFlag(root, kKey, "Stop", s.FStopAtLast);
        RegWriteInt(root, kKey, "Color", std::int32_t(s.FFillColor));
        RegWriteInt(root, kKey, "ClockX", s.FClockX);
        RegWriteInt(root, kKey, "ClockY", s.FClockY);
        RegWriteFlag(root, kKey, "ShowClock", s.FShowClock);
    } catch (...) {
        // Saving never interrupts its caller; the values not yet written keep their old contents.
    }
}

void SaveAutoplay(const TSettings& s) { RegWriteInt(HKEY_CURRENT_USER, kKey, "Autoplay", s.FAutoplay); }

}  // namespace settings
