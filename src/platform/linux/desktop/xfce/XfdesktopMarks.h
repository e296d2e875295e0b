#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What xfdesktop shows on the X root window. Each time it has drawn a
// backdrop, that is when a load has ended, xfdesktop 4.18 sets the root
// property XFDESKTOP_IMAGE_FILE_<monitor> to the picture's name (a change even
// when the name stays the same): the only sign outside it that a load is done.
// Counting those marks tells when xfdesktop is ready for the next change.
//
// A connection of its own to the display of $DISPLAY; without one every
// question has an empty answer and nothing is ever awaited.
class TXfdesktopMarks {
public:
    TXfdesktopMarks();
    ~TXfdesktopMarks();
    TXfdesktopMarks(const TXfdesktopMarks&) = delete;
    TXfdesktopMarks& operator=(const TXfdesktopMarks&) = delete;

    bool Available() const { return display_ != nullptr; }
    // The connection's socket, readable when events arrive; -1 without one.
    int Socket() const;

    // The marks seen so far, those that arrived since the last call included.
    std::uint64_t Count();
    // Waits until Count() reaches `count`; false when `deadline` came first.
    bool WaitFor(std::uint64_t count, std::chrono::steady_clock::time_point deadline);

    // The workspace shown (_NET_CURRENT_DESKTOP), 0 without a window manager.
    int CurrentWorkspace();
    // The monitors xfdesktop draws, by the names its backdrops carry (the
    // RandR output names, "0" where the display has no RandR).
    std::vector<std::string> MonitorNames();

private:
    void* display_ = nullptr;
    unsigned long root_ = 0;
    unsigned long currentDesktop_ = 0;
    std::vector<unsigned long> markAtoms_;
    std::uint64_t marks_ = 0;
};
