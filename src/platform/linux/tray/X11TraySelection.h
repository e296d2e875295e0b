#pragma once

// Xlib side of the tray watch, kept free of Qt headers.

// Whether the XEmbed tray selection _NET_SYSTEM_TRAY_S<screen> of the
// display's default screen has an owner.
bool X11TraySelectionOwned(void* display);
