#include "platform/linux/desktop/xfce/XfdesktopMarks.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <algorithm>
#include <string>

namespace {

// xfdesktop numbers its marks by monitor; more monitors than this are not watched.
constexpr int kMarkedMonitors = 16;

Display* Dpy(void* display) {
    return static_cast<Display*>(display);
}

}  // namespace

TXfdesktopMarks::TXfdesktopMarks() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return;
    }
    display_ = display;
    root_ = DefaultRootWindow(display);
    currentDesktop_ = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
    std::vector<std::string> names;
    for (int i = 0; i < kMarkedMonitors; ++i) {
        names.push_back("XFDESKTOP_IMAGE_FILE_" + std::to_string(i));
    }
    std::vector<char*> pointers;
    for (std::string& name : names) {
        pointers.push_back(name.data());
    }
    std::vector<Atom> atoms(names.size());
    XInternAtoms(display, pointers.data(), int(pointers.size()), False, atoms.data());
    markAtoms_.assign(atoms.begin(), atoms.end());
    XSelectInput(display, root_, PropertyChangeMask);
    XFlush(display);
}

TXfdesktopMarks::~TXfdesktopMarks() {
    if (display_) {
        XCloseDisplay(Dpy(display_));
    }
}

int TXfdesktopMarks::Socket() const {
    return display_ ? ConnectionNumber(Dpy(display_)) : -1;
}

std::uint64_t TXfdesktopMarks::Count() {
    if (!display_) {
        return marks_;
    }
    Display* display = Dpy(display_);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == PropertyNotify && event.xproperty.window == root_ &&
            std::find(markAtoms_.begin(), markAtoms_.end(), event.xproperty.atom) !=
                markAtoms_.end()) {
            ++marks_;
        }
    }
    return marks_;
}

bool TXfdesktopMarks::WaitFor(std::uint64_t count, std::chrono::steady_clock::time_point deadline) {
    while (Count() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!display_ || left.count() <= 0) {
            return false;
        }
        pollfd fd{Socket(), POLLIN, 0};
        poll(&fd, 1, int(std::min<long long>(left.count(), 1000)));
    }
    return true;
}

int TXfdesktopMarks::CurrentWorkspace() {
    if (!display_) {
        return 0;
    }
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    int workspace = 0;
    if (XGetWindowProperty(Dpy(display_), root_, currentDesktop_, 0, 1, False, XA_CARDINAL, &type,
                           &format, &items, &after, &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && items == 1) {
            workspace = int(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return workspace;
}

std::vector<std::string> TXfdesktopMarks::MonitorNames() {
    std::vector<std::string> names;
    if (!display_) {
        return names;
    }
    Display* display = Dpy(display_);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor) ||
        major * 100 + minor < 105) {
        return {"0"};
    }
    // GTK names a monitor after the first output of the RandR monitor, and
    // xfdesktop drops the blanks from that name.
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root_, True, &count);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root_);
    for (int i = 0; monitors && resources && i < count; ++i) {
        if (monitors[i].noutput < 1) {
            continue;
        }
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, monitors[i].outputs[0]);
        if (!output) {
            continue;
        }
        std::string name(output->name, std::size_t(std::max(output->nameLen, 0)));
        name.erase(
            std::remove_if(name.begin(), name.end(), [](char c) { return c == ' ' || c == '\t'; }),
            name.end());
        names.push_back(name);
        XRRFreeOutputInfo(output);
    }
    if (resources) {
        XRRFreeScreenResources(resources);
    }
    if (monitors) {
        XRRFreeMonitors(monitors);
    }
    return names;
}
