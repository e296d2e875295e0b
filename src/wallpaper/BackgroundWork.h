#pragma once

#include <functional>
#include <memory>
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
        thread_ = std::thread([work = std::move(work), done = std::move(done), post = post_] {
            work();
            post(done);
        });
    }
    void Wait() override {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    TPost post_;
    std::thread thread_;
};
