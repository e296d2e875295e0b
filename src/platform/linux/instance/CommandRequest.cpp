#include "platform/linux/instance/CommandRequest.h"

#include <algorithm>

namespace {

// The size announced by a line "<name> +<digits>", or npos for a plain line.
// Nine digits at most: any count past the limit is too long, whatever it is.
std::size_t AnnouncedSize(const std::string& line) {
    const std::size_t plus = line.find(" +");
    if (plus == std::string::npos || plus == 0) {
        return std::string::npos;
    }
    const std::string digits = line.substr(plus + 2);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::string::npos;
    }
    return std::stoul(digits);
}

}  // namespace

TCommandRequest ParseCommandRequest(const std::string& received, std::size_t maxRequest) {
    TCommandRequest request;
    const std::string close = "vantoriamsg";
    if (received.starts_with(close) &&
        received.find_first_not_of("\r\n", close.size()) == std::string::npos) {
        request.kind = TCommandRequest::kClose;
        return request;
    }
    const std::size_t newline = received.find('\n');
    if (newline == std::string::npos || newline >= maxRequest) {
        if (received.size() >= maxRequest) {
            request.kind = TCommandRequest::kTooLong;
        }
        return request;
    }
    std::string line = received.substr(0, newline);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const std::size_t size = AnnouncedSize(line);
    if (size == std::string::npos) {
        request.kind = TCommandRequest::kLine;
        request.line = std::move(line);
        return request;
    }
    if (size > kMaxArgumentBytes) {
        request.kind = TCommandRequest::kTooLong;
        return request;
    }
    const std::size_t start = newline + 1;
    if (received.size() - start < size) {
        return request;  // the arguments are still on their way
    }
    const auto malformed = [&request](const char* why) {
        request.kind = TCommandRequest::kMalformed;
        request.why = why;
        return request;
    };
    if (received.size() - start > size) {
        return malformed("more bytes than announced");
    }
    if (size == 0 || received.back() != '\0') {
        return malformed("an argument without its end");
    }
    for (std::size_t at = start; at < received.size();) {
        const std::size_t end = received.find('\0', at);
        if (end == at) {
            return malformed("an empty argument");
        }
        if (request.args.size() == kMaxArguments) {
            return malformed("too many arguments");
        }
        request.args.push_back(received.substr(at, end - at));
        at = end + 1;
    }
    request.kind = TCommandRequest::kLine;
    request.line = line.substr(0, line.find(" +"));
    return request;
}

std::string CommandRequestText(const std::string& command, const std::vector<std::string>& args) {
    if (args.empty()) {
        return command + "\n";
    }
    std::string payload;
    for (const std::string& arg : args) {
        payload += arg;
        payload += '\0';
    }
    return command + " +" + std::to_string(payload.size()) + "\n" + payload;
}
