#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The primary display as the composer and the settings see it, in device pixels.
struct TScreenSize {
    int width = 0;
    int height = 0;
    int depth = 32;  // bits per pixel of a bitmap for this display: 24 or 32
    bool operator==(const TScreenSize&) const = default;
};

// One monitor of the desk in device pixels, placed in the desktop's own
// coordinates (the X root window's, or the compositor's layout).
struct TMonitor {
    // The output's name as the desktop knows it ("DP-1", "HDMI-A-1", "DUMMY1");
    // empty when the platform names none.
    std::string name;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool primary = false;
    bool operator==(const TMonitor&) const = default;
};

class TScreenInfo {
public:
    virtual ~TScreenInfo() = default;
    // Read anew at every call: displays are plugged and resized while the program runs.
    virtual TScreenSize PrimaryScreenSize() = 0;
    // Every monitor, the primary first; read anew at every call. A display
    // that knows of no monitors is one monitor of the primary size at 0,0.
    virtual std::vector<TMonitor> Monitors() {
        const TScreenSize size = PrimaryScreenSize();
        return {TMonitor{"", 0, 0, size.width, size.height, true}};
    }
    // Calls `changed` on the caller's thread whenever a monitor is added,
    // removed, resized or moved, or another becomes the primary; an empty
    // function stops watching. One watcher at a time.
    virtual void WatchMonitors(std::function<void()> changed) { (void)changed; }
};

// A display of fixed size, for tests and for tools without a display.
class TFixedScreenInfo : public TScreenInfo {
public:
    explicit TFixedScreenInfo(TScreenSize size) : size_(size) {}
    TScreenSize PrimaryScreenSize() override { return size_; }
    std::vector<TMonitor> Monitors() override {
        return monitors_.empty() ? TScreenInfo::Monitors() : monitors_;
    }
    void Set(TScreenSize size) { size_ = size; }
    // A desk of several monitors, the primary first; empty: one of Set's size.
    // The watcher hears of it, as of a monitor plugged in or out.
    void SetMonitors(std::vector<TMonitor> monitors) {
        monitors_ = std::move(monitors);
        if (changed_) {
            changed_();
        }
    }
    void WatchMonitors(std::function<void()> changed) override { changed_ = std::move(changed); }

private:
    std::function<void()> changed_;
    TScreenSize size_;
    std::vector<TMonitor> monitors_;
};
