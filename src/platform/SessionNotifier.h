#pragma once

#include <cstdint>
#include <functional>

// Codes of the changes of a log-on session, as the program's session
// handling understands them. The values are those of the Windows terminal
// services, so that a Windows source passes its codes on unchanged.
enum TSessionChangeCode : std::uint32_t {
    WTS_CONSOLE_CONNECT = 1,
    WTS_CONSOLE_DISCONNECT = 2,
    WTS_REMOTE_CONNECT = 3,
    WTS_REMOTE_DISCONNECT = 4,
    WTS_SESSION_LOGON = 5,
    WTS_SESSION_LOGOFF = 6,
    WTS_SESSION_LOCK = 7,
    WTS_SESSION_UNLOCK = 8,
    WTS_SESSION_REMOTE_CONTROL = 9,
};

// The platform's source of changes of the program's own log-on session.
// Changes are reported on the GUI thread, in order with everything else the
// event loop handles.
class TSessionNotifier {
public:
    using TChangeHandler = std::function<void(std::uint32_t code)>;

    virtual ~TSessionNotifier() = default;
    // Starts reporting changes to onChange. False when no service that reports
    // them is reachable; the program then simply learns of no change.
    virtual bool Register(TChangeHandler onChange) = 0;
    // Stops reporting; no change reaches the handler after it returns.
    virtual void Unregister() = 0;
};
