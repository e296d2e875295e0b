#pragma once

#include <QPoint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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

class QImage;

// A small accessory kept by the compositor itself on the desktop's own layer,
// beneath every window and above the wallpaper (the clock on a compositor
// with layer shells, where a window could neither place itself nor keep out
// of the task list). It has no window of the toolkit: it shows the frames it
// is given, takes the pointer only where a frame is at least half opaque,
// follows the left button when dragged past the drag distance, and tells of
// the right button. All on the thread that made it.
class TAccessorySurface {
public:
    virtual ~TAccessorySurface() = default;

    // Shows `frame` (device pixels at its devicePixelRatio, transparent where
    // its alpha is) with its upper left corner at `place`, in the window
    // system's units of the whole desk. The first frame puts it on the output
    // under the frame's centre (the first output when none is), each later
    // one replaces the picture where it is. False, with Error(), when it
    // cannot show at all.
    virtual bool Show(const QImage& frame, const QPoint& place) = 0;
    // Where it is now, in the same units; after a drag, its new place.
    virtual QPoint Place() const = 0;
    virtual std::string Error() const = 0;

    // A drag with the left button has ended at `place`.
    std::function<void(const QPoint& place)> moved;
    // The right button went down on it, the pointer at `at` (desk units).
    std::function<void(const QPoint& at)> menuRequested;
};

// A desktop that keeps accessory surfaces of this program's own.
class TAccessoryLayer {
public:
    // A new surface, shown at its first frame; `name` tells the compositor
    // what it is ("clock").
    virtual std::unique_ptr<TAccessorySurface> NewAccessorySurface(const std::string& name) = 0;

protected:
    ~TAccessoryLayer() = default;
};
