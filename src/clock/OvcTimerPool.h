#pragma once

// One periodic platform timer shared by every ticking control of the process:
// each control registers a tick with an interval, and the pool delivers the
// ticks that are due whenever the platform timer fires.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Raised when the platform has no timer left to give.
class EOvcTimerPoolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The platform's periodic timer the pool runs on.
class TPoolTimerDevice {
public:
    virtual ~TPoolTimerDevice() = default;
    // Called on every expiry of the timer.
    virtual void SetOnTimer(std::function<void()> onTimer) = 0;
    // (Re)starts the timer with the given period; false when the platform
    // refuses to create it.
    virtual bool Start(int periodMs) = 0;
    virtual void Stop() = 0;
};

class TOvcTimerPool {
public:
    using TTickHandler = std::function<void(int handle)>;
    // Milliseconds since an arbitrary fixed start (system start), monotonic.
    using TMillisecondClock = std::function<std::uint64_t()>;
    using TExceptionReport = std::function<void(const std::string& what)>;

    static constexpr int kMinInterval = 55;
    // A tick is delivered when at least (interval - kEarlyDelivery) ms have
    // passed, so that a timer firing a little early does not skip a turn.
    static constexpr int kEarlyDelivery = 27;

    TOvcTimerPool(std::unique_ptr<TPoolTimerDevice> device, TMillisecondClock clock);
    ~TOvcTimerPool();
    TOvcTimerPool(const TOvcTimerPool&) = delete;
    TOvcTimerPool& operator=(const TOvcTimerPool&) = delete;

    // The process's pool, created on first use on the running Qt application
    // and destroyed when the application ends.
    static TOvcTimerPool& Instance();

    // Registers a tick and returns its handle. Raises EOvcTimerPoolError with
    // "No Window's timers are available" when no platform timer can be had;
    // the tick is then not registered.
    int Add(TTickHandler handler, int intervalMs, bool repeat = true);
    // Unregisters a tick; an unknown handle is ignored.
    void Remove(int handle);
    void SetEnabled(int handle, bool enabled);

    std::size_t Count() const { return ticks_.size(); }
    // The platform timer's current period, 0 while it is stopped.
    int Period() const { return period_; }

    // The platform timer fired: delivers every due tick.
    void HandleTimer();

    // Where an exception thrown by a tick handler goes; the pool carries on.
    void SetExceptionReport(TExceptionReport report) { report_ = std::move(report); }

private:
    struct TTick {
        int handle = 0;
        int interval = 0;
        std::uint64_t lastDelivery = 0;
        bool enabled = true;
        bool repeat = true;
        TTickHandler handler;
    };

    TTick* Find(int handle);
    void Restart();

    std::unique_ptr<TPoolTimerDevice> device_;
    TMillisecondClock clock_;
    TExceptionReport report_;
    std::vector<TTick> ticks_;  // sorted by interval
    int period_ = 0;
};

// The Qt timer the process's pool runs on.
std::unique_ptr<TPoolTimerDevice> MakeQtPoolTimerDevice();
// Milliseconds of a monotonic clock.
std::uint64_t MonotonicMilliseconds();
