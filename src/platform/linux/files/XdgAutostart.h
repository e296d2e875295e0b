#pragma once

#include <string>

#include "platform/Autostart.h"
#include "platform/linux/files/Environment.h"

// The autostart entry "vantoria.desktop" in the user's configuration folder
// ($XDG_CONFIG_HOME/autostart), which every XDG desktop starts at log-in.
class TXdgAutostart : public TAutostart {
public:
    // `program` is the file the entry starts (bytes, as the file system has it).
    TXdgAutostart(const TEnvironment& env, std::string program);

    bool Enabled() const override;
    std::string SetEnabled(bool on) override;
    const std::string& EntryPath() const { return entry_; }

private:
    std::string entry_;
    std::string program_;
};

// `path` as one argument of a desktop entry's Exec key, quoted and escaped
// as the desktop entry rules ask (the key's own string escapes included);
// empty when no entry can hold it (control characters, not UTF-8).
std::string DesktopExecArgument(const std::string& path);

// The file this process runs from, empty when unknown.
std::string RunningProgramFile();
