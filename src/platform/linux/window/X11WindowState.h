#pragma once

// Xlib side of the accessory marks, kept free of Qt headers.

// Adds _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER to the window's
// _NET_WM_STATE (for a window not yet mapped) and asks the window manager for
// the same through the root window (for a mapped one), and removes any
// WM_TRANSIENT_FOR so that no other window owns it.
void X11MarkSkipTaskbar(void* display, unsigned long window);

// Asks the window manager to activate a mapped top-level window on behalf of
// the launch `startupId` (DESKTOP_STARTUP_ID): the launch's time, taken from
// its "_TIME<n>" part, lets the window past focus-stealing prevention, and
// the launch is reported complete so that the launcher stops waiting.
// Returns false when the id carries no time (nothing is sent then).
bool X11ActivateForLaunch(void* display, unsigned long window, const char* startupId);
