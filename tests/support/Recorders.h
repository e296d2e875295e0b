#pragma once

// Recording stand-ins for the platform services, so tests can watch what the
// program would have shown or applied.

#include <string>
#include <vector>

#include "platform/MessageService.h"
#include "platform/ScreenInfo.h"
#include "wallpaper/WallpaperApplier.h"

struct TRecordedMessage {
    std::string kind;  // "error", "warning", "exception"
    std::string text;
    bool operator==(const TRecordedMessage&) const = default;
};

class TRecordingMessages : public TMessageService {
public:
    void ShowError(const std::string& text) override { shown.push_back({"error", text}); }
    void ShowWarning(const std::string& text) override { shown.push_back({"warning", text}); }
    void ReportException(const std::string& what) override {
        shown.push_back({"exception", ExceptionReportText(what)});
    }
    std::vector<TRecordedMessage> shown;
};

// Records every file handed to the desktop, with the choice in force.
class TRecordingApplier : public TWallpaperApplier {
public:
    void DetectActiveDesktop() override { calls.push_back("DetectActiveDesktop"); }
    void RememberOriginalWallpaper() override { calls.push_back("RememberOriginalWallpaper"); }
    void ReadOriginalStyle() override { calls.push_back("ReadOriginalStyle"); }
    void SetWallpaper(const std::string& fileName, const TWallpaperChoice& choice) override {
        applied.push_back(fileName);
        choices.push_back(choice);
        FWallpaperChanged = true;
    }
    std::vector<std::string> calls;
    std::vector<std::string> applied;
    std::vector<TWallpaperChoice> choices;
};
