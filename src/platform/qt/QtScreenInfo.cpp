#include "platform/qt/QtScreenInfo.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

TScreenSize TQtScreenInfo::PrimaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return {};
    }
    const qreal dpr = screen->devicePixelRatio();
    const QSize logical = screen->geometry().size();
    TScreenSize size;
    size.width = int(std::lround(logical.width() * dpr));
    size.height = int(std::lround(logical.height() * dpr));
    // A depth-24 visual stores its pixels in 32 bits.
    size.depth = screen->depth() <= 16 ? 24 : 32;
    return size;
}
