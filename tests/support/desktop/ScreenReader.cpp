#include "support/desktop/ScreenReader.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

void* OpenScreen(const std::string& display) {
    return XOpenDisplay(display.c_str());
}

void CloseScreen(void* screen) {
    if (screen) {
        XCloseDisplay(static_cast<Display*>(screen));
    }
}

std::vector<std::uint32_t> ReadScreen(void* screen, int x, int y, int width, int height) {
    std::vector<std::uint32_t> out;
    auto* display = static_cast<Display*>(screen);
    if (!display || width <= 0 || height <= 0) {
        return out;
    }
    // A region outside the screen is an X error, not a crash of the test.
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, unsigned(width),
                              unsigned(height), AllPlanes, ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (!image) {
        return out;
    }
    out.reserve(std::size_t(width) * std::size_t(height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long p = XGetPixel(image, column, row);
            const auto channel = [p](unsigned long mask) -> std::uint32_t {
                if (!mask) {
                    return 0;
                }
                int shift = 0;
                while (!((mask >> shift) & 1UL)) {
                    ++shift;
                }
                const unsigned long max = mask >> shift;
                return std::uint32_t(((p & mask) >> shift) * 255UL / max);
            };
            out.push_back(channel(image->red_mask) << 16 | channel(image->green_mask) << 8 |
                          channel(image->blue_mask));
        }
    }
    XDestroyImage(image);
    return out;
}
