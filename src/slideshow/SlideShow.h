#pragma once

#include <QTimer>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FolderWatch.h"

class TFollowedFolder;
class TPictureNames;

// What the show asks of the program around it.
class TSlideShowHost {
public:
    virtual ~TSlideShowHost() = default;
    // Hands a picture to the desktop.
    virtual void ShowPicture(const std::string& path) = 0;
    // The show started or stopped.
    virtual void RunningChanged(bool running) = 0;
    // A picture was asked for while the playlist is empty.
    virtual void ReportEmpty() = 0;
    // An entry the show passed over, with the sentence that says why; called
    // once per file in a run of the program, never more.
    virtual void ReportSkipped(const std::string& path, const std::string& text) = 0;
    // How many entries the desk shows at once (one per monitor, each the next
    // in turn): the steps and the timer move on by as many.
    virtual std::size_t PicturesAtOnce() { return 1; }
};

// The four moves of the navigation commands; one step serves them all.
enum class TSlideStep { First, Last, Next, Previous };

// The slide show: the playlist, the order the show walks it in, the position
// in that order and the timer that moves on by itself.
//
// The position has two readings: after a navigation step it is the place of
// the entry just shown; while the timer runs it is the place of the entry the
// next tick shows (each tick shows, then advances). It may lie beyond the
// end (a stored position, a shorter list); every operation tolerates that.
//
// An entry whose file is missing or unreadable never traps the show: the show
// passes over it to the following one in the direction it moves, and the
// file is reported once.
//
// An entry that names a folder stands for the pictures in it (and in its
// subfolders, when recursive) in name order; the show walks those pictures.
// With a folder watch they are kept current while the show runs: pictures
// join and leave where they belong in the order, the picture shown stays
// the one shown, and when it leaves, the next step goes on from its place.
// A folder that cannot be read is an entry like a missing file.
class TSlideShow {
public:
    explicit TSlideShow(TSlideShowHost& host);
    ~TSlideShow();

    // A new playlist, walked in its own order (or a fresh shuffled round);
    // the position is kept, and so is the entry shown (the desktop still
    // shows it). An entry whose name ends like a picture's is taken for a
    // picture without looking at the disk (a drive not mounted yet must not
    // hold up the start); any other that is a folder is read.
    void SetPlaylist(std::vector<std::string> entries);
    // Folders named by entries are followed through `watch`; none: they are
    // read once. The watch outlives the show or is taken back first
    // (SetFolderWatch(nullptr)).
    void SetFolderWatch(TFolderWatch* watch);
    // Whether a folder entry takes in its subfolders' pictures too; a
    // change reads the folder entries again.
    void SetRecursive(bool on);
    bool Recursive() const { return recursive_; }
    // How many pictures a folder stands for now: a followed entry's count,
    // else the folder read now; -1 when it is no folder that can be read.
    int FolderPictures(const std::string& folder);
    // Shuffle: every entry once per round in a random order, a new order
    // each round, never the same entry twice in a row across rounds. Next
    // past the end of a round begins the following one; Previous before its
    // start goes back into the round shown before, so what was shown is
    // retraced, and Next then walks forward along the same way. First and
    // Last are those of the current round; stop at the last stops at the end
    // of a round. Off: the playlist's own order, as one round repeated.
    // `seed` fixes the rounds (tests); 0 takes a random one.
    void SetShuffle(bool on, std::uint64_t seed = 0);
    bool Shuffle() const { return shuffle_; }
    // The order of the current round: places in the playlist.
    const std::vector<std::size_t>& Order() const { return order_; }
    // The entries as given, folders among them.
    const std::vector<std::string>& Playlist() const { return entries_; }
    // The pictures the entries stand for, in playlist order: what the show
    // walks; its order, positions and ShownEntry count in these.
    const std::vector<std::string>& Pictures() const { return playlist_; }
    bool Empty() const { return playlist_.empty(); }

