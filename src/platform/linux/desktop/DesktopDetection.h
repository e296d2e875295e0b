#pragma once

#include <string>

#include "platform/linux/files/Environment.h"

// The desktops whose wallpaper this program can set.
enum class TDesktopKind {
    Unknown,     // nothing this program can reach
    Gnome,       // GNOME, Ubuntu, Unity, Budgie: org.gnome.desktop.background
    Cinnamon,    // org.cinnamon.desktop.background
    Mate,        // org.mate.background
    Kde,         // Plasma, over D-Bus
    Xfce,        // xfconf, over D-Bus
    Lxqt,        // pcmanfm-qt
    Sway,        // swaymsg
    X11,         // a window manager without a desktop of its own: the root window
    LayerShell,  // any other Wayland compositor: our own surfaces on its background layer
};

struct TDesktopDetection {
    TDesktopKind kind = TDesktopKind::Unknown;
    std::string reason;  // what was found, for the log and the user's warning
};

// Which desktop runs, from a copy of the environment: VANTORIA_DESKTOP (a
// back-end's name, over everything else), XDG_CURRENT_DESKTOP (a
// colon-separated list, the first known name wins), then KDE_SESSION_VERSION,
// SWAYSOCK, any other Wayland session (the layer-shell drawer) and a plain X
// display.
TDesktopDetection DetectDesktop(const TEnvironment& env);

const char* DesktopKindName(TDesktopKind kind);

// The names VANTORIA_DESKTOP takes, comma-separated, for messages.
const char* DesktopBackendNames();
