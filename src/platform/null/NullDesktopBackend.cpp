#include "platform/null/NullDesktopBackend.h"

TNullDesktopBackend::TNullDesktopBackend(std::string reason) : reason_(std::move(reason)) {
    lastError_ = reason_;
}

bool TNullDesktopBackend::SetPlacement(TDesktopPlacement) {
    return true;
}

bool TNullDesktopBackend::SetWallpaperFile(const std::string&, bool) {
    lastError_ = reason_;
    return false;
}

std::optional<std::string> TNullDesktopBackend::CurrentWallpaperFile() {
    lastError_ = reason_;
    return std::nullopt;
}

bool TNullDesktopBackend::RestoreState(const std::string&) {
    lastError_ = reason_;
    return false;
}
