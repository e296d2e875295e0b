#include "platform/MessageService.h"

std::string ExceptionReportText(const std::string& what) {
    if (!what.empty() && static_cast<unsigned char>(what.back()) > static_cast<unsigned char>('.')) {
        return what + ".";
    }
    return what;
}
