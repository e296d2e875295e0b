#include "registry/RegHive.h"

#include <algorithm>
#include <cstdio>

// ---------------------------------------------------------------------------
// The hive model

std::string AsciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return s;
}

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::uint64_t NameHash(std::string_view name) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (const char c : name) {
        h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
    }
    return h ^ (h >> 29);
}

// Keys with fewer values are searched from end to end.
constexpr std::size_t kIndexedFrom = 16;

}  // namespace

std::size_t TRegNameIndex::Find(const TRegValues& values, std::string_view name) const {
    if (slots_.empty()) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (SameName(values[i].first, name)) {
                return i;
            }
        }
        return npos;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = NameHash(name) & mask; slots_[at] != 0; at = (at + 1) & mask) {
        const std::size_t position = slots_[at] - 1;
        if (SameName(values[position].first, name)) {
            return position;
        }
    }
    return npos;
}

void TRegNameIndex::Add(const TRegValues& values, std::size_t position) {
    if (slots_.empty() && values.size() < kIndexedFrom) {
        return;
    }
    // At most half full; growing places every value anew.
    if (slots_.empty() || (position + 1) * 2 > slots_.size()) {
        Rebuild(values);
        return;
    }
    Place(values, position);
}

void TRegNameIndex::Rebuild(const TRegValues& values) {
    slots_.clear();
    if (values.size() < kIndexedFrom) {
        return;
    }
    std::size_t size = 64;
    while (size < values.size() * 4) {
        size *= 2;
    }
    slots_.assign(size, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        Place(values, i);
    }
}

void TRegNameIndex::Place(const TRegValues& values, std::size_t position) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = NameHash(values[position].first) & mask;
    while (slots_[at] != 0) {
        at = (at + 1) & mask;
    }
    slots_[at] = static_cast<std::uint32_t>(position + 1);
}

