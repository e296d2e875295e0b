#pragma once

// The real program's icon in a real desktop's tray, used as a user would:
// found on screen by its green hills, clicked with xdotool.
//
//   TrayOnDesktop::ClickShowsWindowMenuExits(desktop, {512, 724, 512, 44}, "/path/slide.png");

#include <optional>
#include <string>
#include <utility>

#include "support/desktop/RealDesktop.h"

namespace TrayOnDesktop {

// Where the tray is drawn.
struct TArea {
    int x = 0, y = 0, width = 0, height = 0;
};

// The centre of the program's icon in `tray`; nothing when it is not drawn
// there.
std::optional<std::pair<int, int>> FindIcon(TRealDesktop& d, const TArea& tray);

// Whether the program shows a window of its own.
bool WindowShown(TRealDesktop& d, TProcessId program);

// A run that starts in the tray (autoplay once with `slide`): the icon
// appears and no window; a left click on it shows the main window and takes
// the icon away; Ctrl+M puts the program back in the tray; the right button
// opens the menu, whose last item (Exit) ends the program in order.
// `extraEnv` goes to the program.
void ClickShowsWindowMenuExits(TRealDesktop& d, const TArea& tray, const std::string& slide,
                               const std::map<std::string, std::string>& extraEnv = {});

}  // namespace TrayOnDesktop
