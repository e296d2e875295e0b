#include "platform/linux/instance/FlockInstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcInstance, "vantoria.instance", QtWarningMsg)

TFlockInstanceGuard::TFlockInstanceGuard(std::string runtimeDir, std::string name)
    : path_(runtimeDir.empty() ? std::string() : runtimeDir + "/" + name) {}

TFlockInstanceGuard::~TFlockInstanceGuard() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TFlockInstanceGuard::Acquire() {
    if (fd_ >= 0) {
        return true;
    }
    // Never run unguarded: a lock that cannot be had counts as held.
    if (path_.empty()) {
        qCWarning(lcInstance, "no private runtime folder for the single-instance lock");
        return false;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        qCWarning(lcInstance, "cannot open %s: %s", path_.c_str(), std::strerror(errno));
        return false;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}
