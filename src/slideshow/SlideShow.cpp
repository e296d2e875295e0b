#include "slideshow/SlideShow.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <utility>

#include "slideshow/FollowedFolder.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/FolderUtils.h"
#include "wallpaper/FreeFormats.h"
#include "platform/Translate.h"

namespace {

// The timer counts in signed 32-bit milliseconds; a longer interval runs at
// the longest one the timer can hold rather than spinning or stopping.
int IntervalMs(std::int32_t seconds) {
    const long long ms = static_cast<long long>(seconds) * 1000;
    return ms > INT_MAX ? INT_MAX : int(ms);
}

// Why the file of an entry cannot be shown, as the user is told; empty when
// it can be handed to the desktop. A folder here is one that could not be
// read as the pictures it holds. Only regular files are opened: opening a
// named pipe would wait for a writer.
std::string Unusable(const std::string& path) {
    if (!FileExistsTest(path)) {
        return TextArgs(TrText("TSlideShow", "File \"%1\" does not exists"), {path});
    }
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
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

TSlideShow::~TSlideShow() {
    SetFolderWatch(nullptr);
}

const TPictureNames& TSlideShow::Names() {
    if (!names_) {
        names_ = std::make_unique<TPictureNames>(BuildMasks(GetAllFormatMasks()));
    }
    return *names_;
}

void TSlideShow::Watch(const std::vector<std::string>& folders) {
    if (!watch_) {
        return;
    }
    for (const std::string& folder : folders) {
        // A folder that cannot be watched keeps the pictures found in it.
        if (watched_[folder]++ == 0 && !watch_->Watch(folder)) {
            watched_.erase(folder);
        }
    }
}

void TSlideShow::Unwatch(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        const auto it = watched_.find(folder);
        if (it != watched_.end() && --it->second <= 0) {
            watched_.erase(it);
            if (watch_) {
                watch_->Unwatch(folder);
            }
        }
    }
}

void TSlideShow::SetFolderWatch(TFolderWatch* watch) {
    if (watch_) {
        watch_->SetListener({});
        for (const auto& [folder, users] : watched_) {
            watch_->Unwatch(folder);
        }
    }
    watched_.clear();
    watch_ = watch;
    if (!watch_) {
        return;
    }
    watch_->SetListener(
        [this](const std::string& folder, const std::string& name, TFolderWatch::TChange change) {
            FolderChanged(folder, name, change);
        });
    for (const TFollowed& f : followed_) {
        Watch(f.folder->Folders());
    }
}

void TSlideShow::SetRecursive(bool on) {
    if (on == recursive_) {
        return;
    }
    recursive_ = on;
    if (!followed_.empty()) {
        SetPlaylist(std::vector<std::string>(entries_));
    }
}

int TSlideShow::FolderPictures(const std::string& folder) {
    for (const TFollowed& f : followed_) {
        if (entries_[f.entry] == folder) {
            return int(f.folder->Count());
        }
    }
    if (folder.empty() || Names().Matches(EntryFileName(folder)) || !DirectoryExists(folder)) {
        return -1;
    }
    const TFollowedFolder read(folder, recursive_, Names());
    return read.Readable() ? int(read.Count()) : -1;
}

void TSlideShow::SetPlaylist(std::vector<std::string> entries) {
    for (const TFollowed& f : followed_) {
        Unwatch(f.folder->Folders());
    }
    followed_.clear();
    entries_ = std::move(entries);
    std::vector<std::string> pictures;
    pictures.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::string& entry = entries_[i];
        // A photograph's name settles it without the format list, whose
        // making loads FreeImage: a start that shows photographs needs none.
        const std::string name = EntryFileName(entry);
        if (!entry.empty() && !IsJpegOrPngName(name) && !Names().Matches(name) &&
            DirectoryExists(entry)) {
            auto folder = std::make_unique<TFollowedFolder>(entry, recursive_, Names());
            if (folder->Readable()) {
                folder->AppendPictures(pictures);
                Watch(folder->Folders());
                followed_.push_back({i, std::move(folder)});
                continue;
            }
        }
        pictures.push_back(entry);
    }
    playlist_ = std::move(pictures);
    shownLeft_ = false;
    before_.clear();
    after_.clear();
    order_.clear();
    order_ = NewRound();
}

