#include "support/desktop/VirtualPointer.h"

#include <wayland-client.h>

#include <cstring>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* self = static_cast<TVirtualPointer*>(data);
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0 &&
        !self->manager_) {
        self->manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry{Global, GlobalRemove};

}  // namespace

TVirtualPointer::TVirtualPointer(const std::string& socket, int deskWidth, int deskHeight)
    : width_(deskWidth), height_(deskHeight) {
    display_ = wl_display_connect(socket.c_str());
    if (!display_) {
        return;
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistry, this);
    wl_display_roundtrip(display_);
    if (manager_) {
        pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, nullptr);
        if (wl_display_roundtrip(display_) < 0) {
            pointer_ = nullptr;
        }
    }
}

TVirtualPointer::~TVirtualPointer() {
    if (pointer_) {
        zwlr_virtual_pointer_v1_destroy(pointer_);
    }
    if (manager_) {
        zwlr_virtual_pointer_manager_v1_destroy(manager_);
    }
    if (registry_) {
        wl_registry_destroy(registry_);
    }
    if (display_) {
        wl_display_roundtrip(display_);
        wl_display_disconnect(display_);
    }
}

bool TVirtualPointer::Sent() {
    zwlr_virtual_pointer_v1_frame(pointer_);
    return wl_display_roundtrip(display_) >= 0;
}

bool TVirtualPointer::MoveTo(int x, int y) {
    if (!pointer_) {
        return false;
    }
    time_ += 16;
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, time_, static_cast<uint32_t>(x),
                                            static_cast<uint32_t>(y), static_cast<uint32_t>(width_),
                                            static_cast<uint32_t>(height_));
    return Sent();
}

bool TVirtualPointer::Button(std::uint32_t button, bool pressed) {
    if (!pointer_) {
        return false;
    }
    time_ += 16;
    zwlr_virtual_pointer_v1_button(
        pointer_, time_, button,
        pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    return Sent();
}
