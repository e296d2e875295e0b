#pragma once

// Background work that runs only when the test says so, so that a test can
// act while a change is on its way and decide when it arrives.

#include <functional>
#include <vector>

#include "wallpaper/BackgroundWork.h"

class TManualWork : public TBackgroundWork {
public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        pieces.push_back({std::move(work), std::move(done)});
    }
    // The thread of the latest piece ends (its completion is then on its way).
    void Wait() override {
        if (!pieces.empty() && !pieces.back().worked) {
            pieces.back().worked = true;
            pieces.back().work();
        }
    }
    // The latest piece ends and its completion arrives on the GUI thread.
    void Deliver() {
        Wait();
        if (!pieces.empty() && !pieces.back().delivered) {
            pieces.back().delivered = true;
            auto done = pieces.back().done;
            done();
        }
    }
    // Delivers pieces until none is left waiting.
    void DeliverAll() {
        while (!pieces.empty() && !pieces.back().delivered) {
            Deliver();
        }
    }

    struct TPiece {
        std::function<void()> work;
        std::function<void()> done;
        bool worked = false;
        bool delivered = false;
    };
    std::vector<TPiece> pieces;
};
