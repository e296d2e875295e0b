#include "platform/linux/instance/LocalSocketCommandClient.h"

#include "platform/linux/instance/CommandRequest.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? int(left) : 0;
}

// A connected socket to an instance of this user, or -1.
int ConnectTo(const std::string& path, TClock::time_point deadline) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path)
        return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    while (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        // A full queue of waiting connections: the instance is busy, not gone.
        if ((errno == EAGAIN || errno == EINTR) && RemainingMs(deadline) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        ::close(fd);
        return -1;
    }
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TCommandResult SendInstanceCommand(const std::string& runtimeDir,
                                   const std::vector<std::string>& socketNames,
                                   const std::string& command, int timeoutMs,
                                   const std::vector<std::string>& args) {
    TCommandResult result;
    if (runtimeDir.empty())
        return result;
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = -1;
    for (const std::string& name : socketNames) {
        fd = ConnectTo(runtimeDir + "/" + name, deadline);
        if (fd >= 0)
            break;
    }
    if (fd < 0)
        return result;

    result.status = TCommandResult::TStatus::NoAnswer;
    // The request may be larger than the socket's buffer: it goes out as
    // the instance reads it, within the same deadline.
    const std::string request = CommandRequestText(command, args);
    for (std::size_t done = 0; done < request.size();) {
        const ssize_t n = ::send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && ::poll(&p, 1, RemainingMs(deadline)) > 0 &&
            (p.revents & POLLOUT))
            continue;
        ::close(fd);
        return result;
    }
    // The answer ends when the instance closes the connection.
    std::string answer;
    constexpr std::size_t kMaxAnswer = 1 << 20;
    while (answer.size() < kMaxAnswer) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ::close(fd);
            return result;  // no answer in time
        }
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        answer.append(buf, std::size_t(n));
    }
    ::close(fd);
    if (answer.rfind("ok\n", 0) == 0) {
        result = {TCommandResult::TStatus::Answered, true, answer.substr(3)};
    } else if (answer.rfind("error ", 0) == 0) {
        std::string reason = answer.substr(6);
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        result = {TCommandResult::TStatus::Answered, false, reason};
    }
    return result;
}
