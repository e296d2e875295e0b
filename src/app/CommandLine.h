#pragma once

#include <optional>
#include <string>
#include <vector>

// The names of the instance's lock files and sockets for the keys of this
// log-on session (SessionKeys in RuntimeDir.h): `prefix` + "-" + key.
std::vector<std::string> InstanceFileNames(const std::string& prefix,
                                           const std::vector<std::string>& keys);

// The command line. Without arguments the program starts (nullopt). Otherwise
// it is handled here and its exit status returned: --help and --version print
// to stdout; a command option (--next, --status, ...) is sent to the running
// instance of this session and waited for: 0 done, 1 no instance runs (none is
// started) or it did not answer, 3 the instance refused (the reason on
// stderr); anything else prints the usage on stderr, status 2.
std::optional<int> HandleCommandLine(int argc, char** argv, const char* closeRequestName);

// A plain second start in a session where Vantoria runs: the running
// instance brings its main window to the front (with the launcher's
// activation token, where one came) and this start ends; status 0.
int BringRunningInstanceForward(const char* closeRequestName);
