#include "desktop/UserSwitch.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>

Q_LOGGING_CATEGORY(lcUserSwitch, "vantoria.session", QtWarningMsg)

namespace {

struct TRegistration {
    TSessionNotifierFactory factory;
    std::unique_ptr<TSessionNotifier> notifier;
    QPointer<QObject> window;
};

TRegistration& Registration() {
    static TRegistration registration;
    return registration;
}

void DropNotifier(TRegistration& r) {
    if (r.notifier) {
        r.notifier->Unregister();
        r.notifier.reset();
    }
    r.window = nullptr;
}

}  // namespace

TWTSSessionChangeEvent::TWTSSessionChangeEvent(std::uint32_t code) : QEvent(EventType()) {
    Message.WParam = code;
}

QEvent::Type TWTSSessionChangeEvent::EventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void SetSessionNotifierFactory(TSessionNotifierFactory factory) {
    Registration().factory = std::move(factory);
}

void RegisterSessionNotification(QObject* window) {
    TRegistration& r = Registration();
    try {
        DropNotifier(r);
        if (!window || !r.factory) {
            return;
        }
        std::unique_ptr<TSessionNotifier> notifier = r.factory();
        if (!notifier) {
            return;
        }
        QPointer<QObject> target(window);
        const bool registered = notifier->Register([target](std::uint32_t code) {
            // Posted, never sent: the change is handled after the message
            // in progress, like any other window message.
            if (target) {
                QCoreApplication::postEvent(target, new TWTSSessionChangeEvent(code));
            }
        });
        if (!registered) {
            qCInfo(lcUserSwitch, "no session service reachable; session changes go unnoticed");
            notifier->Unregister();
            return;
        }
        r.notifier = std::move(notifier);
        r.window = target;
    } catch (...) {
        // A failed registration only means that no session change arrives.
        r.notifier.reset();
        r.window = nullptr;
    }
}

void UnregisterSessionNotification(QObject* window) {
    TRegistration& r = Registration();
    // A registration whose window is already gone ends with any caller's.
    if (!r.notifier || !window || (r.window && r.window != window)) {
        return;
    }
    try {
        DropNotifier(r);
    } catch (...) {
        r.notifier.reset();
        r.window = nullptr;
    }
}
