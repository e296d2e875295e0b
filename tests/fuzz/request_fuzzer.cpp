// libFuzzer target over the parser of the command socket's requests: any
// bytes a local client sends, received in any number of pieces.
//
// Input: byte 0 splits the rest into two reads; the rest is what arrives
// (a line, perhaps followed by the arguments it announces).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/instance/CommandRequest.h"

namespace {

constexpr std::size_t kMaxRequest = 64;

void Check(const std::string& received) {
    const TCommandRequest request = ParseCommandRequest(received, kMaxRequest);
    switch (request.kind) {
        case TCommandRequest::kLine:
            // A line is what came before the first line end, within the limit.
            if (request.line.size() >= kMaxRequest ||
                request.line.find('\n') != std::string::npos ||
                received.compare(0, request.line.size(), request.line) != 0) {
                std::abort();
            }
            // Arguments: none empty, none holding a NUL, within the limits.
            if (request.args.size() > kMaxArguments) {
                std::abort();
            }
            for (const std::string& arg : request.args) {
                if (arg.empty() || arg.find('\0') != std::string::npos) {
                    std::abort();
                }
            }
            break;
        case TCommandRequest::kMalformed:
            if (request.why.empty()) {
                std::abort();
            }
            break;
        case TCommandRequest::kTooLong:
            // A line past the limit, or one announcing too many bytes.
            if (received.size() < kMaxRequest && received.find(" +") == std::string::npos) {
                std::abort();
            }
            break;
        case TCommandRequest::kIncomplete:
            // Only a line announcing arguments waits past its end.
            if (received.find('\n') == std::string::npos
                    ? received.size() >= kMaxRequest
                    : received.find(" +") == std::string::npos) {
                std::abort();
            }
            break;
        case TCommandRequest::kClose:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The connection keeps at most a line and the arguments' limit, as read.
    const std::string all(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string kept = all.substr(0, kMaxRequest + kMaxArgumentBytes + 1);
    Check(kept.substr(0, std::min<std::size_t>(data[0], kept.size())));
    Check(kept);
    return 0;
}
