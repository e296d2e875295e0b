#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What the bytes received so far on a command connection ask for: the close
// request (the bare text "vantoriamsg", with or without a line end), one line
// (a command, run once it ends with "\n"; a "\r" before it is dropped), or
// nothing yet. A request that reaches `maxRequest` bytes without a line end
// is too long.
//
// A command that takes paths (bytes, any but NUL) sends them after its line:
// "<command> +<n>\n" and then exactly n bytes, the arguments one after the
// other, each ended by a NUL byte. The line stays within `maxRequest`; the
// arguments within kMaxArgumentBytes and kMaxArguments, none of them empty.
// More than n bytes, a last argument without its NUL, an empty argument or
// a count past the limits make the request malformed (never run); n past
// kMaxArgumentBytes makes it too long.
struct TCommandRequest {
    enum TKind { kIncomplete, kClose, kLine, kTooLong, kMalformed };
    TKind kind = kIncomplete;
    std::string line;               // kLine: the line without its end (and without " +<n>")
    std::vector<std::string> args;  // kLine: the arguments that followed it
    std::string why;                // kMalformed: what is wrong, for the caller
};

inline constexpr std::size_t kMaxArgumentBytes = std::size_t(1) << 20;
inline constexpr std::size_t kMaxArguments = 10000;

TCommandRequest ParseCommandRequest(const std::string& received, std::size_t maxRequest);

// The bytes that ask for `command` with `args` (none: the plain line).
std::string CommandRequestText(const std::string& command, const std::vector<std::string>& args);
