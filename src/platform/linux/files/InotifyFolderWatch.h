#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/FolderWatch.h"

class QSocketNotifier;

// Folders watched through one inotify descriptor, read when Qt's event loop
// sees it readable: no thread of its own. A folder's own deletion or move is
// reported as its vanishing; a queue that overflowed is reported as lost
// changes of every folder, each to be read again once.
class TInotifyFolderWatch : public QObject, public TFolderWatch {
    Q_OBJECT
public:
    explicit TInotifyFolderWatch(QObject* parent = nullptr);
    ~TInotifyFolderWatch() override;

    void SetListener(TListener listener) override;
    bool Watch(const std::string& folder) override;
    void Unwatch(const std::string& folder) override;
    // Whether inotify could be had at all (false: every Watch fails).
    bool Ready() const { return fd_ >= 0; }

private:
    void ReadEvents();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    TListener listener_;
    std::unordered_map<int, std::string> folders_;  // watch descriptor -> folder
    std::unordered_map<std::string, int> watches_;  // folder -> watch descriptor
};
