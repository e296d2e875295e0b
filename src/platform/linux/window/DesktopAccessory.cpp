#include "platform/DesktopAccessory.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <string>

#include "platform/linux/desktop/sway/SwayIpc.h"
#include "platform/linux/files/Environment.h"
#include "platform/linux/window/X11WindowState.h"

namespace {

// sway maps a new window within a few frames; a second is plenty.
constexpr int kPlaceTries = 40;
constexpr int kPlaceRetryMs = 25;

std::string SwaySocket() {
    return EnvValue(ProcessEnvironment(), "SWAYSOCK");
}

// The criteria that pick `window` among sway's windows.
std::string SwayCriteria(const QWidget* window) {
    return "[pid=" + std::to_string(getpid()) +
           " title=" + SwayExactPattern(window->windowTitle().toStdString()) + "]";
}

// `move`: sway's move command that places the window.
void TryPlace(QPointer<QWidget> window, const std::string& socket, const std::string& move,
              int triesLeft) {
    if (!window || !window->isVisible()) {
        return;
    }
    std::string error;
    const std::string command = SwayCriteria(window) + " floating enable, border none, " + move;
    if (SwayIpcCommand(socket, command, error) || triesLeft <= 0) {
        return;  // placed, or sway never showed it: it stays where sway put it
    }
    QTimer::singleShot(kPlaceRetryMs, window.data(), [window, socket, move, triesLeft] {
        TryPlace(window, socket, move, triesLeft - 1);
    });
}

bool PlaceOnSway(QWidget* window, const std::string& move) {
    const std::string socket = SwaySocket();
    if (!window || socket.empty() ||
        QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return false;
    }
    TryPlace(window, socket, move, kPlaceTries);
    return true;
}

// The node of sway's tree made by this process with `title`.
std::optional<QPoint> FindSwayNode(const QJsonObject& node, qint64 pid, const QString& title) {
    if (node.value(QStringLiteral("pid")).toInteger() == pid &&
        node.value(QStringLiteral("name")).toString() == title) {
        const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
        return QPoint(rect.value(QStringLiteral("x")).toInt(),
                      rect.value(QStringLiteral("y")).toInt());
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray()) {
            if (auto found = FindSwayNode(child.toObject(), pid, title)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

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
    // sway shows an XWayland window's whole buffer, whatever its X shape.
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
           SwaySocket().empty();
}

bool PlaceDesktopWindow(QWidget* window, const QPoint& place) {
    return PlaceOnSway(window, "move absolute position " + std::to_string(place.x()) + " " +
                                   std::to_string(place.y()));
}

bool PlaceDesktopWindowAtPointer(QWidget* window) {
    // Focused, which also raises it over other floating windows (the clock).
    return PlaceOnSway(window, "move position cursor, focus");
}

std::optional<QPoint> DesktopWindowPlace(QWidget* window) {
    if (!window) {
        return std::nullopt;
    }
    const std::string socket = SwaySocket();
    if (!socket.empty()) {
        std::string error;
        if (const auto tree = SwayIpcRequest(socket, kSwayGetTree, std::string(), error)) {
            const QJsonObject root =
                QJsonDocument::fromJson(QByteArray::fromStdString(*tree)).object();
            if (auto place = FindSwayNode(root, getpid(), window->windowTitle())) {
                return place;
            }
        }
    }
    if (DesktopWindowPositionsKnown()) {
        return window->pos();
    }
    return std::nullopt;
}
