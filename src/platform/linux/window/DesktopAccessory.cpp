#include "platform/DesktopAccessory.h"

#include <unistd.h>

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
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

// Makes a popup menu a window of its own on sway for one showing. sway tiles
// a new window unless it has a fixed size (or a parent), and the user's tiled
// windows would jump aside for a frame: so its size is fixed once the menu
// has brought its items up to date. It closes when an item is chosen or the
// focus goes elsewhere (a click outside it, which sway sends to the window
// under the pointer); once closed it is a popup again, of its own size, for
// its other uses.
class TMenuWindow : public QObject {
public:
    explicit TMenuWindow(QMenu* menu)
        : QObject(menu),
          menu_(menu),
          popupFlags_(menu->windowFlags()),
          minimum_(menu->minimumSize()),
          maximum_(menu->maximumSize()) {
        menu->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        connect(
            menu, &QMenu::aboutToShow, this, [menu] { menu->setFixedSize(menu->sizeHint()); },
            Qt::SingleShotConnection);
        // Qt closes by itself only a menu that is a popup.
        connect(menu, &QMenu::triggered, this, [menu] { menu->hide(); });
        menu->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != menu_) {
            return false;
        }
        if (event->type() == QEvent::WindowDeactivate) {
            QMetaObject::invokeMethod(menu_, &QWidget::hide, Qt::QueuedConnection);
        } else if (event->type() == QEvent::Hide) {
            menu_->removeEventFilter(this);
            QTimer::singleShot(
                0, menu_,
                [menu = menu_, flags = popupFlags_, minimum = minimum_, maximum = maximum_] {
                    if (!menu->isVisible()) {
                        menu->setWindowFlags(flags);
                        menu->setMinimumSize(minimum);
                        menu->setMaximumSize(maximum);
                    }
                });
            deleteLater();
        }
        return false;
    }

private:
    QMenu* menu_;
    Qt::WindowFlags popupFlags_;
    QSize minimum_;
    QSize maximum_;
};

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

bool PopUpMenuAtPointer(QMenu* menu) {
    if (!menu || SwaySocket().empty() ||
        QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return false;
    }
    // Once a key or a click has reached one of our windows, Qt makes a
    // Wayland popup the child of the one that has the focus, placed by where
    // the pointer last was over it: a menu by the clock, out of sway's reach,
    // while the click was on the bar. A top-level window is one sway places.
    if (menu->windowType() == Qt::Popup) {
        new TMenuWindow(menu);
    }
    menu->popup(QCursor::pos());
    // Focused, which also raises it over other floating windows (the clock).
    return PlaceOnSway(menu, "move position cursor, focus");
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
