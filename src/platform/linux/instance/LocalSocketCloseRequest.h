#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/InstanceGuard.h"

class QSocketNotifier;
class QTimer;

// The close request and the commands on Linux: local (Unix domain) sockets
// "vantoriamsg-<session key>" in the private runtime folder (RuntimeDir.h),
// reachable only by the same user (the peer's uid is checked as well).
//
// On a connection the instance reads at most kMaxRequest bytes and waits at
// most kRequestTimeoutMs for them:
// - the text "vantoriamsg" (a line break after it allowed) asks for an
//   orderly end, as it always has; there is no answer;
// - one line "<command>\n" (or "<command> <word>\n", a word of visible
//   ASCII such as the activation token of a launcher) runs that one
//   command; the answer is "ok\n"
//   followed by lines of facts, or "error <reason>\n", and then the instance
//   closes the connection. "quit" is the close request; its "ok" comes once
//   the instance has ended in order. Anything else is answered with an error,
//   and a request cut short is never run.
// A request once read is always answered. At most 16 callers are let in at
// a time; past that only callers that have sent nothing for a second are let
// go, and the others wait in the socket's queue until there is room.
// SIGTERM, SIGINT and SIGHUP ask for an orderly end too, through a self-pipe
// into the event loop.
class TLocalSocketCloseRequest : public TCloseRequestChannel {
    Q_OBJECT
public:
    static constexpr const char* kCloseRequestText = "vantoriamsg";
    static constexpr std::size_t kMaxRequest = 512;
    static constexpr int kRequestTimeoutMs = 5000;
    // The longest a command answered later waits for its outcome.
    static constexpr int kLaterReplyTimeoutMs = 30000;

    TLocalSocketCloseRequest(std::string runtimeDir, std::vector<std::string> socketNames,
                             QObject* parent = nullptr);
    ~TLocalSocketCloseRequest() override;
    bool Listen() override;
    TLaterReply AnswerLater() override;

    // The answer to "quit", given once the instance has ended: "ok" unless
    // the end fell short (the original wallpaper not put back).
    void SetQuitReply(TCommandReply reply) { quitReply_ = std::move(reply); }

    // The first socket's path.
    std::string SocketPath() const { return paths_.empty() ? std::string() : paths_.front(); }

private:
    struct TClient;
    void Accept(int listenFd);
    void ReadClient(std::uint64_t id);
    void DropClient(std::uint64_t id);
    bool MakeRoom();
    void ResumeAccepting();
    void RunCommand(std::unique_ptr<TClient> client, const std::string& line);
    void ReadSignal();
    void AnswerPending(std::uint64_t id, const TCommandReply& reply);

    std::vector<std::string> paths_;
    std::vector<int> listenFds_;
    std::vector<std::unique_ptr<QSocketNotifier>> listenNotifiers_;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::vector<std::unique_ptr<TClient>> clients_;
    std::vector<int> quitting_;  // "quit" connections, answered at the end
    // Commands answered once their outcome is known, at the latest when
    // their time is up or the instance ends.
    struct TPending {
        std::uint64_t id = 0;
        int fd = -1;
        QTimer* deadline = nullptr;  // a child of this object
    };
    std::vector<TPending> pending_;
    // The command handler running now asks to answer later under this id.
    std::uint64_t* laterId_ = nullptr;
    TCommandReply quitReply_{true, {}};
    std::uint64_t nextId_ = 1;
};
