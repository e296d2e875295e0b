#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Playlist files (".vpl"): one path per line, bytes as they are. Lines end at
// CR, LF or CR LF; a last line without an ending counts; a NUL byte ends the
// text.

// Raised when a playlist file cannot be opened or read; the text is the one
// shown to the user: Cannot open file "<path>". <reason>
class EPlaylistFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The lines of a playlist text, verbatim (empty lines included).
std::vector<std::string> SplitPlaylistText(std::string_view text);

// Reads a playlist file whole; raises EPlaylistFileError when it cannot be
// opened or read (a folder, a device or a pipe is refused without waiting).
std::vector<std::string> ReadPlaylistFile(const std::string& path);
