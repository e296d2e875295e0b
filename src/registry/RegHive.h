#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/RegistryStore.h"

// The keys and values of registry roots, in the order they were created, with
// key paths in full ("HKEY_CURRENT_USER\Software\Vantoria"). Lookups ignore
// ASCII letter case.
using TRegValues = std::vector<std::pair<std::string, TRegValue>>;

// Finds a value of a key by its name in any ASCII letter case: a short list
// is searched, a long one indexed by a table of positions, open addressing.
class TRegNameIndex {
public:
    static constexpr std::size_t npos = std::size_t(-1);
    std::size_t Find(const TRegValues& values, std::string_view name) const;
    // Takes in values[position], whose name is not there yet.
    void Add(const TRegValues& values, std::size_t position);
    void Rebuild(const TRegValues& values);

private:
    void Place(const TRegValues& values, std::size_t position);
    std::vector<std::uint32_t> slots_;  // position + 1; 0 is a free slot
};

class TRegHive {
public:
    struct TKey {
        std::string path;
        TRegValues values;    // "" is the default value
        TRegNameIndex index;  // kept by the hive
    };

    bool HasKey(const std::string& path) const;
    const TRegValue* Find(const std::string& path, const std::string& name) const;
    // Creates the key and its missing parents.
    void CreateKey(const std::string& path);
    // Sets a value of an existing key; false when the key does not exist.
    bool Set(const std::string& path, const std::string& name, const TRegValue& value);
    void DeleteKey(const std::string& path);  // with its subkeys
    void DeleteValue(const std::string& path, const std::string& name);
    const std::vector<TKey>& Keys() const { return keys_; }

private:
    friend std::optional<TRegHive> ReadRegText(std::string_view, bool, std::string*);
    TKey* FindKey(const std::string& path);
    const TKey* FindKey(const std::string& path) const;
    void Reindex();

    std::vector<TKey> keys_;
    std::unordered_map<std::string, std::size_t> index_;  // lower-case path -> keys_ index
};

std::string RegRootName(TRegRoot root);
std::string RegFullPath(TRegRoot root, const std::string& key);
std::string AsciiLower(std::string s);

// The text format of registry exports: a "Windows Registry Editor Version 5.00"
// (or "REGEDIT4") header, [key] sections, "name"="text", "name"=dword:0000000a,
// hex:/hex(N): data. A file saved by the Windows registry editor (UTF-16LE with
// a byte-order mark) reads as well as a UTF-8 one. Nothing is returned, and
// the reason is given, when the text is not such a file.
std::optional<TRegHive> ParseRegFile(std::string_view bytes, std::string* error = nullptr);
// Reads what can be read of such a file: a value that cannot be parsed is
// left out, as is a section whose key name is malformed or beyond the
// registry's limits (255 characters a name, 512 levels). `damage` tells the
// first reason when anything was left out; the hive is empty, and `damage`
// set, when the text is no registry file at all. Time and memory grow
// linearly with the text's length.
TRegHive ReadRegFile(std::string_view bytes, std::string* damage);
// Writes the hive in the same format, as UTF-8 text. Text bytes that are not
// UTF-8 (file names are bytes) are written as they are and read back unchanged.
std::string SerializeRegFile(const TRegHive& hive);

// UTF-16LE conversion that keeps every byte: bytes that are not UTF-8 travel as
// lone surrogates U+DC80..U+DCFF and come back as the same bytes.
std::string Utf16LeToBytes(std::string_view utf16);
std::string BytesToUtf16Le(std::string_view bytes);
