#pragma once

#include <functional>
#include <string>

// Tells of names that appear in and vanish from watched folders while the
// program runs. On Linux it is inotify; on Windows ReadDirectoryChangesW
// would fill it. Paths are bytes, folders given without a trailing delimiter;
// reports arrive on the thread that runs the event loop.
class TFolderWatch {
public:
    enum class TChange {
        // `name` came into `folder`: created, moved in, or a link made.
        Appeared,
        // `name` left `folder`: deleted or moved away. An empty name: the
        // watched folder itself was deleted or moved away.
        Vanished,
        // Changes of `folder` were lost (the watch's queue overflowed): what
        // it holds has to be read again. An empty folder: every watched one.
        Lost,
    };
    using TListener =
        std::function<void(const std::string& folder, const std::string& name, TChange change)>;

    virtual ~TFolderWatch() = default;
    // The one listener of every report; an empty one ends the reports.
    virtual void SetListener(TListener listener) = 0;
    // Starts watching `folder` (again, when it is watched: nothing changes);
    // false when it cannot be watched (the system's limit of watches
    // reached, the folder gone), the reason logged.
    virtual bool Watch(const std::string& folder) = 0;
    // Stops watching `folder`; nothing when it is not watched.
    virtual void Unwatch(const std::string& folder) = 0;
};
