#pragma once

// Recording stand-ins for the platform services, so tests can watch what the
// program would have shown or applied.

#include <string>
#include <vector>

#include "platform/MessageService.h"
#include "platform/ScreenInfo.h"
#include "platform/TrayService.h"
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

// The tray as the program sees it: records the hints it is given, whether
// the icon is in the tray and the notices; `host` says whether a tray host
// is there.
class TRecordingTray : public TTrayService {
public:
    void SetHint(const std::string& hint) override { hints.push_back(hint); }
    std::string Hint() const override { return hints.empty() ? "Vantoria" : hints.back(); }
    void SetIconVisible(bool v) override {
        visible = v;
        ++changes;
    }
    bool IconVisible() const override { return visible; }
    bool HostAvailable() const override { return host; }
    void SetPopupMenu(QMenu* m) override { menu = m; }
    void ShowNotice(const std::string& title, const std::string& text) override {
        notices.push_back(title + ": " + text);
    }
    // The icon's default command, as a double click gives it.
    void DoubleClick() { emit restoreRequested(); }
    std::vector<std::string> hints;
    std::vector<std::string> notices;
    bool visible = false;
    bool host = true;
    int changes = 0;
    QMenu* menu = nullptr;
};
