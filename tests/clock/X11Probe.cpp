// Qt headers first: Xlib's macros break them otherwise.
#include "X11Probe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <memory>

namespace {

struct TDisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using TDisplay = std::unique_ptr<Display, TDisplayCloser>;

TDisplay Open() {
    return TDisplay(XOpenDisplay(nullptr));
}

std::vector<unsigned long> AtomOrWindowList(Display* d, Window w, const char* property, Atom type) {
    std::vector<unsigned long> out;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 1024, False, type, &actual,
                           &format, &count, &after, &data) == Success &&
        data) {
        if (format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            out.assign(items, items + count);
        }
        XFree(data);
    }
    return out;
}

}  // namespace

std::vector<QRect> X11BoundingShape(unsigned long window) {
    std::vector<QRect> out;
    TDisplay d = Open();
    if (!d) {
        return out;
    }
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(d.get(), window, ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i) {
        out.emplace_back(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    }
    if (rects) {
        XFree(rects);
    }
    return out;
}

std::vector<std::string> X11WindowStates(unsigned long window) {
    std::vector<std::string> out;
    TDisplay d = Open();
    if (!d) {
        return out;
    }
    for (unsigned long atom : AtomOrWindowList(d.get(), window, "_NET_WM_STATE", XA_ATOM)) {
        if (char* name = XGetAtomName(d.get(), atom)) {
            out.emplace_back(name);
            XFree(name);
        }
    }
    return out;
}

bool X11HasTransientFor(unsigned long window) {
    TDisplay d = Open();
    Window owner = None;
    return d && XGetTransientForHint(d.get(), window, &owner) && owner != None;
}

bool X11OverrideRedirect(unsigned long window) {
    TDisplay d = Open();
    XWindowAttributes a{};
    return d && XGetWindowAttributes(d.get(), window, &a) && a.override_redirect;
}

QPoint X11WindowPosition(unsigned long window) {
    TDisplay d = Open();
    if (!d) {
        return {};
    }
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(d.get(), window, DefaultRootWindow(d.get()), 0, 0, &x, &y, &child);
    return {x, y};
}

static int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

bool X11WindowManagerRunning() {
    TDisplay d = Open();
    if (!d) {
        return false;
    }
    const auto check = AtomOrWindowList(d.get(), DefaultRootWindow(d.get()),
                                        "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.empty()) {
        return false;
    }
    // A window manager that has gone leaves the root's property behind; its
    // check window, which names itself, goes with it.
    XSync(d.get(), False);
    auto previous = XSetErrorHandler(&IgnoreXError);
    const auto self =
        AtomOrWindowList(d.get(), check.front(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    XSync(d.get(), False);
    XSetErrorHandler(previous);
    return !self.empty() && self.front() == check.front();
}

bool X11IsManaged(unsigned long window) {
    TDisplay d = Open();
    if (!d) {
        return false;
    }
    for (unsigned long w :
         AtomOrWindowList(d.get(), DefaultRootWindow(d.get()), "_NET_CLIENT_LIST", XA_WINDOW)) {
        if (w == window) {
            return true;
        }
    }
    return false;
}
