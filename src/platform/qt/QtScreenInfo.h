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

    TQtScreenInfo();
    ~TQtScreenInfo() override;

private:
    void Follow(QScreen* screen);

    std::function<void()> changed_;
    // Owns the connections to Qt's screens while something watches them.
    std::unique_ptr<QObject> watch_;
};
