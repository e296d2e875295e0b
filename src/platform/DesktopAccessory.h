#pragma once

#include <QPoint>
#include <optional>

class QWidget;

// Marks a top-level window, before it is shown, as a small accessory of the
// desktop: no taskbar button and no entry in the task switcher, owned by no
// other window and stacked like any ordinary window (not kept on top). Call it
// again before every show: window managers forget the marks of a hidden
// window. Does nothing on a platform that has no such marks.
void MarkDesktopAccessory(QWidget* window);

// Whether the platform tells a program where its top-level windows are. A
// Wayland client never learns (nor chooses) its position, so a position read
// there means nothing and must not replace a stored one.
bool DesktopWindowPositionsKnown();

// Whether the platform cuts a top-level window to the shape given with
// QWidget::setMask. Wayland compositors ignore it, and sway ignores the X
// shape of its XWayland windows too: a window that is to look round there
// draws itself with alpha on a translucent background.
bool WindowShapesHonoured();

// Asks a compositor that places windows itself but takes requests to float
// the shown top-level `window` without a border at `place`, in the window
// system's units (sway, for its native and its XWayland windows). sway maps
// a window a little after it is shown, so the request is repeated until it
// takes. False where no such compositor runs: there move() places a window.
// The window is known to it by this process and its title, which must be
// set and unique among this program's windows.
bool PlaceDesktopWindow(QWidget* window, const QPoint& place);

// The same for a window that goes where the pointer is (a menu a tray host
// asked for without a click of ours).
bool PlaceDesktopWindowAtPointer(QWidget* window);

// Where the top-level `window` is, in the window system's units: its own
// position where the platform tells it, the compositor's answer on sway;
// nothing where neither is known.
std::optional<QPoint> DesktopWindowPlace(QWidget* window);
