#include "platform/linux/instance/LocalSocketCloseRequest.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QLoggingCategory>
#include <QSocketNotifier>

Q_LOGGING_CATEGORY(lcCloseRequest, "vantoria.instance.close", QtWarningMsg)

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
    errno = saved;
}

constexpr std::size_t kMaxRequest = 64;

}  // namespace

TLocalSocketCloseRequest::TLocalSocketCloseRequest(std::string runtimeDir, std::string name,
                                                   QObject* parent)
    : TCloseRequestChannel(parent),
      path_(runtimeDir.empty() ? std::string() : runtimeDir + "/" + name),
      message_(std::move(name)) {}

TLocalSocketCloseRequest::~TLocalSocketCloseRequest() {
    for (auto& c : clients_) {
        c.notifier.reset();
        ::close(c.fd);
    }
    if (listenFd_ >= 0) {
        listenNotifier_.reset();
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    if (signalNotifier_) {
        signalNotifier_.reset();
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::signal(sig, SIG_DFL);
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
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    }

    sockaddr_un addr{};
    if (path_.empty() || path_.size() >= sizeof addr.sun_path) {
        qCWarning(lcCloseRequest, "no usable socket path for the close request");
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        qCWarning(lcCloseRequest, "socket: %s", std::strerror(errno));
        return false;
    }
    // Only the instance holding the single-instance guard listens, so a socket
    // file left by a crashed instance can be replaced.
    ::unlink(path_.c_str());
    const mode_t old = ::umask(077);
    const int rc = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::umask(old);
    if (rc != 0 || ::listen(fd, 8) != 0) {
        qCWarning(lcCloseRequest, "cannot listen on %s: %s", path_.c_str(), std::strerror(errno));
        ::close(fd);
        return false;
    }
    ::chmod(path_.c_str(), 0600);
    listenFd_ = fd;
    listenNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this,
            &TLocalSocketCloseRequest::Accept);
    return true;
}

void TLocalSocketCloseRequest::Accept() {
    while (true) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return;
        }
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
            ::close(fd);  // another user: never honoured
            continue;
        }
        if (clients_.size() >= 16) {
            ::close(fd);
            continue;
        }
        TClient c{fd, std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read), {}};
        connect(c.notifier.get(), &QSocketNotifier::activated, this, [this, fd] { ReadClient(fd); });
        clients_.push_back(std::move(c));
    }
}

void TLocalSocketCloseRequest::ReadClient(int fd) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [fd](auto& c) { return c.fd == fd; });
    if (it == clients_.end()) return;
    char buf[kMaxRequest];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n > 0) {
        it->received.append(buf, std::size_t(n));
    }
    std::string text = it->received;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text == message_) {
        DropClient(fd);
        qCInfo(lcCloseRequest, "close request received");
        emit closeRequested();
        return;
    }
    if (n <= 0 || it->received.size() > kMaxRequest) {
        DropClient(fd);
    }
}

void TLocalSocketCloseRequest::DropClient(int fd) {
    auto it = std::find_if(clients_.begin(), clients_.end(), [fd](auto& c) { return c.fd == fd; });
    if (it == clients_.end()) return;
    it->notifier.reset();
    ::close(fd);
    clients_.erase(it);
}

void TLocalSocketCloseRequest::ReadSignal() {
    unsigned char b = 0;
    bool any = false;
    while (::read(g_signalPipe[0], &b, 1) == 1) any = true;
    if (any) {
        qCInfo(lcCloseRequest, "termination signal %d received", int(b));
        emit closeRequested();
    }
}
