// libFuzzer target over the settings file reader.
//
// Whatever the input, reading ends, and what was read survives a save and a
// reload unchanged: the same keys in the same order with the same values.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "registry/RegHive.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string damage;
    const TRegHive read = ReadRegFile(text, &damage);
    // A file that reads without damage reads the same strictly.
    const auto strict = ParseRegFile(text);
    Require(strict.has_value() == damage.empty());

    const std::string saved = SerializeRegFile(read);
    std::string why;
    const auto reloaded = ParseRegFile(saved, &why);
    Require(reloaded.has_value());
    Require(reloaded->Keys().size() == read.Keys().size());
    for (std::size_t k = 0; k < read.Keys().size(); ++k) {
        const TRegHive::TKey& before = read.Keys()[k];
        const TRegHive::TKey& after = reloaded->Keys()[k];
        Require(before.path == after.path);
        Require(before.values.size() == after.values.size());
        for (std::size_t v = 0; v < before.values.size(); ++v) {
            Require(before.values[v].first == after.values[v].first);
            Require(before.values[v].second == after.values[v].second);
            Require(read.Find(before.path, before.values[v].first) != nullptr);
        }
    }
    Require(SerializeRegFile(*reloaded) == saved);
    return 0;
}
