#pragma once

#include <string>

// The per-user folder for the instance lock and the close-request socket:
// $XDG_RUNTIME_DIR, or a private folder /tmp/vantoria-<uid> that is created
// with mode 0700 and refused when another user owns it or it is a link.
// Empty when no safe folder can be had.
std::string VantoriaRuntimeDir();
