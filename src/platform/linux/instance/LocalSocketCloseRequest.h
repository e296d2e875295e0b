#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/InstanceGuard.h"

class QSocketNotifier;

// The close request on Linux: a local (Unix domain) socket named
// "vantoriamsg" in the user's runtime folder, reachable only by the same user.
// A connection that sends the text "vantoriamsg" asks for an orderly end.
// SIGTERM, SIGINT and SIGHUP ask for the same, through a self-pipe into the
// event loop.
class TLocalSocketCloseRequest : public TCloseRequestChannel {
    Q_OBJECT
public:
    TLocalSocketCloseRequest(std::string runtimeDir, std::string name, QObject* parent = nullptr);
    ~TLocalSocketCloseRequest() override;
    bool Listen() override;

    const std::string& SocketPath() const { return path_; }

private:
    struct TClient {
        int fd;
        std::unique_ptr<QSocketNotifier> notifier;
        std::string received;
    };
    void Accept();
    void ReadClient(int fd);
    void DropClient(int fd);
    void ReadSignal();

    std::string path_;
    std::string message_;
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::vector<TClient> clients_;
};
