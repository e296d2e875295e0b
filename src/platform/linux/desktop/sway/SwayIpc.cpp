#include "platform/linux/desktop/sway/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kHeaderSize = kMagicSize + 8;
constexpr int kTimeoutMs = 3000;
constexpr std::size_t kMaxReply = 16 * 1024 * 1024;

}  // namespace

std::optional<std::string> SwayIpcRequest(const std::string& socketPath, std::uint32_t type,
                                          const std::string& payload, std::string& error) {
    if (socketPath.empty()) {
        error = "SWAYSOCK is not set, so sway cannot be reached";
        return std::nullopt;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        error = "the sway socket path is too long";
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot reach sway at " + socketPath + ": " + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return std::nullopt;
    }
    std::string message(kMagic, kMagicSize);
    const std::uint32_t header[2] = {static_cast<std::uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message += payload;

    // Every wait is bounded: a stuck compositor must not freeze the program.
    auto transfer = [fd](char* data, std::size_t size, bool sending) {
        std::size_t done = 0;
        while (done < size) {
            pollfd p{fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
            if (poll(&p, 1, kTimeoutMs) <= 0) {
                return false;
            }
            const ssize_t n = sending ? send(fd, data + done, size - done, MSG_NOSIGNAL)
                                      : recv(fd, data + done, size - done, 0);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    };
    std::optional<std::string> reply;
    char replyHeader[kHeaderSize];
    if (transfer(message.data(), message.size(), true) &&
        transfer(replyHeader, sizeof replyHeader, false) &&
        std::memcmp(replyHeader, kMagic, kMagicSize) == 0) {
        std::uint32_t fields[2];
        std::memcpy(fields, replyHeader + kMagicSize, sizeof fields);
        if (fields[0] <= kMaxReply && fields[1] == type) {
            std::string body(fields[0], '\0');
            if (transfer(body.data(), body.size(), false)) {
                reply = std::move(body);
            }
        }
    }
    close(fd);
    if (!reply) {
        error = "sway did not answer at " + socketPath;
    }
    return reply;
}

bool SwayIpcCommand(const std::string& socketPath, const std::string& command, std::string& error) {
    const std::optional<std::string> reply =
        SwayIpcRequest(socketPath, kSwayRunCommand, command, error);
    if (!reply) {
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*reply));
    if (!document.isArray() || document.array().isEmpty()) {
        error = "sway gave an answer that cannot be read";
        return false;
    }
    for (const QJsonValue& result : document.array()) {
        if (!result.toObject().value(QStringLiteral("success")).toBool()) {
            error = result.toObject().value(QStringLiteral("error")).toString().toStdString();
            return false;
        }
    }
    return true;
}

std::string SwayExactPattern(const std::string& text) {
    std::string pattern = "\"^";
    for (const char c : text) {
        if (c != '\0' && std::strchr("\\.^$|?*+()[]{}", c)) {
            pattern += '\\';
        }
        if (c == '"') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "$\"";
}
