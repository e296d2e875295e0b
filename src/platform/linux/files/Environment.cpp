#include "platform/linux/files/Environment.h"

#include <cstring>

extern char** environ;

TEnvironment ProcessEnvironment() {
    TEnvironment env;
    for (char** e = environ; e && *e; ++e) {
        if (const char* eq = std::strchr(*e, '=')) {
            env.emplace(std::string(*e, std::size_t(eq - *e)), std::string(eq + 1));
        }
    }
    return env;
}

std::string EnvValue(const TEnvironment& env, const char* name) {
    const auto it = env.find(name);
    return it == env.end() ? std::string() : it->second;
}
