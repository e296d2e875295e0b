#pragma once

#include <string>

#include "platform/InstanceGuard.h"

// The single-instance guard as an advisory lock (flock) on a file named after
// the instance name in the private runtime folder (RuntimeDir.h). The kernel drops the lock
// when the process ends, also after a crash or kill -9, so no stale lock is
// ever left; two processes started at the same moment cannot both get it.
class TFlockInstanceGuard : public TInstanceGuard {
public:
    TFlockInstanceGuard(std::string runtimeDir, std::string name);
    ~TFlockInstanceGuard() override;
    bool Acquire() override;

private:
    std::string path_;
    int fd_ = -1;
};