void TSlideShow::FolderChanged(const std::string& folder, const std::string& name,
                               TFolderWatch::TChange change) {
    // A folder's pictures start where the entries before it end.
    const auto base = [this](std::size_t k) {
        long long at = static_cast<long long>(followed_[k].entry);
        for (std::size_t j = 0; j < k; ++j) {
            at += static_cast<long long>(followed_[j].folder->Count()) - 1;
        }
        return std::size_t(at);
    };
    for (std::size_t k = 0; k < followed_.size(); ++k) {
        TFollowedFolder& followed = *followed_[k].folder;
        // Lost changes: every folder of the entry (or the one named) read
        // once; a folder that came since is read again once watched, so
        // that what came into it before the watch is not missed.
        std::vector<std::string> pending;
        if (change == TFolderWatch::TChange::Lost) {
            pending = folder.empty() ? followed.Folders() : std::vector<std::string>{folder};
        }
        bool first = true;
        while (first || !pending.empty()) {
            TFollowedFolder::TChanges changes;
            if (!first || change == TFolderWatch::TChange::Lost) {
                const std::string next = std::move(pending.back());
                pending.pop_back();
                followed.Reread(next, changes);
            } else if (change == TFolderWatch::TChange::Appeared) {
                followed.Appeared(folder, name, changes);
            } else {
                followed.Vanished(folder, name, changes);
            }
            first = false;
            const std::size_t at = base(k);
            for (TFollowedFolder::TChange& c : changes.pictures) {
                if (c.joined) {
                    Join(at + c.at, std::move(c.path));
                } else {
                    Leave(at + c.at);
                }
            }
            Unwatch(changes.foldersWent);
            Watch(changes.foldersCame);
            pending.insert(pending.end(), changes.foldersCame.begin(), changes.foldersCame.end());
        }
    }
}

void TSlideShow::Join(std::size_t at, std::string path) {
    if (at > playlist_.size()) {
        return;
    }
    playlist_.insert(playlist_.begin() + std::ptrdiff_t(at), std::move(path));
    const auto shift = [at](std::vector<std::size_t>& round) {
        for (std::size_t& entry : round) {
            entry += entry >= at ? 1 : 0;
        }
    };
    shift(order_);
    for (auto& round : before_) {
        shift(round);
    }
    for (auto& round : after_) {
        shift(round);
    }
    for (std::int32_t* entry : {&shownEntry_, &takenEntry_}) {
        *entry += (*entry >= 0 && std::size_t(*entry) >= at) ? 1 : 0;
    }
    // In playlist order the newcomer takes its own place; in a shuffled
    // round a random one still ahead, so it is shown in this round.
    std::size_t place = at;
    if (shuffle_) {
        const std::size_t count = order_.size();
        const std::size_t low = std::min(std::size_t(std::max(position_ + 1, 0)), count);
        place = std::uniform_int_distribution<std::size_t>(low, count)(random_);
    }
    place = std::min(place, order_.size());
    order_.insert(order_.begin() + std::ptrdiff_t(place), at);
    // The picture at the position stays there: a newcomer before it moves it
    // one on. While the show runs, or after the picture shown has left, the
    // position holds the next to show, and a newcomer in its place is that.
    const auto p = std::size_t(std::max(position_, 0));
    if (place < p || (place == p && !running_ && !shownLeft_)) {
        ++position_;
    }
}

void TSlideShow::Leave(std::size_t at) {
    if (at >= playlist_.size()) {
        return;
    }
    playlist_.erase(playlist_.begin() + std::ptrdiff_t(at));
    const auto drop = [at](std::vector<std::size_t>& round) {
        std::erase(round, at);
        for (std::size_t& entry : round) {
            entry -= entry > at ? 1 : 0;
        }
    };
    const auto place = std::size_t(std::find(order_.begin(), order_.end(), at) - order_.begin());
    drop(order_);
    for (auto& round : before_) {
        drop(round);
    }
    for (auto& round : after_) {
        drop(round);
    }
    const bool shownLeaves = shownEntry_ >= 0 && std::size_t(shownEntry_) == at;
    for (std::int32_t* entry : {&shownEntry_, &takenEntry_}) {
        if (*entry >= 0 && std::size_t(*entry) == at) {
            *entry = -1;
        } else if (*entry >= 0 && std::size_t(*entry) > at) {
            --*entry;
        }
    }
    // The position keeps its picture; the place of one that left is taken by
    // its follower, which the next step shows.
    const auto p = std::size_t(std::max(position_, 0));
    if (place < p) {
        --position_;
    } else if (place == p && shownLeaves && !running_) {
        shownLeft_ = true;
    }
}

void TSlideShow::SetShuffle(bool on, std::uint64_t seed) {
    random_.seed(seed != 0 ? seed : std::random_device{}());
    if (on == shuffle_ && seed == 0) {
        return;
    }
    shuffle_ = on;
    shownLeft_ = false;
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
            shownLeft_ = false;
            position_ = 0;
            break;
        case TSlideStep::Last:
            shownLeft_ = false;
            position_ = count - 1;
            direction = -1;
            break;
        case TSlideStep::Next:
            // Also brings a position beyond the end back to the first entry.
            // After the picture shown left, its follower holds the place and
            // is the next one.
            if (shownLeft_ && position_ < count) {
                shownLeft_ = false;
            } else if (position_ < count - Stride()) {
                position_ += Stride();
            } else {
                EnterRound(+1);
            }
            break;
        case TSlideStep::Previous:
            shownLeft_ = false;
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
            shownLeft_ = false;
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
