#pragma once

#include <string>

// True when a directory entry of any kind is found at path: a file, a
// folder, a device or a symbolic link, dangling or not. Never follows links,
// never prompts, never reads the file.
bool FileExistsTest(const std::string& path);
