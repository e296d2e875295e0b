#include "registry/RegistryStore.h"

#include "registry/MemoryRegistryStore.h"

TRegValue TRegValue::Dword(std::uint32_t v) {
    TRegValue r;
    r.type = TRegType::Dword;
    for (int i = 0; i < 4; ++i) {
        r.data.push_back(char((v >> (8 * i)) & 0xFF));
    }
    return r;
}

TRegValue TRegValue::Text(const std::string& text, TRegType type) {
    TRegValue r;
    r.type = type;
    r.data = text;
    r.data.push_back('\0');
    return r;
}

namespace {
std::shared_ptr<TRegistryStore>& Current() {
    static std::shared_ptr<TRegistryStore> store = std::make_shared<TMemoryRegistryStore>();
    return store;
}
}  // namespace

TRegistryStore& RegStore() { return *Current(); }

std::shared_ptr<TRegistryStore> RegCurrentStore() { return Current(); }

void RegSetStore(std::shared_ptr<TRegistryStore> store) {
    Current() = store ? std::move(store) : std::make_shared<TMemoryRegistryStore>();
}

bool TMemoryRegistryStore::KeyReadable(TRegRoot root, const std::string& key) {
    return hive_.HasKey(RegFullPath(root, key));
}

std::optional<TRegValue> TMemoryRegistryStore::QueryValue(TRegRoot root, const std::string& key,
                                                          const std::string& name) {
    const TRegValue* v = hive_.Find(RegFullPath(root, key), name);
    return v ? std::optional<TRegValue>(*v) : std::nullopt;
}

bool TMemoryRegistryStore::SetValue(TRegRoot root, const std::string& key, const std::string& name,
                                    const TRegValue& value) {
    return writable_[Index(root)] && hive_.Set(RegFullPath(root, key), name, value);
}

bool TMemoryRegistryStore::CreateKey(TRegRoot root, const std::string& key) {
    if (!writable_[Index(root)]) {
        return false;
    }
    hive_.CreateKey(RegFullPath(root, key));
    return true;
}
