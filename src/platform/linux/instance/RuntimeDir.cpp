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

namespace {

// An X display is named [protocol/][host]:number[.screen]. The names of this
// machine's own server over its local socket (":5", ":5.0", "unix:5",
// "unix/:5", "local/host:5") are one display and make one key, ":5" (":5.1"
// for another screen, which has a root window of its own). A host name stays
// in the key, "localhost" too: a display reached over the network is told
// apart by its host, and "localhost:10" is what ssh's X forwarding hands out
// for a server on the far side, while a local server on :10 that listens on
// no TCP port may run at the same time; the same server named once by its
// socket and once by TCP is no name a desktop gives its programs.
std::string XDisplayKey(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) {
        return display;
    }
    std::string host = display.substr(0, colon);
    const std::string tail = display.substr(colon + 1);
    const std::size_t dot = tail.find('.');
    const std::string number = tail.substr(0, dot);
    const std::string screen = dot == std::string::npos ? "0" : tail.substr(dot + 1);
    const auto digits = [](const std::string& text) {
        return !text.empty() && text.size() <= 9 &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(number) || !digits(screen)) {
        return display;
    }
    const std::size_t slash = host.find('/');
    const std::string protocol = slash == std::string::npos ? "" : host.substr(0, slash);
    if (protocol == "unix" || protocol == "local" || (protocol.empty() && host == "unix")) {
        host.clear();
    }
    const int screenNumber = std::stoi(screen);
    return host + ":" + std::to_string(std::stoi(number)) +
           (screenNumber == 0 ? "" : "." + std::to_string(screenNumber));
}

}  // namespace

std::vector<std::string> SessionKeys(const TRuntimeEnvironment& env) {
    std::vector<std::string> keys;
    for (const char* name : {"XDG_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"}) {
        std::string value = EnvValue(env, name);
        if (std::strcmp(name, "DISPLAY") == 0) {
            value = XDisplayKey(value);
        }
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
