#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/DesktopBackend.h"
#include "platform/ScreenInfo.h"
#include "platform/linux/desktop/DesktopDetection.h"

// The back-end for the desktop found by DetectDesktop; the null back-end,
// carrying the reason, when that desktop cannot be reached. `screenSize`
// serves desktops that need a picture drawn to the display's size.
std::unique_ptr<TDesktopBackend> CreateDesktopBackend(const TDesktopDetection& detection,
                                                      const TEnvironment& env,
                                                      const std::string& dataFolder,
                                                      std::function<TScreenSize()> screenSize);

// The per-user data folder: $XDG_DATA_HOME/vantoria, else ~/.local/share/vantoria.
std::string UserDataFolder(const TEnvironment& env);
