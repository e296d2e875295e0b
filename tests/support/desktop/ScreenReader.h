#pragma once

// Reads the X screen's pixels through Xlib, kept in its own source file: Xlib's
// macros break the headers of Qt and the test framework.

#include <cstdint>
#include <string>
#include <vector>

// A connection to `display`; null when it cannot be opened.
void* OpenScreen(const std::string& display);
void CloseScreen(void* screen);
// The root window's pixels (as composed on screen), row by row as 0xRRGGBB;
// empty when the region cannot be read.
std::vector<std::uint32_t> ReadScreen(void* screen, int x, int y, int width, int height);
