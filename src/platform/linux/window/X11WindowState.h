#pragma once

// Xlib side of the accessory marks, kept free of Qt headers.

// Adds _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER to the window's
// _NET_WM_STATE (for a window not yet mapped) and asks the window manager for
// the same through the root window (for a mapped one), and removes any
// WM_TRANSIENT_FOR so that no other window owns it.
void X11MarkSkipTaskbar(void* display, unsigned long window);
