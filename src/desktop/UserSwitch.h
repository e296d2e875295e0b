#pragma once

// Session notifications for a window: while a window is registered, every
// change of the program's own log-on session reaches it as a
// WM_WTSSESSION_CHANGE message, delivered through its event queue in order
// with everything else the window handles.

#include <QEvent>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/SessionNotifier.h"

class QObject;

inline constexpr std::uint32_t WM_WTSSESSION_CHANGE = 0x02B1;

// One session-change message: WParam carries the change's code
// (TSessionChangeCode); the window's handler sets Result.
struct TWMWTSSessionChange {
    std::uint32_t Msg = WM_WTSSESSION_CHANGE;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

// The event that carries a session-change message to a registered window.
class TWTSSessionChangeEvent : public QEvent {
public:
    explicit TWTSSessionChangeEvent(std::uint32_t code);
    static QEvent::Type EventType();

    TWMWTSSessionChange Message;
};

// Where the session notifications of this platform come from. The program
// block sets it once at start; without it, windows register without effect,
// as on a system that offers no session notifications.
using TSessionNotifierFactory = std::function<std::unique_ptr<TSessionNotifier>()>;
void SetSessionNotifierFactory(TSessionNotifierFactory factory);

// Registers window for the changes of the program's own session. One window
// is registered at a time; registering again replaces the earlier
// registration. Failures are swallowed: the window then receives nothing.
void RegisterSessionNotification(QObject* window);
// Ends the registration of window; does nothing when it is not registered.
void UnregisterSessionNotification(QObject* window);
