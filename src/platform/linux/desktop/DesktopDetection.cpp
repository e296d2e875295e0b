#include "platform/linux/desktop/DesktopDetection.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Get(const TEnvironment& env, const char* name) {
    const auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
}

TDesktopKind KindOfName(const std::string& name) {
    struct TEntry {
        const char* name;
        TDesktopKind kind;
    };
    // Budgie up to 10.9 and Unity keep GNOME's background keys.
    static constexpr std::array<TEntry, 14> kNames{{
        {"gnome", TDesktopKind::Gnome},
        {"gnome-classic", TDesktopKind::Gnome},
        {"gnome-flashback", TDesktopKind::Gnome},
        {"ubuntu", TDesktopKind::Gnome},
        {"unity", TDesktopKind::Gnome},
        {"budgie", TDesktopKind::Gnome},
        {"x-cinnamon", TDesktopKind::Cinnamon},
        {"cinnamon", TDesktopKind::Cinnamon},
        {"mate", TDesktopKind::Mate},
        {"kde", TDesktopKind::Kde},
        {"xfce", TDesktopKind::Xfce},
        {"lxqt", TDesktopKind::Lxqt},
        {"sway", TDesktopKind::Sway},
        {"x-generic", TDesktopKind::X11},
    }};
    const std::string lower = Lower(name);
    for (const TEntry& e : kNames) {
        if (lower == e.name) {
            return e.kind;
        }
    }
    // Window managers that draw no desktop of their own: the root window is
    // what shows.
    static constexpr std::array<const char*, 14> kBareWindowManagers{
        "i3",  "openbox", "fluxbox", "blackbox", "bspwm", "herbstluftwm", "awesome",
        "dwm", "xmonad",  "icewm",   "jwm",      "qtile", "fvwm",         "windowmaker"};
    for (const char* wm : kBareWindowManagers) {
        if (lower == wm) {
            return TDesktopKind::X11;
        }
    }
    return TDesktopKind::Unknown;
}

struct TBackendName {
    const char* name;
    TDesktopKind kind;
};
constexpr std::array<TBackendName, 9> kBackendNames{{
    {"gnome", TDesktopKind::Gnome},
    {"cinnamon", TDesktopKind::Cinnamon},
    {"mate", TDesktopKind::Mate},
    {"kde", TDesktopKind::Kde},
    {"xfce", TDesktopKind::Xfce},
    {"lxqt", TDesktopKind::Lxqt},
    {"sway", TDesktopKind::Sway},
    {"x11", TDesktopKind::X11},
    {"layer-shell", TDesktopKind::LayerShell},
}};

}  // namespace

const char* DesktopBackendNames() {
    return "gnome, cinnamon, mate, kde, xfce, lxqt, sway, x11, layer-shell";
}

TDesktopDetection DetectDesktop(const TEnvironment& env) {
    const std::string current = Get(env, "XDG_CURRENT_DESKTOP");
    const bool wayland = !Get(env, "WAYLAND_DISPLAY").empty();
    const bool x11 = !Get(env, "DISPLAY").empty();

    // A name given by the user wins over what the session says.
    const std::string chosen = Get(env, "VANTORIA_DESKTOP");
    if (!chosen.empty()) {
        const std::string lower = Lower(chosen);
        for (const TBackendName& b : kBackendNames) {
            if (lower == b.name) {
                return {b.kind, "VANTORIA_DESKTOP=" + chosen};
            }
        }
        return {TDesktopKind::Unknown, "VANTORIA_DESKTOP=" + chosen +
                                           " names no desktop back-end (the names are " +
                                           DesktopBackendNames() + ")"};
    }

    std::size_t start = 0;
    while (start <= current.size() && !current.empty()) {
        const std::size_t colon = current.find(':', start);
        const std::string name =
            current.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        TDesktopKind kind = KindOfName(name);
        if (kind == TDesktopKind::X11 && (wayland || !x11)) {
            kind = TDesktopKind::Unknown;
        }
        if (kind != TDesktopKind::Unknown) {
            return {kind, "XDG_CURRENT_DESKTOP=" + current};
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    if (!Get(env, "KDE_SESSION_VERSION").empty()) {
        return {TDesktopKind::Kde, "KDE_SESSION_VERSION=" + Get(env, "KDE_SESSION_VERSION")};
    }
    if (!Get(env, "SWAYSOCK").empty()) {
        return {TDesktopKind::Sway, "SWAYSOCK is set"};
    }
    // Any other Wayland compositor: this program draws the wallpaper itself
    // where the compositor offers the layer-shell protocol.
    if (wayland) {
        return {TDesktopKind::LayerShell,
                current.empty() ? std::string("a Wayland session (WAYLAND_DISPLAY is set, "
                                              "XDG_CURRENT_DESKTOP is not)")
                                : "the Wayland desktop \"" + current + "\" (XDG_CURRENT_DESKTOP)"};
    }
    if (!current.empty()) {
        return {TDesktopKind::Unknown,
                "the desktop \"" + current + "\" (XDG_CURRENT_DESKTOP) is not supported"};
    }
    if (x11) {
        return {TDesktopKind::X11, "DISPLAY=" + Get(env, "DISPLAY")};
    }
    return {TDesktopKind::Unknown,
            "no desktop session was found (neither DISPLAY nor "
            "WAYLAND_DISPLAY nor XDG_CURRENT_DESKTOP is set)"};
}

const char* DesktopKindName(TDesktopKind kind) {
    switch (kind) {
        case TDesktopKind::Unknown:
            return "none";
        case TDesktopKind::Gnome:
            return "GNOME";
        case TDesktopKind::Cinnamon:
            return "Cinnamon";
        case TDesktopKind::Mate:
            return "MATE";
        case TDesktopKind::Kde:
            return "KDE Plasma";
        case TDesktopKind::Xfce:
            return "XFCE";
        case TDesktopKind::Lxqt:
            return "LXQt";
        case TDesktopKind::Sway:
            return "sway";
        case TDesktopKind::X11:
            return "X11";
        case TDesktopKind::LayerShell:
            return "layer-shell";
    }
    return "none";
}
