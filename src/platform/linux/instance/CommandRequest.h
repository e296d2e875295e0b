#pragma once

#include <cstddef>
#include <string>

// What the bytes received so far on a command connection ask for: the close
// request (the bare text "vantoriamsg", with or without a line end), one line
// (a command, run once it ends with "\n"; a "\r" before it is dropped), or
// nothing yet. A request that reaches `maxRequest` bytes without a line end
// is too long.
struct TCommandRequest {
    enum TKind { kIncomplete, kClose, kLine, kTooLong };
    TKind kind = kIncomplete;
    std::string line;  // kLine: the line without its end
};

TCommandRequest ParseCommandRequest(const std::string& received, std::size_t maxRequest);
