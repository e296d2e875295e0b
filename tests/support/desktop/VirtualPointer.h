#pragma once

// A pointer device of the test's own on a wlroots compositor (headless sway
// has none): moved to places of the whole desk and clicked, as a user's
// mouse would.
//
//   TVirtualPointer pointer(socketPath, 1440, 600);
//   pointer.MoveTo(100, 120);
//   pointer.Button(BTN_LEFT, true);

#include <cstdint>
#include <string>

struct wl_display;
struct wl_registry;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

class TVirtualPointer {
public:
    // `deskWidth` x `deskHeight`: the box round every output, in the
    // compositor's units.
    TVirtualPointer(const std::string& socket, int deskWidth, int deskHeight);
    ~TVirtualPointer();
    TVirtualPointer(const TVirtualPointer&) = delete;
    TVirtualPointer& operator=(const TVirtualPointer&) = delete;

    bool Ready() const { return pointer_ != nullptr; }
    bool MoveTo(int x, int y);
    // `button`: BTN_LEFT, BTN_RIGHT... of <linux/input-event-codes.h>.
    bool Button(std::uint32_t button, bool pressed);

    zwlr_virtual_pointer_manager_v1* manager_ = nullptr;

private:
    bool Sent();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    int width_;
    int height_;
    std::uint32_t time_ = 0;
};
