#include "platform/linux/window/X11WindowState.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

void X11MarkSkipTaskbar(void* display, unsigned long window) {
    auto* dpy = static_cast<Display*>(display);
    if (!dpy || window == 0) {
        return;
    }
    const Atom state = XInternAtom(dpy, "_NET_WM_STATE", False);
    const Atom wanted[] = {XInternAtom(dpy, "_NET_WM_STATE_SKIP_TASKBAR", False),
                           XInternAtom(dpy, "_NET_WM_STATE_SKIP_PAGER", False)};

    // Keep the states already there (the toolkit adds its own before mapping).
    std::vector<Atom> atoms;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, window, state, 0, 64, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        if (type == XA_ATOM && format == 32) {
            const auto* existing = reinterpret_cast<const Atom*>(data);
            atoms.assign(existing, existing + count);
        }
        XFree(data);
    }
    for (Atom a : wanted) {
        bool present = false;
        for (Atom b : atoms) {
            present = present || a == b;
        }
        if (!present) {
            atoms.push_back(a);
        }
    }
    XChangeProperty(dpy, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(atoms.data()),
                    static_cast<int>(atoms.size()));
    XDeleteProperty(dpy, window, XA_WM_TRANSIENT_FOR);

    // A window manager that already manages the window only listens to requests.
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = window;
    ev.xclient.message_type = state;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = 1;  // _NET_WM_STATE_ADD
    ev.xclient.data.l[1] = static_cast<long>(wanted[0]);
    ev.xclient.data.l[2] = static_cast<long>(wanted[1]);
    ev.xclient.data.l[3] = 1;  // from a normal application
    XSendEvent(dpy, DefaultRootWindow(dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
}
