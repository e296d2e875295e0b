#pragma once

#include <memory>

#include "platform/ScreenInfo.h"

class QObject;
class QScreen;

// The screens as Qt reports them, in device pixels. Qt's screen list belongs
// to the GUI thread: call these there only.
class TQtScreenInfo : public TScreenInfo {
public:
    TScreenSize PrimaryScreenSize() override;
    std::vector<TMonitor> Monitors() override;
    void WatchMonitors(std::function<void()> changed) override;
    // Where Qt's sizes are not the device's (a Wayland compositor that lays
    // its outputs out in device pixels, which Qt multiplies by the scale once
    // more), `correct` puts each monitor's true size in.
    void SetDeviceSizes(std::function<void(std::vector<TMonitor>&)> correct) {
        correct_ = std::move(correct);
    }

    TQtScreenInfo();
    ~TQtScreenInfo() override;

private:
    void Follow(QScreen* screen);

    std::function<void()> changed_;
    std::function<void(std::vector<TMonitor>&)> correct_;
    // Owns the connections to Qt's screens while something watches them.
    std::unique_ptr<QObject> watch_;
};
