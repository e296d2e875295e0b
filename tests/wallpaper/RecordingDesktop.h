#pragma once

// A desktop that records what it is asked, for the applier's tests; its
// roles are chosen by the test.

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

class TRecordingDesktop : public TDesktopBackend,
                          public TFileWallpaper,
                          public TMonitorWallpapers,
                          public TSpanningWallpaper,
                          public TPicturePainter,
                          public TWallpaperState,
                          public TWallpaperSetting {
public:
    std::string Name() const override { return name; }
    TFileWallpaper* Files() override { return this; }
    TMonitorWallpapers* MonitorFiles() override { return perMonitor ? this : nullptr; }
    TSpanningWallpaper* SpanningFile() override { return spanning ? this : nullptr; }
    TPicturePainter* Painter() override { return paints ? this : nullptr; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return hasSetting ? this : nullptr; }

    bool ChangesForbidden() override {
        calls.push_back("ChangesForbidden");
        if (forbidden) {
            lastError_ = "locked";
        }
        return forbidden;
    }
    bool SetPlacement(TDesktopPlacement p) override {
        calls.push_back("SetPlacement " + std::to_string(p));
        placements.push_back(p);
        return true;
    }
    bool SetWallpaperFile(const std::string& file, bool persist) override {
        calls.push_back("SetWallpaperFile " + file);
        files.push_back(file);
        persists.push_back(persist);
        return Taken(file);
    }
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& monitorFiles,
                                  bool persist) override {
        std::string call = "SetMonitorWallpaperFiles";
        for (const TMonitorFile& f : monitorFiles) {
            call += " " + f.monitor.name + "=" + f.file;
        }
        calls.push_back(call);
        persists.push_back(persist);
        return Taken(monitorFiles.front().file);
    }
    bool SetSpanningWallpaperFile(const std::string& file, bool persist) override {
        calls.push_back("SetSpanningWallpaperFile " + file);
        persists.push_back(persist);
        return Taken(file);
    }
    bool PaintPicture(TPictureDraw& draw, std::uint32_t, const std::string& label) override {
        calls.push_back("PaintPicture " + label);
        struct : TPictureParts {
            bool Put(int, int, const TScreenPicture&) override { return true; }
        } parts;
        return draw.Draw(3200, 1080, parts);
    }
    std::optional<std::string> CurrentWallpaperFile() override { return current; }
    std::optional<int> CurrentPlacement() override { return placement; }
    std::string SaveState() override { return state; }
    bool RestoreState(const std::string& s) override {
        calls.push_back("RestoreState " + s);
        return Taken(current.value_or(""));
    }

    std::string name = "Recording";
    bool hasSetting = true;
    bool forbidden = false;
    bool refuse = false;
    bool paints = false;
    bool perMonitor = false;
    bool spanning = false;
    std::optional<std::string> current = std::string("/pictures/original.jpg");
    std::optional<int> placement = dpStretch;
    std::string state = "state of the desktop";

    std::vector<std::string> calls;
    std::vector<std::string> files;
    std::vector<bool> persists;
    std::vector<int> placements;

private:
    bool Taken(const std::string& file) {
        if (refuse) {
            lastError_ = "refused by the test";
            return false;
        }
        current = file;
        return true;
    }
};
