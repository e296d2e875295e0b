#include "wallpaper/FolderUtils.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "registry/JclRegistry.h"

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool GlobMatch(std::string_view name, std::string_view mask) {
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() &&
                   (mask[m] == '?' || FoldAscii(mask[m]) == FoldAscii(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

bool IsDirectoryEntry(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    // A link is a directory when it leads to one; a dangling link is an entry
    // like a file.
    struct stat st {};
    return ::stat((folder + entry.d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string AddBackslash(const std::string& Folder) {
    if (Folder.empty() || Folder.back() == kPathDelim) {
        return Folder;
    }
    return Folder + kPathDelim;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (!mask.empty() && mask.back() == '.' && name.find('.') == std::string_view::npos) {
        return GlobMatch(name, mask.substr(0, mask.size() - 1));
    }
    return GlobMatch(name, mask);
}

int ReadFolder(const std::string& Folder, std::vector<TFolderEntry>& entries) {
    if (Folder.find('\0') != std::string::npos) {
        return ENOENT;
    }
    const std::string prefix = AddBackslash(Folder);
    DIR* dir = ::opendir(Folder.empty() ? "." : Folder.c_str());
    if (!dir) {
        return errno ? errno : ENOENT;
    }
    // A folder that goes away while it is read simply ends the list.
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        const bool directory = name == "." || name == ".." || IsDirectoryEntry(prefix, *entry);
        entries.push_back({std::string(name), directory});
    }
    ::closedir(dir);
    return 0;
}

int FindFiles(const std::string& Folder, const std::vector<TFolderEntry>& entries,
              const std::string& Mask, std::vector<std::string>& List) {
    const std::string prefix = AddBackslash(Folder);
    int result = ENOENT;
    for (const auto& e : entries) {
        if (!MatchesMask(e.name, Mask)) {
            continue;
        }
        result = 0;
        if (!e.directory) {
            List.push_back(prefix + e.name);
        }
    }
    return result;
}

int FindFiles(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List) {
    std::vector<TFolderEntry> entries;
    if (const int err = ReadFolder(Folder, entries)) {
        return err;
    }
    return FindFiles(Folder, entries, Mask, List);
}

std::string FoldPathCase(const std::string& path) {
    std::string out = path;
    bool ascii = true;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
        }
    }
    if (ascii) {
        return out;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(path.data(), qsizetype(path.size())));
    if (utf8.hasError()) {
        return out;
    }
    const QByteArray folded = text.toCaseFolded().toUtf8();
    return std::string(folded.constData(), std::size_t(folded.size()));
}

std::string EntryFileName(const std::string& path) {
    const auto slash = path.rfind(kPathDelim);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// A name's place in name order, folded once.
struct TNameKey {
    std::string fold;
    std::string path;
};

bool KeyBefore(const TNameKey& a, const TNameKey& b) {
    return a.fold != b.fold ? a.fold < b.fold : a.path < b.path;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = FoldAscii(c);
    }
    return out;
}

}  // namespace

bool NameBefore(const std::string& a, const std::string& b) {
    return KeyBefore({FoldPathCase(EntryFileName(a)), a}, {FoldPathCase(EntryFileName(b)), b});
}

void SortByName(std::vector<std::string>& paths) {
    std::vector<TNameKey> keyed;
    keyed.reserve(paths.size());
    for (std::string& path : paths) {
        keyed.push_back({FoldPathCase(EntryFileName(path)), std::move(path)});
    }
    std::sort(keyed.begin(), keyed.end(), KeyBefore);
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        paths[i] = std::move(keyed[i].path);
    }
}

std::vector<std::string> BuildMasks(const std::string& joinedMasks) {
    std::vector<std::string> masks;
    std::size_t start = 0;
    while (true) {
        const auto sep = joinedMasks.find_first_of(";,", start);
        masks.push_back(joinedMasks.substr(start, sep - start));
        if (sep == std::string::npos) {
            break;
        }
        start = sep + 1;
    }
    return masks;
}

TPictureNames::TPictureNames(const std::vector<std::string>& masks) {
    for (const std::string& mask : masks) {
        const std::string_view ext =
            std::string_view(mask).substr(std::min<std::size_t>(2, mask.size()));
        if (mask.size() > 2 && mask.compare(0, 2, "*.") == 0 &&
            ext.find_first_of("*?.") == std::string_view::npos) {
            extensions_.insert(LowerAscii(ext));
        } else if (!mask.empty()) {
            others_.push_back(mask);
        }
    }
}

bool TPictureNames::Matches(std::string_view name) const {
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && extensions_.count(LowerAscii(name.substr(dot + 1))) != 0) {
        return true;
    }
    return std::any_of(others_.begin(), others_.end(),
                       [name](const std::string& mask) { return MatchesMask(name, mask); });
}

bool HasPictureExtension(const std::string& path, const std::vector<std::string>& masks) {
    const std::string name = EntryFileName(path);
    // A name that is nothing but the extension is no picture's name.
    return name.rfind('.') != 0 && TPictureNames(masks).Matches(name);
}

std::string ExpandEnvironmentStrings(const std::string& text) {
    return ExpandEnvironmentStrings(text,
                                    [](const std::string& name) -> std::optional<std::string> {
                                        if (const char* value = std::getenv(name.c_str())) {
                                            return std::string(value);
                                        }
                                        return std::nullopt;
                                    });
}

std::string ExpandEnvironmentStrings(const std::string& text, const TEnvironmentLookup& lookup) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        if (open == std::string::npos) {
            break;
        }
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        out.append(text, i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        std::optional<std::string> value;
        if (!name.empty() && name.find('=') == std::string::npos) {
            value = lookup(name);
        }
        if (value) {
            out += *value;
            i = close + 1;
        } else {
            // Not a reference: keep the first "%" and look again from the second.
            out += '%';
            out += name;
            i = close;
        }
    }
    out.append(text, i, std::string::npos);
    return out;
}

std::string GetWallpaperDir() {
    try {
        return ExpandEnvironmentStrings(RegReadTextStrict(
            HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "WallPaperDir"));
    } catch (...) {
        return {};
    }
}
