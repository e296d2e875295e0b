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

// The program's main window when it is shown (not counting an XEmbed icon).
std::optional<std::string> ShownWindow(TRealDesktop& d, TProcessId program);
bool WindowShown(TRealDesktop& d, TProcessId program);

// A run that starts in the tray (autoplay once with `slide`): the icon
// appears and no window; `clicks` left clicks on it (1 for a StatusNotifierItem
// host, 2 for an XEmbed tray) show the main window and take the icon away; Ctrl+M puts the program
// back in the tray; the right button opens the menu, whose last item (Exit) ends the program in
// order. `extraEnv` goes to the program.
void ClickShowsWindowMenuExits(TRealDesktop& d, const TArea& tray, const std::string& slide,
                               const std::map<std::string, std::string>& extraEnv = {},
                               int clicks = 1);

}  // namespace TrayOnDesktop
