#pragma once

#include <array>

#include "registry/RegHive.h"
#include "registry/RegistryStore.h"

// A registry held in memory: the store the process starts with, and a
// convenient one for tests. Each root can be made read-only.
class TMemoryRegistryStore : public TRegistryStore {
public:
    bool KeyReadable(TRegRoot root, const std::string& key) override;
    std::optional<TRegValue> QueryValue(TRegRoot root, const std::string& key,
                                        const std::string& name) override;
    bool SetValue(TRegRoot root, const std::string& key, const std::string& name,
                  const TRegValue& value) override;
    bool CreateKey(TRegRoot root, const std::string& key) override;

    void SetWritable(TRegRoot root, bool writable) { writable_[Index(root)] = writable; }
    TRegHive& Hive() { return hive_; }

private:
    static std::size_t Index(TRegRoot root) { return root == TRegRoot::CurrentUser ? 0 : 1; }
    TRegHive hive_;
    std::array<bool, 2> writable_{true, true};
};
