#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Playlist files (".vpl"): one path per line, bytes as they are. Lines end at
// CR, LF or CR LF; a last line without an ending counts; a NUL byte ends the
// text.

// Raised when a playlist file cannot be opened, read or written; the text is
// the one shown to the user: Cannot open file "<path>". <reason>, or
// Cannot create file "<path>". <reason>
class EPlaylistFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The lines of a playlist text, verbatim (empty lines included).
std::vector<std::string> SplitPlaylistText(std::string_view text);

// Reads a playlist file whole; raises EPlaylistFileError when it cannot be
// opened or read (a folder, a device or a pipe is refused without waiting).
std::vector<std::string> ReadPlaylistFile(const std::string& path);

// The text of a playlist file: every entry followed by CR LF, the last one
// included; an empty list gives an empty text.
std::string JoinPlaylistText(const std::vector<std::string>& entries);

// Writes entries to path by the rule above, replacing the file without a
// question. The new text goes to a temporary file beside the target and is
// renamed over it once it is complete and flushed, so a failed save (a full
// disk, a crash, a folder that may not be written) leaves the old file as it
// was. An existing file keeps its permissions; a symbolic link keeps pointing
// at its target, which receives the text. An entry holding a line break or a
// NUL cannot be stored and is refused before anything is written. Raises
// EPlaylistFileError with "Cannot create file ..." on any failure.
void WritePlaylistFile(const std::string& path, const std::vector<std::string>& entries);

// Whether a playlist file can hold entry: not when it holds a line break (CR
// or LF) or a NUL, which would split or end its line.
bool PlaylistCanStore(std::string_view entry);
