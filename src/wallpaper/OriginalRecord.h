#pragma once

#include <optional>
#include <string>

// What was on the desktop when the program started, kept on disk until an
// orderly end has put it back, so that a crash, a kill or a power loss does
// not lose it. Every field is bytes; the file is replaced atomically.
struct TOriginalRecord {
    std::string desktop;    // the back-end that found it
    std::string wallpaper;  // the wallpaper file found at start, "" for none
    int placement = 0;      // the placement number found at start
    std::string state;      // the desktop's own record, for an exact return
    bool operator==(const TOriginalRecord&) const = default;
};

// Nothing when the file is absent or not a complete record.
std::optional<TOriginalRecord> ReadOriginalRecord(const std::string& path);
bool WriteOriginalRecord(const std::string& path, const TOriginalRecord& record);
