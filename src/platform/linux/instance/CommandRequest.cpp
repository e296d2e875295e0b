#include "platform/linux/instance/CommandRequest.h"

TCommandRequest ParseCommandRequest(const std::string& received, std::size_t maxRequest) {
    TCommandRequest request;
    std::string text = received;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    if (text == "vantoriamsg") {
        request.kind = TCommandRequest::kClose;
        return request;
    }
    const std::size_t newline = received.find('\n');
    if (newline != std::string::npos && newline < maxRequest) {
        request.kind = TCommandRequest::kLine;
        request.line = received.substr(0, newline);
        if (!request.line.empty() && request.line.back() == '\r') {
            request.line.pop_back();
        }
        return request;
    }
    if (received.size() >= maxRequest) {
        request.kind = TCommandRequest::kTooLong;
    }
    return request;
}
