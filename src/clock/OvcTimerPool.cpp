#include "clock/OvcTimerPool.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QObject>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>
#include <numeric>

Q_LOGGING_CATEGORY(lcClockTimer, "vantoria.clock", QtWarningMsg)

namespace {

const char* const kNoTimers = "No Window's timers are available";

class TQtPoolTimerDevice : public QObject, public TPoolTimerDevice {
public:
    void SetOnTimer(std::function<void()> onTimer) override { onTimer_ = std::move(onTimer); }

    bool Start(int periodMs) override {
        Stop();
        id_ = startTimer(periodMs, Qt::PreciseTimer);
        return id_ != 0;
    }

    void Stop() override {
        if (id_ != 0) {
            killTimer(id_);
            id_ = 0;
        }
    }

    ~TQtPoolTimerDevice() override { Stop(); }

protected:
    void timerEvent(QTimerEvent* event) override {
        if (event->timerId() == id_ && onTimer_) {
            onTimer_();
        }
    }

private:
    std::function<void()> onTimer_;
    int id_ = 0;
};

TOvcTimerPool* gProcessPool = nullptr;

void DestroyProcessPool() {
    delete gProcessPool;
    gProcessPool = nullptr;
}

}  // namespace

std::unique_ptr<TPoolTimerDevice> MakeQtPoolTimerDevice() {
    return std::make_unique<TQtPoolTimerDevice>();
}

std::uint64_t MonotonicMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TOvcTimerPool::TOvcTimerPool(std::unique_ptr<TPoolTimerDevice> device, TMillisecondClock clock)
    : device_(std::move(device)), clock_(std::move(clock)) {
    device_->SetOnTimer([this] { HandleTimer(); });
    report_ = [](const std::string& what) {
        qCWarning(lcClockTimer) << "tick handler failed:" << what.c_str();
    };
}

TOvcTimerPool::~TOvcTimerPool() {
    device_->Stop();
    device_->SetOnTimer(nullptr);
}

TOvcTimerPool& TOvcTimerPool::Instance() {
    if (!gProcessPool) {
        gProcessPool = new TOvcTimerPool(MakeQtPoolTimerDevice(), &MonotonicMilliseconds);
        if (QCoreApplication::instance()) {
            qAddPostRoutine(&DestroyProcessPool);
        }
    }
    return *gProcessPool;
}

TOvcTimerPool::TTick* TOvcTimerPool::Find(int handle) {
    auto it = std::find_if(ticks_.begin(), ticks_.end(),
                           [handle](const TTick& t) { return t.handle == handle; });
    return it == ticks_.end() ? nullptr : &*it;
}

int TOvcTimerPool::Add(TTickHandler handler, int intervalMs, bool repeat) {
    TTick tick;
    tick.handle = 0;
    for (const TTick& t : ticks_) {
        tick.handle = std::max(tick.handle, t.handle + 1);
    }
    tick.interval = std::max(intervalMs, kMinInterval);
    tick.lastDelivery = clock_();
    tick.repeat = repeat;
    tick.handler = std::move(handler);
    const int handle = tick.handle;
    auto pos = std::upper_bound(ticks_.begin(), ticks_.end(), tick.interval,
                                [](int interval, const TTick& t) { return interval < t.interval; });
    ticks_.insert(pos, std::move(tick));
    try {
        Restart();
    } catch (...) {
        // A tick that can never fire is not kept.
        Remove(handle);
        throw;
    }
    return handle;
}

void TOvcTimerPool::Remove(int handle) {
    auto it = std::find_if(ticks_.begin(), ticks_.end(),
                           [handle](const TTick& t) { return t.handle == handle; });
    if (it == ticks_.end()) {
        return;
    }
    ticks_.erase(it);
    // Stopping never fails; a failed restart leaves the timer stopped.
    try {
        Restart();
    } catch (const EOvcTimerPoolError&) {
    }
}

void TOvcTimerPool::SetEnabled(int handle, bool enabled) {
    if (TTick* t = Find(handle)) {
        t->enabled = enabled;
    }
}

void TOvcTimerPool::Restart() {
    if (ticks_.empty()) {
        device_->Stop();
        period_ = 0;
        return;
    }
    const std::uint64_t now = clock_();
    int period = ticks_.front().interval;
    for (const TTick& t : ticks_) {
        const std::uint64_t since = now >= t.lastDelivery ? now - t.lastDelivery : 0;
        const std::int64_t untilDue =
            static_cast<std::int64_t>(t.interval) - static_cast<std::int64_t>(since);
        period = static_cast<int>(std::min<std::int64_t>(period, untilDue));
    }
    period = std::max(period, kMinInterval);
    // A period that divides every interval keeps all ticks on their beat.
    auto dividesAll = [this](int p) {
        return std::all_of(ticks_.begin(), ticks_.end(),
                           [p](const TTick& t) { return t.interval % p == 0; });
    };
    while (period > kMinInterval && !dividesAll(period)) {
        --period;
    }
    if (!device_->Start(period)) {
        period_ = 0;
        throw EOvcTimerPoolError(kNoTimers);
    }
    period_ = period;
}

void TOvcTimerPool::HandleTimer() {
    const std::uint64_t now = clock_();
    // A handler may add or remove ticks (a clock may be destroyed by its own
    // tick), so walk a copy of the handles and look each one up again.
    std::vector<int> handles;
    handles.reserve(ticks_.size());
    for (const TTick& t : ticks_) {
        handles.push_back(t.handle);
    }
    for (int handle : handles) {
        TTick* tick = Find(handle);
        if (!tick || !tick->enabled) {
            continue;
        }
        const std::uint64_t since = now >= tick->lastDelivery ? now - tick->lastDelivery : 0;
        if (since + kEarlyDelivery < static_cast<std::uint64_t>(tick->interval)) {
            continue;
        }
        tick->lastDelivery = now;
        TTickHandler handler = tick->handler;  // the tick may go away while it runs
        if (!tick->repeat) {
            Remove(handle);
        }
        try {
            if (handler) {
                handler(handle);
            }
        } catch (const std::exception& e) {
            report_(e.what());
        } catch (...) {
            report_("Unknown exception");
        }
    }
}
