#pragma once

// What a desktop session run in private namespaces shares: its folder (home,
// XDG folders, a runtime folder and logs), the environment its processes
// get, and starting them through nsenter once the namespaces' holder is up.
// TSwaySession and TGnomeWaylandSession build their desktops on it.

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/desktop/RealDesktop.h"

class TNamespaceSession {
public:
    TNamespaceSession(const TNamespaceSession&) = delete;
    TNamespaceSession& operator=(const TNamespaceSession&) = delete;

    bool Ready() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Root() const { return root_; }
    std::string ConfigHome() const { return root_ + "/config"; }
    std::string RuntimeDir() const { return root_ + "/runtime"; }
    // A variable of the session's environment (WAYLAND_DISPLAY, SWAYSOCK...).
    std::string Env(const std::string& name) const {
        const auto it = env_.find(name);
        return it == env_.end() ? std::string() : it->second;
    }

    // Started in the namespaces with the session's environment and
    // `extraEnv`, in a process group of its own; its output in Log(name).
    pid_t Launch(const std::string& name, const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& extraEnv = {});
    // A tool run in the namespaces to its end (bounded by `timeoutMs`), its
    // stdout and stderr together.
    TToolRun Run(const std::vector<std::string>& argv, int timeoutMs = 20000,
                 const std::map<std::string, std::string>& extraEnv = {});
    std::string Log(const std::string& name) const;

    // The real program's settings and slides, as TRealDesktop writes them.
    void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                       const std::vector<std::string>& slides = {});
    static std::string VantoriaPath() { return VantoriaBinaryPath(); }

protected:
    // A fresh folder under /tmp named after `prefix`, and the environment
    // every session starts from; Error() says when there is no folder.
    explicit TNamespaceSession(const std::string& prefix);
    // Removes the folder: the sessions stop their processes first.
    ~TNamespaceSession();

    // Starts the namespaces' holder (`unshare ...`) outside them, output in
    // Log("holder").
    pid_t StartHolder(const std::vector<std::string>& argv);

    std::string root_;
    std::string error_;
    std::map<std::string, std::string> env_;
    std::vector<std::string> enter_;  // nsenter and its options, before a command
    std::vector<pid_t> started_;      // in order of start
};

// Whole files, as bytes.
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);
