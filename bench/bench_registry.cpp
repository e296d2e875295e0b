// Reading settings files as big as whole-branch registry exports: a 50 MB
// export (keys of a few values, and keys of 40,000 values each) is read from
// text; prints the milliseconds of processor time (the machine may be busy)
// and of the clock, and megabytes per second of processor time.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "registry/RegHive.h"

namespace {

// About `bytes` of export: ordinary keys of ten values, and every tenth
// megabyte one key of 40,000 values, as an export of a whole branch holds.
std::string Export(std::size_t bytes) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int key = 0; text.size() < bytes; ++key) {
        const std::string path =
            "HKEY_CURRENT_USER\\Software\\Vendor\\Product\\Key" + std::to_string(key);
        text += "[" + path + "]\r\n";
        const int values = key % 2000 == 0 ? 40000 : 10;
        for (int v = 0; v < values; ++v) {
            text += "\"Value" + std::to_string(v) + "\"=" +
                    (v % 3 == 0 ? "dword:0000002a"
                     : v % 3 == 1
                         ? "\"C:\\\\Program Files\\\\Product\\\\file" + std::to_string(v) + ".dat\""
                         : "hex:01,02,03,04,05,06,07,08") +
                    "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace

int main() {
    for (const std::size_t megabytes : {1, 13, 50}) {
        const std::string text = Export(megabytes << 20);
        const std::clock_t cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        std::string damage;
        const TRegHive hive = ReadRegFile(text, &damage);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        std::printf("read %5.1f MB export, %zu keys: %7.1f ms CPU, %7.1f ms wall (%.0f MB/s)%s\n",
                    double(text.size()) / (1 << 20), hive.Keys().size(), cpuMs, ms,
                    double(text.size()) / (1 << 20) / (cpuMs / 1000),
                    damage.empty() ? "" : " DAMAGED");
    }
    return 0;
}
