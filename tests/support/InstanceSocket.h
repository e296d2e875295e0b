#pragma once

#include <string>

// The socket of the program running in this test's session: the runtime
// folder's "vantoriamsg-" followed by the session's first name (its login
// session, else its display), as the program listens there.
std::string InstanceSocketPath();
// A connection to `path` (default: the program's socket), or -1.
int ConnectInstance(const std::string& path = InstanceSocketPath());
