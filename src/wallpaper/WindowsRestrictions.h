#pragma once

#include <cstdint>

class TDesktopBackend;

// Restrictions the desktop's policy may put on the user.
enum TRestriction : std::uint32_t {
    REST_NOCHANGINGWALLPAPER = 1,
};

// Non-zero when the restriction is in force on this desktop.
std::uint32_t IsRestricted(TDesktopBackend& desktop, TRestriction restriction);
