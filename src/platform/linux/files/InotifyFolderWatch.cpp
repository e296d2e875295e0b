#include "platform/linux/files/InotifyFolderWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <vector>

Q_LOGGING_CATEGORY(lcFolders, "vantoria.folders", QtInfoMsg)

namespace {

constexpr std::uint32_t kMask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

TInotifyFolderWatch::TInotifyFolderWatch(QObject* parent) : QObject(parent) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        qCWarning(lcFolders, "folders cannot be followed: inotify: %s", std::strerror(errno));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadEvents(); });
}

TInotifyFolderWatch::~TInotifyFolderWatch() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TInotifyFolderWatch::SetListener(TListener listener) {
    listener_ = std::move(listener);
}

bool TInotifyFolderWatch::Watch(const std::string& folder) {
    if (fd_ < 0 || folder.empty() || folder.find('\0') != std::string::npos) {
        return false;
    }
    if (watches_.count(folder) != 0) {
        return true;
    }
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), kMask);
    if (wd < 0) {
        // ENOSPC: the user's limit of watches (fs.inotify.max_user_watches).
        qCWarning(lcFolders, "folder not followed, its pictures as found now: %s: %s",
                  folder.c_str(),
                  errno == ENOSPC ? "the system's limit of folder watches is reached"
                                  : std::strerror(errno));
        return false;
    }
    // One folder reached by two paths (a link) shares one descriptor: the
    // later path takes it over.
    if (const auto old = folders_.find(wd); old != folders_.end()) {
        watches_.erase(old->second);
    }
    folders_[wd] = folder;
    watches_[folder] = wd;
    return true;
}

void TInotifyFolderWatch::Unwatch(const std::string& folder) {
    const auto it = watches_.find(folder);
    if (it == watches_.end()) {
        return;
    }
    ::inotify_rm_watch(fd_, it->second);
    folders_.erase(it->second);
    watches_.erase(it);
}

void TInotifyFolderWatch::ReadEvents() {
    alignas(inotify_event) char buffer[64 * 1024];
    while (true) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) {
            return;  // EAGAIN: all read; the notifier calls again when more come
        }
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                qCWarning(lcFolders, "changes of followed folders were lost; reading them again");
                if (listener_) {
                    listener_({}, {}, TChange::Lost);
                }
                continue;
            }
            const auto it = folders_.find(e->wd);
            if (it == folders_.end()) {
                continue;
            }
            const std::string folder = it->second;
            if (e->mask & IN_IGNORED) {
                // The kernel dropped the watch (the folder is gone).
                watches_.erase(folder);
                folders_.erase(it);
                continue;
            }
            const std::string name = e->len ? std::string(e->name) : std::string();
            TChange change = TChange::Appeared;
            if (e->mask & (IN_DELETE | IN_MOVED_FROM)) {
                change = TChange::Vanished;
            } else if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                // A folder moved away keeps its watch under the old path:
                // it is gone from where it was followed.
                change = TChange::Vanished;
                Unwatch(folder);
            } else if (!(e->mask & (IN_CREATE | IN_MOVED_TO))) {
                continue;
            }
            if (listener_) {
                listener_(folder,
                          (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) ? std::string() : name,
                          change);
            }
        }
    }
}
