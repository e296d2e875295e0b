#include "support/InstanceSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

std::string InstanceSocketPath() {
    std::string key;
    for (const char* name : {"XDG_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            key = value;
            break;
        }
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime ? runtime : "") + "/vantoriamsg-" + (key.empty() ? "default" : key);
}

int ConnectInstance(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