std::string RegRootName(TRegRoot root) {
    return root == TRegRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string RegFullPath(TRegRoot root, const std::string& key) {
    std::string k = key;
    while (!k.empty() && k.back() == '\\') {
        k.pop_back();
    }
    return k.empty() ? RegRootName(root) : RegRootName(root) + "\\" + k;
}

bool TRegHive::HasKey(const std::string& path) const {
    return FindKey(path) != nullptr;
}

const TRegHive::TKey* TRegHive::FindKey(const std::string& path) const {
    const auto it = index_.find(AsciiLower(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

TRegHive::TKey* TRegHive::FindKey(const std::string& path) {
    const auto it = index_.find(AsciiLower(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const TRegValue* TRegHive::Find(const std::string& path, const std::string& name) const {
    const TKey* key = FindKey(path);
    if (!key) {
        return nullptr;
    }
    const std::size_t at = key->index.Find(key->values, name);
    return at == TRegNameIndex::npos ? nullptr : &key->values[at].second;
}

void TRegHive::CreateKey(const std::string& path) {
    // Parents first, so that a written file lists them before their children.
    std::size_t pos = 0;
    while (true) {
        pos = path.find('\\', pos);
        const std::string part = pos == std::string::npos ? path : path.substr(0, pos);
        if (!part.empty() && !FindKey(part)) {
            keys_.push_back(TKey{part, {}, {}});
            index_[AsciiLower(part)] = keys_.size() - 1;
        }
        if (pos == std::string::npos) {
            break;
        }
        ++pos;
    }
}

bool TRegHive::Set(const std::string& path, const std::string& name, const TRegValue& value) {
    TKey* key = FindKey(path);
    if (!key) {
        return false;
    }
    const std::size_t at = key->index.Find(key->values, name);
    if (at == TRegNameIndex::npos) {
        key->values.emplace_back(name, value);
        key->index.Add(key->values, key->values.size() - 1);
    } else {
        key->values[at].second = value;
    }
    return true;
}

void TRegHive::DeleteKey(const std::string& path) {
    const std::string lpath = AsciiLower(path);
    std::erase_if(keys_, [&](const TKey& k) {
        const std::string l = AsciiLower(k.path);
        return l == lpath || l.starts_with(lpath + "\\");
    });
    Reindex();
}

void TRegHive::DeleteValue(const std::string& path, const std::string& name) {
    TKey* key = FindKey(path);
    if (!key) {
        return;
    }
    const std::size_t at = key->index.Find(key->values, name);
    if (at != TRegNameIndex::npos) {
        key->values.erase(key->values.begin() + std::ptrdiff_t(at));
        key->index.Rebuild(key->values);
    }
}

void TRegHive::Reindex() {
    index_.clear();
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        index_[AsciiLower(keys_[i].path)] = i;
    }
}

// ---------------------------------------------------------------------------
// UTF-16 with byte preservation

namespace {

void AppendUtf16(std::string& out, char32_t unit) {
    out.push_back(char(unit & 0xFF));
    out.push_back(char((unit >> 8) & 0xFF));
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when the bytes
// there are not well-formed UTF-8.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t len = 0;
    char32_t min = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

}  // namespace

std::string BytesToUtf16Le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(bytes, i, cp);
        if (len == 0) {
            AppendUtf16(out, 0xDC00 + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUtf16(out, 0xD800 + (cp >> 10));
            AppendUtf16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            AppendUtf16(out, cp);
        }
        i += len;
    }
    return out;
}

std::string Utf16LeToBytes(std::string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    const std::size_t n = utf16.size() / 2;
    const auto unit = [&](std::size_t k) {
        return char32_t(static_cast<unsigned char>(utf16[2 * k]) |
                        (static_cast<unsigned char>(utf16[2 * k + 1]) << 8));
    };
    for (std::size_t k = 0; k < n; ++k) {
        const char32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && unit(k + 1) >= 0xDC00 &&
            unit(k + 1) <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(char(u - 0xDC00));  // a byte that was not UTF-8
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The .reg text format

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

// Reads a quoted string with \\ and \" escapes starting at s[i] == '"'; leaves
// i after the closing quote.
bool ReadQuoted(std::string_view s, std::size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') {
        return false;
    }
    ++i;
    out.clear();
    // Runs without escapes are taken whole.
    std::size_t run = i;
    while (i < s.size()) {
        const char c = s[i];
        if (c != '"' && c != '\\') {
            ++i;
            continue;
        }
        out.append(s.substr(run, i - run));
        ++i;
        if (c == '"') {
            return true;
        }
        if (i < s.size()) {
            out.push_back(s[i++]);
        }
        run = i;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    const auto skipSpace = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    };
    skipSpace();
    while (i < s.size()) {
        if (i + 1 >= s.size())
            return false;
        const int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(char(hi * 16 + lo));
        i += 2;
        skipSpace();
        if (i < s.size()) {
            if (s[i] != ',')
                return false;
            ++i;
            skipSpace();
        }
    }
    return true;
}

bool IsTextType(TRegType t) {
    return t == TRegType::Sz || t == TRegType::ExpandSz || t == TRegType::MultiSz;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

namespace {

// The registry's own limits: a key or value name of at most 255 characters,
// a tree at most 512 levels deep.
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxKeyDepth = 512;

// A hive as a file builds it. Keys form a tree, so that deleting a branch
// costs what the branch holds; every key and value is found through an index
// of lower-case names. All full key paths together may take no more than the
// text's own length and a little more: an export lists every key it holds, so
// only a file made to exhaust memory (deep keys without their parents) needs
// more.
class THiveBuilder {
public:
    explicit THiveBuilder(std::size_t textSize) : pathBudget_(textSize + (std::size_t{1} << 20)) {}

    // The key, created with its missing parents; npos when it would take
    // more than the budget.
    std::size_t Open(std::string_view path) {
        std::string lower = AsciiLower(std::string(path));
        if (const auto it = index_.find(lower); it != index_.end()) {
            return it->second;
        }
        // The deepest parent present, then the missing levels below it. The
        // search stops as soon as the budget runs out, which ends it for good.
        std::vector<std::size_t> cuts;
        std::size_t parent = npos;
        std::size_t needed = path.size();
        for (std::size_t cut = lower.rfind('\\');
             needed <= pathBudget_ && cut != std::string::npos && cut > 0;
             cut = lower.rfind('\\', cut - 1)) {
            if (const auto it = index_.find(lower.substr(0, cut)); it != index_.end()) {
                parent = it->second;
                break;
            }
            cuts.push_back(cut);
            needed += cut;
        }
        if (needed > pathBudget_) {
            pathBudget_ = 0;
            return npos;
        }
        pathBudget_ -= needed;
        for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
            parent = Add(std::string(path.substr(0, *it)), lower.substr(0, *it), parent);
        }
        return Add(std::string(path), std::move(lower), parent);
    }

    void Delete(std::string_view path) {
        const auto it = index_.find(AsciiLower(std::string(path)));
        if (it == index_.end()) {
            return;
        }
        std::vector<std::size_t> pending{it->second};
        while (!pending.empty()) {
            TNode& node = nodes_[pending.back()];
            pending.pop_back();
            if (!node.alive) {
                continue;
            }
            node.alive = false;
            index_.erase(AsciiLower(node.key.path));
            node.key = TRegHive::TKey{};
            pending.insert(pending.end(), node.children.begin(), node.children.end());
            node.children = {};
        }
    }

    void Set(std::size_t key, std::string name, TRegValue value) {
        TRegHive::TKey& k = nodes_[key].key;
        const std::size_t at = k.index.Find(k.values, name);
        if (at == TRegNameIndex::npos) {
            if (k.values.empty()) {
                k.values.reserve(8);  // most keys hold a few values
            }
            k.values.emplace_back(std::move(name), std::move(value));
            k.index.Add(k.values, k.values.size() - 1);
        } else {
            k.values[at].second = std::move(value);
        }
    }

    // Values are removed by renaming them to a name no line can hold; the
    // key is compacted once at the end.
    void Unset(std::size_t key, const std::string& name) {
        TRegHive::TKey& k = nodes_[key].key;
        if (const std::size_t at = k.index.Find(k.values, name); at != TRegNameIndex::npos) {
            k.values[at].first = kRemoved;
            nodes_[key].removed = true;
        }
    }

    std::vector<TRegHive::TKey> Finish() {
        std::vector<TRegHive::TKey> keys;
        for (TNode& node : nodes_) {
            if (!node.alive) {
                continue;
            }
            TRegHive::TKey& k = node.key;
            if (node.removed) {
                std::erase_if(k.values, [](const auto& nv) { return nv.first == kRemoved; });
                k.index.Rebuild(k.values);
            }
            keys.push_back(std::move(k));
        }
        return keys;
    }

    static constexpr std::size_t npos = std::size_t(-1);

private:
    // The name of a removed value: no name read from a line holds a line break.
    static constexpr std::string_view kRemoved = "\n";

    struct TNode {
        TRegHive::TKey key;
        bool alive = true;
        bool removed = false;  // some value was removed
        std::vector<std::size_t> children;
    };

    std::size_t Add(std::string path, std::string lower, std::size_t parent) {
        const std::size_t at = nodes_.size();
        nodes_.push_back(TNode{TRegHive::TKey{std::move(path), {}, {}}, true, false, {}});
        index_.emplace(std::move(lower), at);
        if (parent != npos) {
            nodes_[parent].children.push_back(at);
        }
        return at;
    }

    std::vector<TNode> nodes_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t pathBudget_;
};

// Why a key name cannot be a registry key, or empty when it can.
std::string KeyNameProblem(std::string_view path) {
    if (path.empty()) {
        return "empty key name";
    }
    std::size_t depth = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end == start) {
            return "empty part in a key name";
        }
        if (end - start > kMaxNameLength) {
            return "key name longer than 255 characters";
        }
        if (++depth > kMaxKeyDepth) {
            return "key more than 512 levels deep";
        }
        if (end == path.size()) {
            return {};
        }
        start = end + 1;
    }
}

// The lines of a text, ended by CR LF, LF or CR, read one at a time.
class TLineReader {
public:
    explicit TLineReader(std::string_view text) : text_(text) {}
    // The next line, trimmed; false at the end of the text.
    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        std::size_t end = pos_;
        while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') {
            ++end;
        }
        line = Trim(text_.substr(pos_, end - pos_));
        pos_ =
            end + (end + 1 < text_.size() && text_[end] == '\r' && text_[end + 1] == '\n' ? 2 : 1);
        ++number_;
        return true;
    }
    std::size_t Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// Reads one value's data; the problem, or empty when it reads.
std::string ReadValueData(std::string_view rest, TLineReader& lines, bool unicode,
                          TRegValue& value) {
    if (!rest.empty() && rest.front() == '"') {
        std::size_t j = 0;
        std::string s;
        if (!ReadQuoted(rest, j, s) || !Trim(rest.substr(j)).empty()) {
            return "bad string value";
        }
        value.type = TRegType::Sz;
        value.data = std::move(s);
        value.data.push_back('\0');
        return {};
    }
    if (rest.starts_with("dword:")) {
        const std::string_view digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8) {
            return "bad dword value";
        }
        std::uint32_t u = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                return "bad dword value";
            }
            u = u * 16 + std::uint32_t(d);
        }
        value = TRegValue::Dword(u);
        return {};
    }
    if (!rest.starts_with("hex")) {
        return "unknown value format";
    }
    // The registry editor wraps long data with a trailing backslash; the
    // continued lines belong to this value, readable or not.
    std::string continued;
    std::string_view data = rest;
    std::string_view part;
    while (!data.empty() && data.back() == '\\' && lines.Next(part)) {
        if (continued.empty()) {
            continued.assign(data.substr(0, data.size() - 1));
        } else {
            continued.pop_back();
        }
        continued.append(part);
        data = continued;
    }
    const std::size_t colon = data.find(':');
    if (colon == std::string::npos) {
        return "bad hex value";
    }
    const std::string_view kind = data.substr(3, colon - 3);
    std::uint32_t type = 3;
    if (!kind.empty()) {
        if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')') {
            return "bad hex type";
        }
        type = 0;
        for (const char c : kind.substr(1, kind.size() - 2)) {
            const int d = HexDigit(c);
            if (d < 0 || type > 0x0FFFFFFF) {
                return "bad hex type";
            }
            type = type * 16 + std::uint32_t(d);
        }
    }
    std::string raw;
    if (!ParseHexBytes(data.substr(colon + 1), raw)) {
        return "bad hex data";
    }
    value.type = static_cast<TRegType>(type);
    // Text data of a Unicode export is UTF-16LE.
    value.data = unicode && IsTextType(value.type) ? Utf16LeToBytes(raw) : std::move(raw);
    return {};
}

}  // namespace

