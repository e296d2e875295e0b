#include "platform/linux/window/X11WindowState.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>
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

bool X11ActivateForLaunch(void* display, unsigned long window, const char* startupId) {
    auto* dpy = static_cast<Display*>(display);
    const std::string id = startupId ? startupId : "";
    const std::size_t at = id.rfind("_TIME");
    if (!dpy || window == 0 || at == std::string::npos) {
        return false;
    }
    char* end = nullptr;
    const unsigned long time = std::strtoul(id.c_str() + at + 5, &end, 10);
    if (end == id.c_str() + at + 5 || *end != '\0' || time == 0) {
        return false;
    }
    const Window root = DefaultRootWindow(dpy);
    const long userTime = static_cast<long>(time);
    XChangeProperty(dpy, window, XInternAtom(dpy, "_NET_WM_USER_TIME", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&userTime), 1);
    XEvent active{};
    active.xclient.type = ClientMessage;
    active.xclient.window = window;
    active.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    active.xclient.format = 32;
    active.xclient.data.l[0] = 1;  // from an application
    active.xclient.data.l[1] = userTime;
    XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &active);

    // The launch is complete: "remove: ID=..." in 20-byte pieces, the first
    // under _NET_STARTUP_INFO_BEGIN, the rest under _NET_STARTUP_INFO.
    std::string message = "remove: ID=\"";
    for (const char c : id) {
        if (c == '"' || c == '\\') {
            message += '\\';
        }
        message += c;
    }
    message += '"';
    message += '\0';
    const Window carrier = XCreateSimpleWindow(dpy, root, -100, -100, 1, 1, 0, 0, 0);
    const Atom begin = XInternAtom(dpy, "_NET_STARTUP_INFO_BEGIN", False);
    const Atom more = XInternAtom(dpy, "_NET_STARTUP_INFO", False);
    for (std::size_t i = 0; i < message.size(); i += 20) {
        XEvent piece{};
        piece.xclient.type = ClientMessage;
        piece.xclient.window = carrier;
        piece.xclient.message_type = i == 0 ? begin : more;
        piece.xclient.format = 8;
        message.copy(piece.xclient.data.b, 20, i);
        XSendEvent(dpy, root, False, PropertyChangeMask, &piece);
    }
    XDestroyWindow(dpy, carrier);
    XFlush(dpy);
    return true;
}
