#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs one piece of work away from the calling (GUI) thread, then its
// completion back on the calling thread, one piece at a time.
class TBackgroundWork {
public:
    virtual ~TBackgroundWork() = default;
    // Starts `work`; `done` runs later on the calling thread once `work` has
    // ended. Never called while an earlier piece is still running.
    virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
    // Blocks until the piece started last has ended; its `done` may still
    // arrive later and must then find nothing left to do.
    virtual void Wait() = 0;
    // As Wait, for at most `patience`: false when the piece still runs.
    virtual bool WaitFor(std::chrono::milliseconds patience) {
        (void)patience;
        Wait();
        return true;
    }
    // Leaves the piece still running to end on its own, at the program's
    // end: nothing waits for it any more, and its `done` never runs.
    virtual void Abandon() {}
};

// Runs each piece on a thread of its own. `post` hands a function to the
// calling thread's event loop; it must be safe to call from any thread.
class TThreadWork : public TBackgroundWork {
public:
    using TPost = std::function<void(std::function<void()>)>;
    explicit TThreadWork(TPost post) : post_(std::move(post)) {}
    ~TThreadWork() override { Wait(); }

    void Run(std::function<void()> work, std::function<void()> done) override {
        Wait();
        state_ = std::make_shared<TState>();
        thread_ = std::thread(
            [work = std::move(work), done = std::move(done), post = post_, state = state_] {
                work();
                const std::lock_guard<std::mutex> lock(state->mutex);
                state->ended = true;
                if (!state->abandoned) {
                    post(done);
                }
                state->endedChanged.notify_all();
            });
    }
    void Wait() override {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool WaitFor(std::chrono::milliseconds patience) override {
        if (!thread_.joinable()) {
            return true;
        }
        {
            std::unique_lock<std::mutex> lock(state_->mutex);
            if (!state_->endedChanged.wait_for(lock, patience, [this] { return state_->ended; })) {
                return false;
            }
        }
        thread_.join();
        return true;
    }
    void Abandon() override {
        if (thread_.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(state_->mutex);
                state_->abandoned = true;
            }
            thread_.detach();
        }
    }

private:
    struct TState {
        std::mutex mutex;
        std::condition_variable endedChanged;
        bool ended = false;
        bool abandoned = false;
    };
    TPost post_;
    std::thread thread_;
    std::shared_ptr<TState> state_;
};
