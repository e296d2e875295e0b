#include "platform/linux/instance/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/files/UserFolders.h"

namespace {

std::string Sanitised(const std::string& text, std::size_t limit) {
    std::string out;
    for (const char c : text.substr(0, limit)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == ':' || c == '_' || c == '-';
        out += plain ? c : '_';
    }
    return out;
}

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return "localhost";
    }
    return Sanitised(host, 32);
}

}  // namespace

TRuntimeDir VantoriaRuntimeDir(const TRuntimeEnvironment& env, bool create) {
    const std::string xdg = UserFolder(env, TUserFolder::Runtime);
    if (!xdg.empty() && PrivateFolderProblem(xdg, false, false).empty()) {
        return {xdg, {}};
    }
    // No private runtime folder: the user's own cache. A home shared between
    // machines gets one folder per machine, as locks and sockets are local.
    const std::string cache = UserFolder(env, TUserFolder::Cache);
    const std::string folder = cache + "/vantoria-" + HostName();
    if (create) {
        ::mkdir(cache.c_str(), 0700);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return {{}, "cannot create " + folder + ": " + std::strerror(errno)};
        }
    }
    std::string problem = PrivateFolderProblem(folder, false, create);
    if (!problem.empty()) {
        return {{}, problem};
    }
    return {folder, {}};
}

std::vector<std::string> SessionKeys(const TRuntimeEnvironment& env) {
    std::vector<std::string> keys;
    for (const char* name : {"XDG_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const std::string value = EnvValue(env, name);
        if (!value.empty()) {
            const std::string key = Sanitised(value, 32);
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }
    if (keys.empty()) {
        keys.push_back("default");
    }
    return keys;
}
