#pragma once

#include <string>
#include <vector>

// Sends one command to the running instance of this log-on session over its
// socket (LocalSocketCloseRequest.h) and waits for the answer.
struct TCommandResult {
    enum class TStatus {
        NoInstance,  // no socket of this session answers, or not one of this user
        NoAnswer,    // connected, but no answer came in time or the instance went away
        Answered,
    };
    TStatus status = TStatus::NoInstance;
    bool ok = false;   // the instance did it
    std::string text;  // the lines after "ok", or the reason of an error
};

// Tries the sockets in order and talks to the first that accepts. `args`
// (bytes, none empty, within the limits of CommandRequest.h) travel after
// the command's line.
TCommandResult SendInstanceCommand(const std::string& runtimeDir,
                                   const std::vector<std::string>& socketNames,
                                   const std::string& command, int timeoutMs,
                                   const std::vector<std::string>& args = {});