    std::int32_t Position() const { return position_; }
    void SetPosition(std::int32_t position) {
        position_ = position;
        shownLeft_ = false;
    }
    // The interval the timer takes at the next start, in seconds.
    void SetInterval(std::int32_t seconds) { interval_ = seconds; }
    void SetStopAtLast(bool stop) { stopAtLast_ = stop; }

    // Stops the show, moves, and shows the entry reached.
    void Step(TSlideStep step);
    // Shows the entry at the position: nothing when the position lies beyond
    // the end; the empty-playlist report when there is no entry at all.
    void ShowCurrent();

    void Start();
    void Stop();
    bool Running() const { return running_; }
    // The timer's tick: shows the entry at the position and advances; at the
    // end it stops (stop at the last) or rewinds, showing nothing this tick.
    void Tick();
    const QTimer& Timer() const { return timer_; }

    // The playlist entry last handed to the desktop, -1 for none, and its
    // file; Forget is for a desktop given another picture meanwhile.
    std::int32_t ShownEntry() const { return shownEntry_; }
    const std::string& ShownFile() const { return shownFile_; }
    void ForgetShown() {
        shownEntry_ = takenEntry_ = -1;
        shownFile_.clear();
        takenFile_.clear();
    }
    // A picture from outside the playlist is being handed to the desktop:
    // no entry is shown then, and the position stays for the next slide.
    void ShownOutside(const std::string& path) {
        shownEntry_ = -1;
        shownFile_ = path;
    }
    // The desktop's answer to the last picture handed over: taken, it is on
    // screen; refused, the one on screen is still the one taken before.
    void ChangeEnded(bool taken);

private:
    std::int32_t Count() const { return std::int32_t(order_.size()); }
    // How far one step moves: the entries shown at once, at most the round.
    std::int32_t Stride() const;
    // Shows from the position on, passing over entries that cannot be shown
    // in `direction` (+1, -1); past an end it wraps round when `wrap`, and
    // otherwise leaves the position beyond the end.
    void ShowFrom(int direction, bool wrap);
    void ReportOnce(const std::string& path, const std::string& text);
    // Moves into the following round (at its first place) or, for
    // `direction` -1, the round before (at its last place); in playlist
    // order both are the same round again.
    void EnterRound(int direction);
    std::vector<std::size_t> NewRound();
    const TPictureNames& Names();
    // Picture `path` joins the list at `at`; the picture at `at` leaves.
    void Join(std::size_t at, std::string path);
    void Leave(std::size_t at);
    void FolderChanged(const std::string& folder, const std::string& name,
                       TFolderWatch::TChange change);
    void Watch(const std::vector<std::string>& folders);
    void Unwatch(const std::vector<std::string>& folders);

    TSlideShowHost& host_;
    std::vector<std::string> entries_;
    // The folder entries read, in entry order, with their place in entries_.
    struct TFollowed {
        std::size_t entry;
        std::unique_ptr<TFollowedFolder> folder;
    };
    std::vector<TFollowed> followed_;
    std::unique_ptr<TPictureNames> names_;
    TFolderWatch* watch_ = nullptr;
    // Folders watched, and for how many entries.
    std::unordered_map<std::string, int> watched_;
    bool recursive_ = true;
    // The picture shown left the list while the show stood still: the
    // position holds its follower, which Next shows without a step.
    bool shownLeft_ = false;
    // The pictures, in playlist order.
    std::vector<std::string> playlist_;
    // The order of the show: places in the playlist, one per entry.
    std::vector<std::size_t> order_;
    bool shuffle_ = false;
    std::mt19937_64 random_;
    // Rounds already walked, oldest first, and those walked back out of
    // (nearest first): Previous and Next retrace them. Kept for a few rounds.
    std::deque<std::vector<std::size_t>> before_, after_;
    std::int32_t position_ = 0;
    std::int32_t interval_ = 10;
    bool stopAtLast_ = false;
    bool running_ = false;
    QTimer timer_;
    std::int32_t shownEntry_ = -1;
    std::string shownFile_;
    std::int32_t takenEntry_ = -1;
    std::string takenFile_;
    std::set<std::string> reported_;
};
