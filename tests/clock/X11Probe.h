#pragma once

// Reads what the X server knows about a window, for the clock's tests. The
// Xlib side lives in X11Probe.cpp, away from Qt's headers.

#include <QPoint>
#include <QRect>
#include <string>
#include <vector>

std::vector<QRect> X11BoundingShape(unsigned long window);
std::vector<std::string> X11WindowStates(unsigned long window);
bool X11HasTransientFor(unsigned long window);
bool X11OverrideRedirect(unsigned long window);
// Position of the window's top-left corner on the root window.
QPoint X11WindowPosition(unsigned long window);
bool X11WindowManagerRunning();
// Whether a window manager lists the window among its clients.
bool X11IsManaged(unsigned long window);
