#pragma once

#include <string>
#include <vector>

#include "platform/linux/files/Environment.h"

// Where the instance of a log-on session keeps its lock and its socket.
//
// The folder is $XDG_RUNTIME_DIR when it is a private folder of this user;
// otherwise a private folder "vantoria-<host>" in the user's cache folder
// ($XDG_CACHE_HOME, else ~/.cache), created 0700. A candidate is taken only
// when, opened without following links, it is a folder this user owns that no
// one else may enter: a folder another user made or a symbolic link is never
// used, so nobody else can switch the single-instance guard off.
struct TRuntimeDir {
    std::string folder;   // empty when no private folder can be had
    std::string problem;  // why not, in words for the user
};

using TRuntimeEnvironment = TEnvironment;

// With `create` false nothing is made: a folder that is not there yet means
// that no instance has ever run with it.
TRuntimeDir VantoriaRuntimeDir(const TRuntimeEnvironment& env, bool create);

// The names one log-on session is known by, most specific first: the login
// session (XDG_SESSION_ID), then its displays (DISPLAY, WAYLAND_DISPLAY).
// A session's instance holds a lock and listens under each of them, so a
// process that sees only the display (one started by the desktop's own
// services) still finds it, and a second session (another seat, a remote
// desktop) has names of its own. The names of one X display (":5", ":5.0",
// "unix:5") make one key. Characters other than letters, digits and ".:_-"
// become "_".
std::vector<std::string> SessionKeys(const TRuntimeEnvironment& env);

// The environment of this process.
inline TRuntimeEnvironment CurrentEnvironment() {
    return ProcessEnvironment();
}
