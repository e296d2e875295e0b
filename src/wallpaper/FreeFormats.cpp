#include "wallpaper/FreeFormats.h"

#include <FreeImage.h>

#include <algorithm>

#include "platform/Translate.h"

namespace {

class TFreeImageFormatInfo : public TImageFormatInfo {
public:
    int Count() const override { return FreeImage_GetFIFCount(); }
    bool Reads(int index) const override {
        return FreeImage_FIFSupportsReading(static_cast<FREE_IMAGE_FORMAT>(index));
    }
    std::string ExtensionList(int index) const override {
        return Text(FreeImage_GetFIFExtensionList(static_cast<FREE_IMAGE_FORMAT>(index)));
    }
    std::string Description(int index) const override {
        return Text(FreeImage_GetFIFDescription(static_cast<FREE_IMAGE_FORMAT>(index)));
    }

private:
    static std::string Text(const char* s) { return s ? std::string(s) : std::string(); }
};

// Leading and trailing spaces and control characters (every byte below 33).
std::string TrimControls(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) < 33) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(s[e - 1]) < 33) {
        --e;
    }
    return s.substr(b, e - b);
}

}  // namespace

const TImageFormatInfo& FreeImageFormats() {
    static const TFreeImageFormatInfo info;
    return info;
}

std::string GetFormatMasks(int Index, const TImageFormatInfo& info) {
    std::string result = "*.";
    for (const char c : info.ExtensionList(Index)) {
        if (c == ',') {
            result += ";*.";
        } else {
            result += c;
        }
    }
    return result;
}

std::string GetAllFormatMasks(const TImageFormatInfo& info) {
    std::string result;
    for (int i = 0; i < info.Count(); ++i) {
        if (info.Reads(i)) {
            result += result.empty() ? "" : ";";
            result += GetFormatMasks(i, info);
        }
    }
    return result;
}

std::string GetFormatFilter(int Index, const TImageFormatInfo& info) {
    if (Index == -1) {
        return {};
    }
    const std::string masks = GetFormatMasks(Index, info);
    return TrimControls(info.Description(Index)) + "(" + masks + ")|" + masks;
}

bool IsJpegOrPngName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (const std::string_view known : {"jpg", "jif", "jpeg", "jpe", "png"}) {
        if (extension.size() == known.size() &&
            std::equal(known.begin(), known.end(), extension.begin(), [](char a, char b) {
                return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
            })) {
            return true;
        }
    }
    return false;
}

std::string GetOpenImageFilter(const TImageFormatInfo& info) {
    std::string result =
        TrText("FreeFormats", "All supported formats") + "|" + GetAllFormatMasks(info);
    for (int i = 0; i < info.Count(); ++i) {
        if (info.Reads(i)) {
            result += '|';
            result += GetFormatFilter(i, info);
        }
    }
    return result;
}
