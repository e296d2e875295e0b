#pragma once

#include "platform/ScreenInfo.h"

// The screens as Qt reports them, in device pixels. Qt's screen list belongs
// to the GUI thread: call these there only.
class TQtScreenInfo : public TScreenInfo {
public:
    TScreenSize PrimaryScreenSize() override;
    std::vector<TMonitor> Monitors() override;
};
