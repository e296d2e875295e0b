#include "platform/WindowActivation.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <memory>

#include "platform/linux/window/X11WindowState.h"

namespace {
// How long a Wayland compositor is given to activate the window.
constexpr int kActivationWaitMs = 3000;
}  // namespace

void BringWindowForward(QWidget* window, const std::string& token,
                        std::function<void(const std::string& failure)> done) {
    window->showNormal();
    window->raise();
    const QString platform = QGuiApplication::platformName();
    if (!platform.startsWith(QLatin1String("wayland"))) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (platform != QLatin1String("xcb") || !x11 ||
            !X11ActivateForLaunch(x11->display(), static_cast<unsigned long>(window->winId()),
                                  token.c_str())) {
            window->activateWindow();
        }
        // The window manager maps and stacks the window as it is asked: an
        // X11 program is free to map its own window.
        done(window->isVisible() && !window->isMinimized()
                 ? std::string()
                 : std::string("the window could not be shown"));
        return;
    }

    // A Wayland window cannot bring itself forward (nor out of the minimised
    // state, which it is never told about): the compositor does it, on the
    // launcher's token, and the window knows it has happened once it is
    // active.
    if (window->isActiveWindow()) {
        done({});
        return;
    }
    if (!token.empty()) {
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(token));
    }
    window->activateWindow();
    qunsetenv("XDG_ACTIVATION_TOKEN");

    auto finish = std::make_shared<std::function<void(const std::string&)>>(std::move(done));
    auto* waiting = new QObject(window);
    const auto end = [finish, waiting](const std::string& failure) {
        if (*finish) {
            std::exchange(*finish, nullptr)(failure);
        }
        waiting->deleteLater();
    };
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, waiting,
                     [window = QPointer<QWidget>(window), end](QWindow* focus) {
                         if (window && focus && focus == window->windowHandle()) {
                             end({});
                         }
                     });
    QTimer::singleShot(kActivationWaitMs, waiting, [end, hasToken = !token.empty()] {
        end(hasToken ? "the desktop did not bring the window forward with the launcher's "
                       "activation token"
                     : "the desktop lets a window forward only with an activation token, and "
                       "none came with the request (start Vantoria again from the desktop's "
                       "launcher)");
    });
}
