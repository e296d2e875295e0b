#pragma once

#include <functional>
#include <memory>
#include <string>

struct wl_display;
class QSocketNotifier;
class QObject;

// A Wayland connection of this program's own, beside whatever Qt's platform
// plugin uses, driven from Qt's event loop: events are read when the socket
// has some and dispatched on the thread that made the connection; requests
// are flushed before the loop sleeps. No thread of its own.
class TWaylandConnection {
public:
    // Connects to `displayName`, or to $WAYLAND_DISPLAY when empty.
    explicit TWaylandConnection(const std::string& displayName);
    ~TWaylandConnection();
    TWaylandConnection(const TWaylandConnection&) = delete;
    TWaylandConnection& operator=(const TWaylandConnection&) = delete;

    // Null when the connection could not be made or is lost.
    wl_display* Display() const { return display_; }
    bool Lost() const { return lost_; }
    // Why the connection could not be made or was lost.
    const std::string& Error() const { return error_; }

    // Sends the requests made so far and waits for the compositor to have
    // handled them, dispatching the events that come meanwhile. False when
    // the connection is lost.
    bool Roundtrip();
    // Sends the requests made so far; what the socket cannot take now goes
    // when it can.
    void Flush();
    // Starts reading events from the event loop; `lost` is called once, with
    // the reason, when the compositor goes or ends the connection.
    void Watch(std::function<void(const std::string&)> lost);

private:
    void ReadEvents();
    void Lose();

    wl_display* display_ = nullptr;
    bool lost_ = false;
    std::string error_;
    std::function<void(const std::string&)> lostHandler_;
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
};
