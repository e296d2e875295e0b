#pragma once

#include <QPoint>
#include <optional>

class QMenu;
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

// Pops `menu` up where the pointer is for a tray host that asked for it
// without a click of ours (swaybar's ContextMenu). On sway the pointer is
// sway's alone, and a Qt popup there would hang off whichever of our windows
// last had the focus: so the menu is shown as a top-level window of its own,
// which sway floats at its pointer and focuses (over the other windows), and
// which closes when the focus goes elsewhere; once closed it is a popup
// again. False where no such compositor runs: there QMenu::popup places it.
bool PopUpMenuAtPointer(QMenu* menu);

// Where the top-level `window` is, in the window system's units: its own
// position where the platform tells it, the compositor's answer on sway;
// nothing where neither is known.
std::optional<QPoint> DesktopWindowPlace(QWidget* window);
