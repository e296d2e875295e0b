#include "platform/DesktopAccessory.h"

#include <QGuiApplication>
#include <QWidget>

#include "platform/linux/window/X11WindowState.h"

void MarkDesktopAccessory(QWidget* window) {
    if (!window || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;  // Wayland and the offscreen platform have no such marks
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) {
        return;
    }
    X11MarkSkipTaskbar(x11->display(), static_cast<unsigned long>(window->winId()));
}

bool DesktopWindowPositionsKnown() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool WindowShapesHonoured() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
