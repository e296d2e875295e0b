#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "registry/RegistryStore.h"

// The registry access layer: every registry access of the program goes
// through these nine functions. A key path that begins with a backslash is
// used without it.

class EJclRegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool RegKeyPresent(TRegRoot root, const std::string& key);
void RegEnsureKey(TRegRoot root, const std::string& key);
std::int32_t RegReadInt(TRegRoot root, const std::string& key, const std::string& name,
                        std::int32_t def);
bool RegReadFlag(TRegRoot root, const std::string& key, const std::string& name, bool def);
std::string RegReadText(TRegRoot root, const std::string& key, const std::string& name,
                        const std::string& def);
std::string RegReadTextStrict(TRegRoot root, const std::string& key, const std::string& name);
void RegWriteInt(TRegRoot root, const std::string& key, const std::string& name,
                 std::int32_t value);
void RegWriteFlag(TRegRoot root, const std::string& key, const std::string& name, bool value);
void RegWriteText(TRegRoot root, const std::string& key, const std::string& name,
                  const std::string& text);
