#include "platform/Translate.h"

#include <QCoreApplication>

std::string TrText(const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
}

std::string TextArgs(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
            std::size_t(text[i + 1] - '1') < args.size()) {
            out += args.begin()[text[i + 1] - '1'];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
