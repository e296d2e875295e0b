#pragma once

#include <string>

// Starting with the user's log-in: on Linux the XDG autostart entry, on
// Windows it would be the Run key.
class TAutostart {
public:
    virtual ~TAutostart() = default;
    // Whether the program starts at log-in now.
    virtual bool Enabled() const = 0;
    // Makes it start at log-in, or no longer; empty on success, else why not
    // (nothing changed then).
    virtual std::string SetEnabled(bool on) = 0;
};
