#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The store behind the registry access layer. On Windows it is the registry
// itself; elsewhere a hive kept in a file. Key paths and value names are
// compared without regard to ASCII letter case, as the registry does.

enum class TRegRoot : std::uint8_t { CurrentUser, LocalMachine };

inline constexpr TRegRoot HKEY_CURRENT_USER = TRegRoot::CurrentUser;
inline constexpr TRegRoot HKEY_LOCAL_MACHINE = TRegRoot::LocalMachine;

enum class TRegType : std::uint32_t {
    None = 0,
    Sz = 1,        // REG_SZ
    ExpandSz = 2,  // REG_EXPAND_SZ
    Binary = 3,    // REG_BINARY
    Dword = 4,     // REG_DWORD
    MultiSz = 7,   // REG_MULTI_SZ
    Qword = 11,    // REG_QWORD
};

// A value as the registry holds it: its type and its data bytes. Texts are
// kept as 8-bit bytes followed by their terminating zero; a DWORD is four
// little-endian bytes.
struct TRegValue {
    TRegType type = TRegType::None;
    std::string data;

    static TRegValue Dword(std::uint32_t v);
    static TRegValue Text(const std::string& text, TRegType type = TRegType::Sz);
    bool operator==(const TRegValue&) const = default;
};

class TRegistryStore {
public:
    virtual ~TRegistryStore() = default;

    // True when the key exists and may be read.
    virtual bool KeyReadable(TRegRoot root, const std::string& key) = 0;
    // The value, or nothing when the key or the value is absent or unreadable.
    virtual std::optional<TRegValue> QueryValue(TRegRoot root, const std::string& key,
                                                const std::string& name) = 0;
    // Sets a value of an existing key; false when the key is absent or may not be written.
    virtual bool SetValue(TRegRoot root, const std::string& key, const std::string& name,
                          const TRegValue& value) = 0;
    // Creates the key with any missing parents; false when that is not allowed.
    virtual bool CreateKey(TRegRoot root, const std::string& key) = 0;

    // Between these two, writes that succeed are kept in memory and stored
    // together at the end, in one write that holds all of them or none;
    // nested pairs store at the outermost end. EndBatch is false when that
    // store failed (the values written in the batch are then lost).
    virtual void BeginBatch() {}
    virtual bool EndBatch() { return true; }
};

// The store every registry function of this process goes through. Until one
// is installed an empty in-memory store answers.
TRegistryStore& RegStore();
void RegSetStore(std::shared_ptr<TRegistryStore> store);
std::shared_ptr<TRegistryStore> RegCurrentStore();

// Stores every registry write made during its life at once, when it ends.
class TRegWriteBatch {
public:
    TRegWriteBatch() : store_(RegCurrentStore()) { store_->BeginBatch(); }
    ~TRegWriteBatch() {
        if (!ended_) {
            store_->EndBatch();
        }
    }
    // Stores now; false when that failed.
    bool End() {
        ended_ = true;
        return store_->EndBatch();
    }
    TRegWriteBatch(const TRegWriteBatch&) = delete;
    TRegWriteBatch& operator=(const TRegWriteBatch&) = delete;

private:
    std::shared_ptr<TRegistryStore> store_;
    bool ended_ = false;
};
