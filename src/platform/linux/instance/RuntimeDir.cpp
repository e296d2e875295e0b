#include "platform/linux/instance/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string VantoriaRuntimeDir() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (xdg && xdg[0] == '/' && ::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid()) {
        return xdg;
    }
    const std::string dir = "/tmp/vantoria-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        return {};
    }
    return dir;
}
