// libFuzzer target over the playlist reader and writer.
//
// The file reader gives what the text reader gives; entries that can be
// stored come back from a saved file exactly; entries that cannot are refused.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "playlist/PlaylistFile.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const std::string& WorkFolder() {
    static const std::string folder = [] {
        // Memory-backed when possible: the writers flush every file.
        char pattern[] = "/dev/shm/vantoria-fuzz-XXXXXX";
        if (::access("/dev/shm", W_OK) != 0) {
            std::snprintf(pattern, sizeof pattern, "/tmp/vantoria-fuzz-XXXXXX");
        }
        const char* made = ::mkdtemp(pattern);
        Require(made != nullptr);
        return std::string(made);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitPlaylistText(text);
    for (const std::string& line : lines) {
        Require(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    }
    Require(SplitPlaylistText(JoinPlaylistText(lines)) == lines);

    const std::string file = WorkFolder() + "/list.vpl";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    Require(out != nullptr);
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    Require(ReadPlaylistFile(file) == lines);

    // The raw input as one entry: stored when it holds no line break or NUL.
    const std::vector<std::string> entries{std::string(text), "/last.jpg"};
    const bool storable = text.find_first_of(std::string("\r\n\0", 3)) == std::string_view::npos;
    try {
        WritePlaylistFile(file, entries);
        Require(storable);
        Require(ReadPlaylistFile(file) == entries);
    } catch (const EPlaylistFileError&) {
        Require(!storable);
    }
    return 0;
}
