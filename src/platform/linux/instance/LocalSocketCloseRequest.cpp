#include "platform/linux/instance/LocalSocketCloseRequest.h"

#include "platform/linux/instance/CommandRequest.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

Q_LOGGING_CATEGORY(lcCloseRequest, "vantoria.instance.close", QtWarningMsg)

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
    errno = saved;
}

constexpr std::size_t kMaxClients = 16;
// A caller sends its line at once; one silent for this long is idle.
constexpr std::chrono::milliseconds kIdleAfter{1000};

// A command name: lower-case letters and dashes, nothing else; then perhaps
// one space and a word of visible ASCII.
bool IsCommandLine(const std::string& text) {
    const std::size_t space = text.find(' ');
    const std::string name = text.substr(0, space);
    const bool nameOk = !name.empty() && name.size() <= 32 &&
                        std::all_of(name.begin(), name.end(),
                                    [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; });
    if (!nameOk || space == std::string::npos) {
        return nameOk;
    }
    const std::string word = text.substr(space + 1);
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

// Writes the answer and closes the connection. A caller that has gone away
// costs nothing (no SIGPIPE), a reader that does not read at most a second.
void Answer(int fd, const TCommandReply& reply) {
    std::string text = reply.ok ? "ok\n" + reply.text : "error " + reply.text + "\n";
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval tv{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    ::close(fd);
}

}  // namespace

struct TLocalSocketCloseRequest::TClient {
    std::uint64_t id = 0;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> deadline;
    std::string received;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
};

TLocalSocketCloseRequest::TLocalSocketCloseRequest(std::string runtimeDir,
                                                   std::vector<std::string> socketNames,
                                                   QObject* parent)
    : TCloseRequestChannel(parent) {
    if (!runtimeDir.empty()) {
        for (const std::string& name : socketNames)
            paths_.push_back(runtimeDir + "/" + name);
    }
}

TLocalSocketCloseRequest::~TLocalSocketCloseRequest() {
    // Whoever has asked is answered, including callers still waiting to be
    // let in: a "quit" with the others once the end is complete, anything
    // else with the refusal of an ending instance.
    std::vector<int> waiting;
    for (auto& p : pending_) {
        Answer(p.fd, {false, "Vantoria is ending"});
    }
    pending_.clear();
    for (auto& c : clients_) {
        c->notifier.reset();
        waiting.push_back(c->fd);
    }
    clients_.clear();
    listenNotifiers_.clear();
    for (const int listenFd : listenFds_) {
        for (int fd;
             (fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0;) {
            waiting.push_back(fd);
        }
        ::close(listenFd);
    }
    for (const int fd : waiting) {
        char buf[kMaxRequest + 1] = {};
        const ssize_t n = ::recv(fd, buf, kMaxRequest, MSG_DONTWAIT);
        const std::string request(buf, n > 0 ? std::size_t(n) : 0);
        if (request == "quit\n") {
            quitting_.push_back(fd);
        } else if (request.find('\n') != std::string::npos) {
            Answer(fd, {false, "Vantoria is ending"});
        } else {
            ::close(fd);
        }
    }
    for (const std::string& path : paths_)
        ::unlink(path.c_str());
    // The instance has ended in order: those who asked it to quit hear so.
    for (int fd : quitting_)
        Answer(fd, quitReply_);
    if (signalNotifier_) {
        signalNotifier_.reset();
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            ::signal(sig, SIG_DFL);
    }
}

bool TLocalSocketCloseRequest::Listen() {
    // Termination signals first: they work even where no socket can be made.
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    if (!signalNotifier_ && g_signalPipe[0] >= 0) {
        signalNotifier_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        connect(signalNotifier_.get(), &QSocketNotifier::activated, this,
                &TLocalSocketCloseRequest::ReadSignal);
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(sig, &sa, nullptr);
    }

    if (paths_.empty()) {
        qCWarning(lcCloseRequest, "no private runtime folder for the close request");
    }
    for (const std::string& path : paths_) {
        sockaddr_un addr{};
        if (path.size() >= sizeof addr.sun_path) {
            qCWarning(lcCloseRequest, "socket path too long: %s", path.c_str());
            continue;
        }
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            qCWarning(lcCloseRequest, "socket: %s", std::strerror(errno));
            continue;
        }
        // Only the instance holding the single-instance guard listens, so a
        // socket file left by a crashed instance can be replaced.
        ::unlink(path.c_str());
        const mode_t old = ::umask(077);
        const int rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::umask(old);
        if (rc != 0 || ::listen(fd, 8) != 0) {
            qCWarning(lcCloseRequest, "cannot listen on %s: %s", path.c_str(),
                      std::strerror(errno));
            ::close(fd);
            continue;
        }
        ::chmod(path.c_str(), 0600);
        listenFds_.push_back(fd);
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this, [this, fd] { Accept(fd); });
        listenNotifiers_.push_back(std::move(notifier));
    }
    return !listenFds_.empty();
}

