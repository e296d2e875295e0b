#include "registry/JclRegistry.h"

#include <cstring>

namespace {

std::string StripLeadingBackslash(const std::string& key) {
    if (!key.empty() && key.front() == '\\') {
        return key.substr(1);
    }
    return key;
}

// Text of a string value: its data up to the first zero byte. A value written
// without its terminating zero reads up to its length.
std::string TextOf(const TRegValue& v) {
    const auto end = v.data.find('\0');
    return end == std::string::npos ? v.data : v.data.substr(0, end);
}

bool IsText(const TRegValue& v) {
    return v.type == TRegType::Sz || v.type == TRegType::ExpandSz;
}

}  // namespace

bool RegKeyPresent(TRegRoot root, const std::string& key) {
    return RegStore().KeyReadable(root, StripLeadingBackslash(key));
}

void RegEnsureKey(TRegRoot root, const std::string& key) {
    // Creating the key through its unnamed default value; the outcome is not examined.
    const std::string path = StripLeadingBackslash(key);
    if (RegStore().CreateKey(root, path)) {
        if (!RegStore().QueryValue(root, path, std::string())) {
            RegStore().SetValue(root, path, std::string(), TRegValue::Text(std::string()));
        }
    }
}

std::int32_t RegReadInt(TRegRoot root, const std::string& key, const std::string& name,
                        std::int32_t def) {
    const std::string path = StripLeadingBackslash(key);
    if (!RegStore().KeyReadable(root, path)) {
        return def;
    }
    const auto v = RegStore().QueryValue(root, path, name);
    // The query reads into a four-byte buffer: larger data does not fit and fails.
    if (!v || v->type != TRegType::Dword || v->data.size() > 4) {
        return def;
    }
    std::uint32_t u = 0;
    for (std::size_t i = 0; i < v->data.size(); ++i) {
        u |= std::uint32_t(static_cast<unsigned char>(v->data[i])) << (8 * i);
    }
    return static_cast<std::int32_t>(u);
}

bool RegReadFlag(TRegRoot root, const std::string& key, const std::string& name, bool def) {
    return (RegReadInt(root, key, name, def ? 1 : 0) & 0xFF) != 0;
}

std::string RegReadText(TRegRoot root, const std::string& key, const std::string& name,
                        const std::string& def) {
    const std::string path = StripLeadingBackslash(key);
    if (!RegStore().KeyReadable(root, path)) {
        return def;
    }
    const auto v = RegStore().QueryValue(root, path, name);
    if (!v || !IsText(*v)) {
        return def;
    }
    return TextOf(*v);
}

std::string RegReadTextStrict(TRegRoot root, const std::string& key, const std::string& name) {
    const std::string path = StripLeadingBackslash(key);
    if (!RegStore().KeyReadable(root, path)) {
        throw EJclRegistryError("Unable to open key \"" + path + "\" for read");
    }
    const auto v = RegStore().QueryValue(root, path, name);
    if (!v || !IsText(*v)) {
        throw EJclRegistryError("Unable to open key \"" + path + "\" and access value \"" + name +
                                "\"");
    }
    return TextOf(*v);
}

void RegWriteInt(TRegRoot root, const std::string& key, const std::string& name,
                 std::int32_t value) {
    const std::string path = StripLeadingBackslash(key);
    if (!RegStore().SetValue(root, path, name, TRegValue::Dword(static_cast<std::uint32_t>(value)))) {
        throw EJclRegistryError("Unable to open key \"" + path + "\" for write");
    }
}

void RegWriteFlag(TRegRoot root, const std::string& key, const std::string& name, bool value) {
    RegWriteInt(root, key, name, value ? 1 : 0);
}

void RegWriteText(TRegRoot root, const std::string& key, const std::string& name,
                  const std::string& text) {
    const std::string path = StripLeadingBackslash(key);
    if (!RegStore().SetValue(root, path, name, TRegValue::Text(text))) {
        throw EJclRegistryError("Unable to open key \"" + path + "\" for write");
    }
}
