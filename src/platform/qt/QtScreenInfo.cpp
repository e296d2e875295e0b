#include "platform/qt/QtScreenInfo.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <utility>

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
    if (correct_) {
        std::vector<TMonitor> primary{
            TMonitor{screen->name().toStdString(), 0, 0, size.width, size.height, true}};
        correct_(primary);
        size.width = primary.front().width;
        size.height = primary.front().height;
    }
    // A depth-24 visual stores its pixels in 32 bits.
    size.depth = screen->depth() <= 16 ? 24 : 32;
    return size;
}

std::vector<TMonitor> TQtScreenInfo::Monitors() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    std::vector<TMonitor> monitors;
    for (const QScreen* screen : QGuiApplication::screens()) {
        // Qt keeps each screen's upper left corner in the desktop's own
        // coordinates and its size in device-independent pixels.
        const qreal dpr = screen->devicePixelRatio();
        const QRect geometry = screen->geometry();
        TMonitor monitor;
        monitor.name = screen->name().toStdString();
        monitor.x = geometry.x();
        monitor.y = geometry.y();
        monitor.width = int(std::lround(geometry.width() * dpr));
        monitor.height = int(std::lround(geometry.height() * dpr));
        monitor.primary = screen == primary;
        if (monitor.width <= 0 || monitor.height <= 0) {
            continue;
        }
        if (monitor.primary) {
            monitors.insert(monitors.begin(), std::move(monitor));
        } else {
            monitors.push_back(std::move(monitor));
        }
    }
    if (monitors.empty()) {
        return TScreenInfo::Monitors();
    }
    if (correct_) {
        correct_(monitors);
    }
    return monitors;
}

TQtScreenInfo::TQtScreenInfo() = default;
TQtScreenInfo::~TQtScreenInfo() = default;

void TQtScreenInfo::WatchMonitors(std::function<void()> changed) {
    watch_.reset();
    changed_ = std::move(changed);
    if (!changed_ || !qGuiApp) {
        return;
    }
    watch_ = std::make_unique<QObject>();
    auto notify = [this] { changed_(); };
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, watch_.get(),
                     [this, notify](QScreen* s) {
                         Follow(s);
                         notify();
                     });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, watch_.get(), notify);
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, watch_.get(), notify);
    for (QScreen* screen : QGuiApplication::screens()) {
        Follow(screen);
    }
}

void TQtScreenInfo::Follow(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, watch_.get(), [this] { changed_(); });
}
