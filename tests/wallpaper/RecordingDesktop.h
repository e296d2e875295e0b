#pragma once

// A desktop that records what it is asked, for the applier's tests.

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

class TRecordingDesktop : public TDesktopBackend {
public:
    std::string Name() const override { return name; }
    bool HasWallpaperSetting() const override { return hasSetting; }
    bool ChangesForbidden() override {
        calls.push_back("ChangesForbidden");
        if (forbidden) {
            lastError_ = "locked";
        }
        return forbidden;
    }
    bool SetPlacement(int placement) override {
        calls.push_back("SetPlacement " + std::to_string(placement));
        placements.push_back(placement);
        return true;
    }
    bool SetWallpaperFile(const std::string& file, bool persist) override {
        calls.push_back("SetWallpaperFile " + file);
        files.push_back(file);
        persists.push_back(persist);
        if (refuse) {
            lastError_ = "refused by the test";
            return false;
        }
        current = file;
        return true;
    }
    TMultiMonitor MultiMonitor() const override { return multiMonitor; }
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& monitorFiles,
                                  bool persist) override {
        std::string call = "SetMonitorWallpaperFiles";
        for (const TMonitorFile& f : monitorFiles) {
            call += " " + f.monitor.name + "=" + f.file;
        }
        calls.push_back(call);
        persists.push_back(persist);
        if (refuse) {
            lastError_ = "refused by the test";
            return false;
        }
        current = monitorFiles.front().file;
        return true;
    }
    bool PaintsPictures() const override { return paints; }
    bool PaintPicture(const TPictureSource& compose, const std::string& label) override {
        TScreenPicture picture;
        calls.push_back("PaintPicture " + label);
        return compose(3200, 1080, picture);
    }
    std::optional<std::string> CurrentWallpaperFile() override { return current; }
    std::optional<int> CurrentPlacement() override { return placement; }
    std::string SaveState() override { return state; }
    bool RestoreState(const std::string& s) override {
        calls.push_back("RestoreState " + s);
        if (refuse) {
            lastError_ = "refused by the test";
            return false;
        }
        return true;
    }
    bool ReloadsSameName() const override { return reloadsSameName; }
    bool HandsOverFromAnyThread() const override { return anyThread; }

    std::string name = "Recording";
    bool hasSetting = true;
    bool forbidden = false;
    bool refuse = false;
    bool reloadsSameName = true;
    bool anyThread = false;
    bool paints = false;
    TMultiMonitor multiMonitor = TMultiMonitor::kSame;
    std::optional<std::string> current = std::string("/pictures/original.jpg");
    std::optional<int> placement = dpStretch;
    std::string state = "state of the desktop";

    std::vector<std::string> calls;
    std::vector<std::string> files;
    std::vector<bool> persists;
    std::vector<int> placements;
};