// Reads the text; with `strict`, the first problem ends the reading with
// nothing, else the lines with problems are left out and the first problem
// is told.
std::optional<TRegHive> ReadRegText(std::string_view bytes, bool strict, std::string* error) {
    std::string firstProblem;
    std::size_t problemLine = 0;
    const auto note = [&](std::size_t line, const std::string& why) {
        if (firstProblem.empty()) {
            firstProblem = why;
            problemLine = line;
        }
    };
    const auto report = [&] {
        if (error) {
            *error = firstProblem.empty()
                         ? std::string()
                         : "line " + std::to_string(problemLine) + ": " + firstProblem;
        }
    };

    std::string converted;
    std::string_view text = bytes;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        converted = Utf16LeToBytes(bytes.substr(2));
        text = converted;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        text = bytes.substr(3);
    }

    TLineReader lines(text);
    std::string_view line;
    bool more = lines.Next(line);
    while (more && line.empty()) {
        more = lines.Next(line);
    }
    if (!more) {
        note(lines.Number(), "empty file, no header");
        report();
        return std::nullopt;
    }
    const bool unicode = line == kHeader5;
    if (!unicode && line != kHeader4) {
        note(lines.Number(), "not a registry file header");
        report();
        return std::nullopt;
    }

    THiveBuilder builder(bytes.size());
    std::size_t current = THiveBuilder::npos;  // the key the values belong to
    bool skipping = false;                     // values of a deleted or unreadable key are left out
    while (lines.Next(line)) {
        const std::size_t lineNo = lines.Number();
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            current = THiveBuilder::npos;
            skipping = true;
            if (line.back() != ']' || line.size() < 2) {
                note(lineNo, "unterminated key name");
            } else if (std::string_view path = line.substr(1, line.size() - 2);
                       !path.empty() && path.front() == '-') {
                if (const std::string why = KeyNameProblem(path.substr(1)); why.empty()) {
                    builder.Delete(path.substr(1));
                } else {
                    note(lineNo, why);
                }
            } else if (const std::string why = KeyNameProblem(path); !why.empty()) {
                note(lineNo, why);
            } else if ((current = builder.Open(path)) == THiveBuilder::npos) {
                note(lineNo, "key names too long for the file's size");
            } else {
                skipping = false;
            }
            if (strict && !firstProblem.empty())
                break;
            continue;
        }
        if (skipping)
            continue;
        std::string problem;
        std::string name;
        std::size_t i = 0;
        TRegValue value;
        bool remove = false;
        if (current == THiveBuilder::npos) {
            problem = "value outside of any key";
        } else if (line.front() == '@') {
            i = 1;
        } else if (!ReadQuoted(line, i, name)) {
            problem = "bad value name";
        } else if (name.size() > kMaxNameLength) {
            problem = "value name longer than 255 characters";
        }
        while (problem.empty() && i < line.size() && line[i] == ' ')
            ++i;
        if (problem.empty() && (i >= line.size() || line[i] != '=')) {
            problem = "missing '='";
        }
        if (problem.empty()) {
            const std::string_view rest = Trim(line.substr(i + 1));
            remove = rest == "-";
            if (!remove) {
                problem = ReadValueData(rest, lines, unicode, value);
            }
        } else {
            // A value wrapped over several lines is left out as a whole.
            for (std::string_view part = line; part.ends_with('\\') && lines.Next(part);) {
            }
        }
        if (!problem.empty()) {
            note(lineNo, problem);
            if (strict)
                break;
            continue;
        }
        if (remove) {
            builder.Unset(current, name);
        } else {
            builder.Set(current, std::move(name), std::move(value));
        }
    }
    report();
    if (strict && !firstProblem.empty()) {
        return std::nullopt;
    }
    TRegHive hive;
    hive.keys_ = builder.Finish();
    hive.Reindex();
    return hive;
}

