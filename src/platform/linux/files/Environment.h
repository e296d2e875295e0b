#pragma once

#include <map>
#include <string>

// A copy of an environment: the process's own, or one a test makes up.
// Platform code reads variables through it, so that every look-up can be
// tested with a table of environments.
using TEnvironment = std::map<std::string, std::string>;

// The environment of this process.
TEnvironment ProcessEnvironment();

// The value of `name`, empty when it is not set.
std::string EnvValue(const TEnvironment& env, const char* name);
