#pragma once

#include "platform/ScreenInfo.h"

// The primary screen as Qt reports it, in device pixels.
class TQtScreenInfo : public TScreenInfo {
public:
    TScreenSize PrimaryScreenSize() override;
};