void TLocalSocketCloseRequest::Accept(int listenFd) {
    while (true) {
        if (clients_.size() >= kMaxClients && !MakeRoom()) {
            // Every caller let in is half-way through a request: the next
            // ones wait in the socket's queue until one of these ends.
            for (auto& notifier : listenNotifiers_) {
                notifier->setEnabled(false);
            }
            QTimer::singleShot(kIdleAfter, this, &TLocalSocketCloseRequest::ResumeAccepting);
            return;
        }
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;
        }
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
            ::close(fd);  // another user: never honoured
            continue;
        }
        auto c = std::make_unique<TClient>();
        const std::uint64_t id = nextId_++;
        c->id = id;
        c->fd = fd;
        c->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(c->notifier.get(), &QSocketNotifier::activated, this,
                [this, id] { ReadClient(id); });
        // A caller that says nothing, or never finishes its line, is let go.
        c->deadline = std::make_unique<QTimer>();
        c->deadline->setSingleShot(true);
        connect(c->deadline.get(), &QTimer::timeout, this, [this, id] { DropClient(id); });
        c->deadline->start(kRequestTimeoutMs);
        clients_.push_back(std::move(c));
    }
}

// Requests that have arrived are read (and so run and answered) first; then
// the oldest caller that has said nothing at all for a second goes, so that
// callers holding connections open without a word do not lock the others
// out. A caller that has spoken is never dropped.
bool TLocalSocketCloseRequest::MakeRoom() {
    std::vector<std::uint64_t> ids;
    for (const auto& c : clients_) {
        ids.push_back(c->id);
    }
    for (const std::uint64_t id : ids) {
        ReadClient(id);
    }
    if (clients_.size() < kMaxClients) {
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto idle = std::find_if(clients_.begin(), clients_.end(), [now](const auto& c) {
        return c->received.empty() && now - c->since >= kIdleAfter;
    });
    if (idle == clients_.end()) {
        return false;
    }
    DropClient((*idle)->id);
    return true;
}

void TLocalSocketCloseRequest::ResumeAccepting() {
    for (auto& notifier : listenNotifiers_) {
        notifier->setEnabled(true);
    }
}

void TLocalSocketCloseRequest::ReadClient(std::uint64_t id) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [id](auto& c) { return c->id == id; });
    if (it == clients_.end())
        return;
    TClient& c = **it;
    char buf[kMaxRequest + 1];
    const ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0) {
        c.received.append(buf, std::min(std::size_t(n), kMaxRequest + 1 - c.received.size()));
    }
    const TCommandRequest request = ParseCommandRequest(c.received, kMaxRequest);
    if (request.kind == TCommandRequest::kClose) {
        DropClient(id);
        qCInfo(lcCloseRequest, "close request received");
        emit closeRequested();
        return;
    }
    if (request.kind == TCommandRequest::kLine) {
        std::unique_ptr<TClient> taken = std::move(*it);
        clients_.erase(it);
        ResumeAccepting();
        RunCommand(std::move(taken), request.line);
        return;
    }
    if (request.kind == TCommandRequest::kTooLong) {
        const int fd = c.fd;
        c.notifier.reset();
        c.fd = -1;
        DropClient(id);
        Answer(fd, {false, "request too long"});
        return;
    }
    if (n <= 0) {
        DropClient(id);  // cut short: nothing is run
    }
}

void TLocalSocketCloseRequest::RunCommand(std::unique_ptr<TClient> client,
                                          const std::string& line) {
    // The connection is ours alone from here: commands may open message boxes
    // whose event loops run other connections meanwhile.
    client->notifier.reset();
    client->deadline.reset();
    const int fd = client->fd;
    if (line == "quit") {
        qCInfo(lcCloseRequest, "quit command received");
        quitting_.push_back(fd);
        emit closeRequested();
        return;
    }
    TCommandReply reply{false, "unknown command"};
    std::uint64_t later = 0;
    if (IsCommandLine(line) && commandHandler_) {
        std::uint64_t* const outer = laterId_;
        laterId_ = &later;
        reply = commandHandler_(line);
        laterId_ = outer;
    }
    if (later == 0) {
        Answer(fd, reply);
        return;
    }
    TPending& pending = pending_.emplace_back();
    pending.id = later;
    pending.fd = fd;
    pending.deadline = new QTimer(this);
    pending.deadline->setSingleShot(true);
    connect(pending.deadline, &QTimer::timeout, this, [this, later] {
        AnswerPending(later, {false, "the desktop has not shown the picture within 30 seconds"});
    });
    pending.deadline->start(kLaterReplyTimeoutMs);
}

TCloseRequestChannel::TLaterReply TLocalSocketCloseRequest::AnswerLater() {
    if (!laterId_) {
        return {};
    }
    if (*laterId_ == 0) {
        *laterId_ = nextId_++;
    }
    return [self = QPointer<TLocalSocketCloseRequest>(this),
            id = *laterId_](const TCommandReply& reply) {
        if (self) {
            self->AnswerPending(id, reply);
        }
    };
}

void TLocalSocketCloseRequest::AnswerPending(std::uint64_t id, const TCommandReply& reply) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [id](auto& p) { return p.id == id; });
    if (it == pending_.end()) {
        return;  // answered already
    }
    const int fd = it->fd;
    // Deleted later: the timer may be the one calling.
    it->deadline->stop();
    it->deadline->deleteLater();
    pending_.erase(it);
    Answer(fd, reply);
}

void TLocalSocketCloseRequest::DropClient(std::uint64_t id) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [id](auto& c) { return c->id == id; });
    if (it == clients_.end())
        return;
    (*it)->notifier.reset();
    if ((*it)->fd >= 0)
        ::close((*it)->fd);
    clients_.erase(it);
    ResumeAccepting();
}

void TLocalSocketCloseRequest::ReadSignal() {
    unsigned char b = 0;
    bool any = false;
    while (::read(g_signalPipe[0], &b, 1) == 1)
        any = true;
    if (any) {
        qCInfo(lcCloseRequest, "termination signal %d received", int(b));
        emit closeRequested();
    }
}
