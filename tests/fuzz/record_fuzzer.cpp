// libFuzzer target over the record of the original wallpaper.
//
// Whatever the file holds, reading ends; a record that reads is written and
// read back the same.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "wallpaper/OriginalRecord.h"

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
    const std::string file = WorkFolder() + "/original-wallpaper";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    Require(out != nullptr);
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    const std::optional<TOriginalRecord> record = ReadOriginalRecord(file);
    if (record) {
        const std::string again = WorkFolder() + "/again";
        Require(WriteOriginalRecord(again, *record));
        Require(ReadOriginalRecord(again) == record);
    }
    return 0;
}
