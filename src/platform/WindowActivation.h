#pragma once

#include <functional>
#include <string>

class QWidget;

// Brings a top-level window to the front for a user who asked for it from
// elsewhere (a second start from the launcher, `vantoria --show`). `token` is
// the activation token the launcher handed over (XDG_ACTIVATION_TOKEN,
// DESKTOP_STARTUP_ID), empty when none came: desktops let a window forward
// only on such a token or while the program has the focus. `done` is called
// once, with "" when the window is in front, or with the reason it is not.
// On Wayland the outcome is known only when the compositor activates the
// window, so `done` may come later (within a few seconds).
void BringWindowForward(QWidget* window, const std::string& token,
                        std::function<void(const std::string& failure)> done);
