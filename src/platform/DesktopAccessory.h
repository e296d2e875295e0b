#pragma once

class QWidget;

// Marks a top-level window, before it is shown, as a small accessory of the
// desktop: no taskbar button and no entry in the task switcher, owned by no
// other window and stacked like any ordinary window (not kept on top). Call it
// again before every show: window managers forget the marks of a hidden
// window. Does nothing on a platform that has no such marks.
void MarkDesktopAccessory(QWidget* window);
