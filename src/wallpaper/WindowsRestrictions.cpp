#include "wallpaper/WindowsRestrictions.h"

#include "platform/DesktopBackend.h"

std::uint32_t IsRestricted(TDesktopBackend& desktop, TRestriction restriction) {
    switch (restriction) {
        case REST_NOCHANGINGWALLPAPER:
            return desktop.Setting() && desktop.Setting()->ChangesForbidden() ? 1 : 0;
    }
    return 0;
}