std::optional<TRegHive> ParseRegFile(std::string_view bytes, std::string* error) {
    return ReadRegText(bytes, true, error);
}

TRegHive ReadRegFile(std::string_view bytes, std::string* damage) {
    std::optional<TRegHive> hive = ReadRegText(bytes, false, damage);
    return hive ? std::move(*hive) : TRegHive();
}

namespace {

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string HexList(std::string_view raw) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (i)
            out.push_back(',');
        const auto b = static_cast<unsigned char>(raw[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

}  // namespace

std::string SerializeRegFile(const TRegHive& hive) {
    std::string out(kHeader5);
    out += "\r\n\r\n";
    for (const auto& key : hive.Keys()) {
        out += "[" + key.path + "]\r\n";
        for (const auto& [name, v] : key.values) {
            out += name.empty() ? std::string("@") : Quote(name);
            out += '=';
            const std::string text = v.data.substr(0, v.data.find('\0'));
            const bool plainText = v.type == TRegType::Sz && v.data.size() == text.size() + 1 &&
                                   text.find_first_of("\r\n") == std::string::npos;
            if (plainText) {
                out += Quote(text);
            } else if (v.type == TRegType::Dword && v.data.size() == 4) {
                std::uint32_t u = 0;
                for (int i = 0; i < 4; ++i)
                    u |= std::uint32_t(static_cast<unsigned char>(v.data[i])) << (8 * i);
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", u);
                out += buf;
            } else {
                const auto type = static_cast<std::uint32_t>(v.type);
                if (type == 3) {
                    out += "hex:";
                } else {
                    char buf[24];
                    std::snprintf(buf, sizeof buf, "hex(%x):", type);
                    out += buf;
                }
                out += HexList(IsTextType(v.type) ? BytesToUtf16Le(v.data) : v.data);
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}
