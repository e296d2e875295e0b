#pragma once

#include <cstdint>
#include <optional>
#include <string>

// sway's IPC (the i3 protocol) over its socket ($SWAYSOCK).

// Message types.
inline constexpr std::uint32_t kSwayRunCommand = 0;
inline constexpr std::uint32_t kSwayGetOutputs = 3;
inline constexpr std::uint32_t kSwayGetTree = 4;
inline constexpr std::uint32_t kSwayGetConfig = 9;

// One exchange, every wait bounded; nothing, with the reason in `error`,
// when sway cannot be reached or answers badly.
std::optional<std::string> SwayIpcRequest(const std::string& socketPath, std::uint32_t type,
                                          const std::string& payload, std::string& error);

// Runs sway commands (";" or "," separated); true when every one succeeded,
// otherwise sway's first complaint in `error`.
bool SwayIpcCommand(const std::string& socketPath, const std::string& command, std::string& error);

// `text` as a sway criterion's regular expression matching exactly it, in
// double quotes.
std::string SwayExactPattern(const std::string& text);
