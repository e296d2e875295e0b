#include "platform/linux/tray/X11TraySelection.h"

#include <X11/Xlib.h>

#include <string>

bool X11TraySelectionOwned(void* display) {
    auto* dpy = static_cast<Display*>(display);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
    const Atom selection = XInternAtom(dpy, name.c_str(), False);
    return selection != None && XGetSelectionOwner(dpy, selection) != None;
}
