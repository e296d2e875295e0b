#include "settings/Settings.h"

#include <algorithm>

#include "platform/ScreenInfo.h"
#include "registry/JclRegistry.h"

namespace settings {

namespace {

const auto kRoot = HKEY_CURRENT_USER;

std::int32_t InRange(const TIntSetting& setting, std::int32_t value) {
    return std::clamp(value, setting.low, setting.high);
}

std::int32_t Fresh(const TIntSetting& setting, std::int32_t screenWidth) {
    return setting.fresh + (setting.fromRight ? screenWidth : 0);
}

void SetDefaults(TSettings& s, TScreenInfo& screen) {
    const std::int32_t width = screen.PrimaryScreenSize().width;
    s.FAutoplay = Fresh(kAutoplay, width);
    s.FFolder.clear();
    s.FCurrent = Fresh(kCurrent, width);
    s.FStyle = std::uint8_t(Fresh(kStyle, width));
    s.FChangeTime = Fresh(kChangeTime, width);
    s.FStopAtLast = kStop.absent;
    s.FFitMode = std::uint8_t(Fresh(kStretch, width));
    s.FPlayListFile.clear();
    s.FFillColor = TColor(Fresh(kColor, width));
    s.FShowClock = kShowClock.absent;
    s.FClockX = Fresh(kClockX, width);
    s.FClockY = Fresh(kClockY, width);
    s.FOrder = Fresh(kOrder, width);
    s.FKeepWallpaper = kKeepWallpaper.absent;
    s.FMonitorSlides = kMonitorSlides.absent;
    s.FStartInTray = kStartInTray.absent;
    s.FRecursive = kRecursive.absent;
    s.FWindowX = Fresh(kWindowX, width);
    s.FWindowY = Fresh(kWindowY, width);
}

}  // namespace

std::int32_t Read(const TIntSetting& setting, std::int32_t screenWidth) {
    const std::int32_t absent = setting.absent + (setting.fromRight ? screenWidth : 0);
    return InRange(setting, RegReadInt(kRoot, kKey, setting.name, absent));
}

bool Read(const TFlagSetting& setting) {
    return RegReadFlag(kRoot, kKey, setting.name, setting.absent);
}

std::string Read(const TTextSetting& setting) {
    return RegReadText(kRoot, kKey, setting.name, "");
}

void Write(const TIntSetting& setting, std::int32_t value) {
    RegWriteInt(kRoot, kKey, setting.name, InRange(setting, value));
}

void Write(const TFlagSetting& setting, bool value) {
    RegWriteFlag(kRoot, kKey, setting.name, value);
}

void Write(const TTextSetting& setting, const std::string& value) {
    RegWriteText(kRoot, kKey, setting.name, value);
}

void EnsureKey() {
    if (!RegKeyPresent(kRoot, kKey)) {
        RegEnsureKey(kRoot, kKey);
    }
}

void Load(TSettings& s, TScreenInfo& screen) {
    bool loaded = false;
    if (RegKeyPresent(kRoot, kKey)) {
        try {
            s.FAutoplay = Read(kAutoplay);
            s.FStyle = std::uint8_t(Read(kStyle) & 0xFF);
            s.FChangeTime = Read(kChangeTime);
            s.FCurrent = Read(kCurrent);
            s.FPlayListFile = Read(kPlaylist);
            s.FFolder = Read(kFolder);
            s.FStopAtLast = Read(kStop);
            s.FFitMode = std::uint8_t(Read(kStretch) & 0xFF);
            s.FFillColor = TColor(Read(kColor));
            s.FShowClock = Read(kShowClock);
            const std::int32_t width = screen.PrimaryScreenSize().width;
            s.FClockX = Read(kClockX, width);
            s.FClockY = Read(kClockY);
            s.FOrder = Read(kOrder);
            s.FKeepWallpaper = Read(kKeepWallpaper);
            s.FMonitorSlides = Read(kMonitorSlides);
            s.FStartInTray = Read(kStartInTray);
            s.FRecursive = Read(kRecursive);
            s.FWindowX = Read(kWindowX);
            s.FWindowY = Read(kWindowY);
            loaded = true;
        } catch (...) {
            loaded = false;
        }
    }
    if (!loaded) {
        SetDefaults(s, screen);
    }
}

void Save(const TSettings& s) {
    // One write of the settings file holding every value.
    TRegWriteBatch batch;
    try {
        EnsureKey();
        Write(kAutoplay, s.FAutoplay);
        Write(kStyle, s.FStyle);
        Write(kStretch, s.FFitMode);
        Write(kChangeTime, s.FChangeTime);
        Write(kCurrent, s.FCurrent);
        Write(kFolder, s.FFolder);
        Write(kPlaylist, s.FPlayListFile);
        Write(kStop, s.FStopAtLast);
        Write(kColor, std::int32_t(s.FFillColor));
        Write(kClockX, s.FClockX);
        Write(kClockY, s.FClockY);
        Write(kShowClock, s.FShowClock);
        Write(kOrder, s.FOrder);
        Write(kKeepWallpaper, s.FKeepWallpaper);
        Write(kMonitorSlides, s.FMonitorSlides);
        Write(kStartInTray, s.FStartInTray);
        Write(kRecursive, s.FRecursive);
        if (s.FWindowX != kNoPlace && s.FWindowY != kNoPlace) {
            Write(kWindowX, s.FWindowX);
            Write(kWindowY, s.FWindowY);
        }
    } catch (...) {
        // Saving never interrupts its caller; the values not yet written keep their old contents.
    }
}

void SaveAutoplay(const TSettings& s) {
    Write(kAutoplay, s.FAutoplay);
}

}  // namespace settings
