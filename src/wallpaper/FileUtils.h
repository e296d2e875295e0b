#pragma once

#include <string>

// True when a directory entry of any kind is found at path: a file, a
// folder, a device or a symbolic link, dangling or not. Never follows links,
// never prompts, never reads the file.
bool FileExistsTest(const std::string& path);

// Makes `path` a folder for the user alone (0700), creating it and any
// missing parents (those with the usual rights); a folder of the user's
// already there loses the rights of others. False when there is no folder.
bool MakePrivateFolder(const std::string& path);
