#include "slideshow/SlideShow.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "wallpaper/FileUtils.h"
#include "platform/Translate.h"

namespace {

// The timer counts in signed 32-bit milliseconds; a longer interval runs at
// the longest one the timer can hold rather than spinning or stopping.
int IntervalMs(std::int32_t seconds) {
    const long long ms = static_cast<long long>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : int(ms);
}

// Why the file of an entry cannot be shown, as the user is told; empty when
// it can be handed to the desktop. A folder goes on to the desktop's side,
// which refuses it as it refuses any file that is no picture. Only regular
// files are opened: opening a named pipe would wait for a writer.
std::string Unusable(const std::string& path) {
    if (!FileExistsTest(path)) {
        return TextArgs(TrText("TSlideShow", "File \"%1\" does not exists"), {path});
    }
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
    if (!ec && std::filesystem::is_directory(status)) {
        return {};
    }
    if (ec || !std::filesystem::is_regular_file(status) ||
        !std::ifstream(std::filesystem::path(path), std::ios::binary)) {
        return TextArgs(TrText("TSlideShow", "File \"%1\" cannot be read"), {path});
    }
    return {};
}

}  // namespace

TSlideShow::TSlideShow(TSlideShowHost& host) : host_(host) {
    timer_.setInterval(IntervalMs(interval_));
    // Queued: a tick runs after the timer's own delivery has returned, and a
    // tick queued just before the show stopped finds it stopped.
    QObject::connect(
        &timer_, &QTimer::timeout, &timer_, [this] { Tick(); }, Qt::QueuedConnection);
}

namespace {
// Rounds kept for Previous to retrace; each holds one place per entry.
constexpr std::size_t kRoundsKept = 4;
}  // namespace

void TSlideShow::SetPlaylist(std::vector<std::string> entries) {
    playlist_ = std::move(entries);
    before_.clear();
    after_.clear();
    order_.clear();
    order_ = NewRound();
}

void TSlideShow::SetShuffle(bool on, std::uint64_t seed) {
    random_.seed(seed != 0 ? seed : std::random_device{}());
    if (on == shuffle_ && seed == 0) {
        return;
    }
    shuffle_ = on;
    before_.clear();
    after_.clear();
    // The entry on screen opens the new order, so the next step moves on
    // from it rather than showing it again.
    const std::int32_t shown = shownEntry_;
    order_.clear();
    order_ = NewRound();
    if (shuffle_ && shown >= 0 && std::size_t(shown) < order_.size()) {
        std::iter_swap(order_.begin(), std::find(order_.begin(), order_.end(), std::size_t(shown)));
        position_ = running_ ? 1 : 0;
    } else if (!shuffle_ && shown >= 0) {
        position_ = running_ ? shown + 1 : shown;
    }
}

std::vector<std::size_t> TSlideShow::NewRound() {
    std::vector<std::size_t> round(playlist_.size());
    std::iota(round.begin(), round.end(), std::size_t(0));
    if (!shuffle_ || round.size() < 2) {
        return round;
    }
    std::shuffle(round.begin(), round.end(), random_);
    // Never the same picture twice in a row across the rounds' seam.
    if (!order_.empty() && round.front() == order_.back()) {
        std::uniform_int_distribution<std::size_t> other(1, round.size() - 1);
        std::swap(round.front(), round[other(random_)]);
    }
    return round;
}

void TSlideShow::EnterRound(int direction) {
    if (shuffle_ && direction > 0) {
        before_.push_back(order_);
        if (before_.size() > kRoundsKept) {
            before_.pop_front();
        }
        if (!after_.empty()) {
            order_ = std::move(after_.front());
            after_.pop_front();
        } else {
            order_ = NewRound();
        }
    } else if (shuffle_ && !before_.empty()) {
        after_.push_front(std::move(order_));
        if (after_.size() > kRoundsKept) {
            after_.pop_back();
        }
        order_ = std::move(before_.back());
        before_.pop_back();
    }
    position_ = direction > 0 ? 0 : Count() - 1;
}

void TSlideShow::Step(TSlideStep step) {
    Stop();
    const std::int32_t count = Count();
    int direction = +1;
    switch (step) {
        case TSlideStep::First:
            position_ = 0;
            break;
        case TSlideStep::Last:
            position_ = count - 1;
            direction = -1;
            break;
        case TSlideStep::Next:
            // Also brings a position beyond the end back to the first entry.
            if (position_ < count - Stride()) {
                position_ += Stride();
            } else {
                EnterRound(+1);
            }
            break;
        case TSlideStep::Previous:
            // A position beyond the end stays beyond it after one step back.
            if (position_ - Stride() < 0) {
                EnterRound(-1);
            } else {
                position_ -= Stride();
            }
            direction = -1;
            break;
    }
    ShowFrom(direction, true);
}

std::int32_t TSlideShow::Stride() const {
    const std::size_t atOnce = std::min(host_.PicturesAtOnce(), order_.size());
    return std::max<std::int32_t>(1, std::int32_t(atOnce));
}

void TSlideShow::ShowCurrent() {
    ShowFrom(+1, true);
}

void TSlideShow::ShowFrom(int direction, bool wrap) {
    if (playlist_.empty()) {
        host_.ReportEmpty();
        return;
    }
    if (position_ < 0) {
        position_ = 0;
    }
    const std::int32_t count = Count();
    if (position_ >= count) {
        return;
    }
    const std::int32_t start = position_;
    for (std::int32_t tried = 0; tried < count; ++tried) {
        const std::size_t entry = order_[std::size_t(position_)];
        const std::string& path = playlist_[entry];
        const std::string why = Unusable(path);
        if (why.empty()) {
            host_.ShowPicture(path);
            shownEntry_ = std::int32_t(entry);
            shownFile_ = path;
            return;
        }
        ReportOnce(path, why);
        std::int32_t next = position_ + direction;
        if (next < 0 || next >= count) {
            if (!wrap) {
                position_ = count;
                return;
            }
            next = (next + count) % count;
        }
        position_ = next;
    }
    // No entry can be shown: the position stays where the move put it.
    position_ = start;
}

void TSlideShow::ReportOnce(const std::string& path, const std::string& text) {
    if (reported_.insert(path).second) {
        host_.ReportSkipped(path, text);
    }
}

void TSlideShow::Start() {
    if (running_) {
        return;
    }
    timer_.setInterval(IntervalMs(interval_));
    timer_.start();
    running_ = true;
    host_.RunningChanged(true);
}

void TSlideShow::Stop() {
    if (!running_) {
        return;
    }
    timer_.stop();
    running_ = false;
    host_.RunningChanged(false);
}

void TSlideShow::Tick() {
    if (!running_) {
        return;
    }
    try {
        if (playlist_.empty()) {
            Stop();
        } else if (position_ < Count()) {
            // Entries that cannot be shown are passed over up to the end; the
            // end itself is the next tick's business (stop or rewind).
            ShowFrom(+1, false);
            if (position_ < Count()) {
                position_ = std::min(position_ + Stride(), Count());
            }
        } else if (stopAtLast_) {
            Stop();
        } else {
            EnterRound(+1);
        }
    } catch (...) {
        // A failed tick is dropped; the timer keeps its state.
    }
}

void TSlideShow::ChangeEnded(bool taken) {
    if (taken) {
        takenEntry_ = shownEntry_;
        takenFile_ = shownFile_;
    } else {
        shownEntry_ = takenEntry_;
        shownFile_ = takenFile_;
    }
}
