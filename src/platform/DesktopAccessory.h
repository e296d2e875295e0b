#pragma once

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
// QWidget::setMask. Wayland compositors ignore it: a window that is to look
// round there draws itself with alpha on a translucent background.
bool WindowShapesHonoured();
