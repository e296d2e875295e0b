#pragma once

#include <string>

// True when a directory entry of any kind is found at path: a file, a
// folder, a device or a symbolic link, dangling or not. Never follows links,
// never prompts, never reads the file.
bool FileExistsTest(const std::string& path);

// Makes `path` a folder for the user alone (0700), creating it and any
// missing parents (those with the usual rights); a folder of the user's
// already there loses the rights of others. Empty on success, else why the
// folder cannot be used: there is none, or it belongs to another user or is
// reached through a symbolic link (whoever made it could read what is kept
// there, or have it written over a file of the user's).
std::string MakePrivateFolder(const std::string& path);
