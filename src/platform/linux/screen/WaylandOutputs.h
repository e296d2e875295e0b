#pragma once

#include <optional>
#include <string>
#include <vector>

// The outputs of the Wayland session as the compositor drives them: each
// one's current mode in device pixels (turned as the output is turned). A
// compositor that lays its outputs out in device pixels (GNOME's default)
// reports them to Qt at that size while Qt still multiplies by the scale;
// the mode is the size a picture for the output must have.
struct TWaylandOutput {
    std::string name;  // "Meta-0", "DP-1"; empty before wl_output version 4
    int width = 0;
    int height = 0;
};

// Asked anew at every call over a connection of its own; empty when there is
// no Wayland session or it cannot be reached.
std::vector<TWaylandOutput> ReadWaylandOutputs();

// The device size of the output named `name`, or of the only output when
// there is just one; nothing when no output matches.
std::optional<TWaylandOutput> FindWaylandOutput(const std::vector<TWaylandOutput>& outputs,
                                                const std::string& name);
