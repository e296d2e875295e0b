#pragma once

#include <string>
#include <string_view>

// Replaces the file at `path` with `bytes` so that a reader, a crash or a
// full disk finds either the old file whole or the new one whole: the bytes
// go to a new file beside it (an unnamed one, or one of an unpredictable
// name created exclusively, so nothing planted there is followed or
// overwritten), are flushed to the disk and then renamed over the old.
// A link at `path` is written through (a settings file kept with the user's
// dotfiles stays a link). A new file is readable by the user alone; an
// existing one keeps its mode. Empty on success, else why not; on failure
// the old file is as it was.
std::string WriteFileAtomically(const std::string& path, std::string_view bytes);
