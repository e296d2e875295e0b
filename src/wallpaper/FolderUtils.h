#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Folder and directory-search utilities of folder import. Paths are bytes,
// used as they are; nothing here goes through a shell.

// The delimiter between a folder and a name in the paths this system builds:
// "/" here (a Windows build joins with "\").
inline constexpr char kPathDelim = '/';

// Folder with the path delimiter appended when it is non-empty and does not
// already end with one; an empty string stays empty. (The name is the one the
// Windows build uses, where the delimiter is a backslash.)
std::string AddBackslash(const std::string& Folder);

// True when path exists and is a directory (a link to a directory counts).
bool DirectoryExists(const std::string& path);

// Wildcard match of one entry name against a mask as the Windows directory
// search does it: "*" any run of characters, "?" one character, letters
// compared without regard to ASCII case, and a mask ending in "." (such as
// "*.") matching names without any extension.
bool MatchesMask(std::string_view name, std::string_view mask);

// Appends AddBackslash(Folder) + name for every entry of Folder that matches
// Mask and is not a directory; hidden files are found like any other, and
// subfolders are never entered. Returns 0 when at least one entry (of any
// kind) matched, ENOENT when none did, or the error that stopped the folder
// from being read. Never raises for a folder that vanished or is unreadable.
int FindFiles(const std::string& Folder, const std::string& Mask, std::vector<std::string>& List);

// One folder's entries as one directory search sees them.
struct TFolderEntry {
    std::string name;
    bool directory = false;
};
// Reads the entries of Folder ("." and ".." included, as directories);
// returns 0, or the error that kept the folder from being read.
int ReadFolder(const std::string& Folder, std::vector<TFolderEntry>& entries);
// FindFiles over entries read before, so that several masks cost one read.
int FindFiles(const std::string& Folder, const std::vector<TFolderEntry>& entries,
              const std::string& Mask, std::vector<std::string>& List);

// The key under which paths that differ only in letter case meet: ASCII
// letters folded, and other letters too where the path is valid UTF-8.
std::string FoldPathCase(const std::string& path);

// The part of an entry after its last path delimiter; the whole entry when it
// has none.
std::string EntryFileName(const std::string& path);

// Name order, as a file manager lists a folder: by file name without regard
// to case; names equal but for case in byte order, so that the order does
// not depend on the file system. NameBefore is the order of one pair;
// SortByName sorts paths by their file-name parts, folding each name once.
bool NameBefore(const std::string& a, const std::string& b);
void SortByName(std::vector<std::string>& paths);

// The image file masks of folder import, in the order of the joined mask
// list ("*.bmp;*.ico;..."): every ";" counts as a separator.
std::vector<std::string> BuildMasks(const std::string& joinedMasks);

// The names that count as pictures: those that match one of the masks as the
// directory search matches them. "*.ext" masks are looked up by the name's
// extension, so a test costs the same for forty masks as for one.
class TPictureNames {
public:
    explicit TPictureNames(const std::vector<std::string>& masks);
    bool Matches(std::string_view name) const;

private:
    std::unordered_set<std::string> extensions_;  // lower case, without the dot
    std::vector<std::string> others_;
};

// Whether the name of `path` ends in the extension of one of the "*.ext"
// masks, without regard to case.
bool HasPictureExtension(const std::string& path, const std::vector<std::string>& masks);

// Replaces every %NAME% reference by the value of the environment variable
// NAME; references to unset variables, a lone "%" and "%%" stay as written.
using TEnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;
std::string ExpandEnvironmentStrings(const std::string& text);
std::string ExpandEnvironmentStrings(const std::string& text, const TEnvironmentLookup& lookup);

// The system's wallpaper folder: the machine-wide "WallPaperDir" value of
// Software\Microsoft\Windows\CurrentVersion, environment-expanded. Empty when
// it cannot be read; never raises.
std::string GetWallpaperDir();
