#pragma once

#include <string>

#include "platform/linux/files/Environment.h"

// The user's base folders, as the XDG base directory rules name them.
enum class TUserFolder {
    Config,   // $XDG_CONFIG_HOME, else ~/.config
    Data,     // $XDG_DATA_HOME, else ~/.local/share
    Cache,    // $XDG_CACHE_HOME, else ~/.cache
    Runtime,  // $XDG_RUNTIME_DIR; no fall-back (empty when unset)
};

// The base folder `which` from `env`. Only an absolute path counts, as the
// rules say; the home folder is $HOME, else the user's entry in the password
// database, else /tmp. (QStandardPaths reads the process's environment only,
// so it cannot answer for the environments tests make up.)
std::string UserFolder(const TEnvironment& env, TUserFolder which);

// The folder "vantoria" in the base folder `which`.
std::string VantoriaFolder(const TEnvironment& env, TUserFolder which);

// Why `path` is no folder of this user's own, or empty when it is one:
// opened without following a link, it must be a folder this user owns.
// `othersMayEnter` false also refuses a folder others may enter, which
// `repair` first tries to close to them when it is ours.
std::string PrivateFolderProblem(const std::string& path, bool othersMayEnter, bool repair);

// Creates `path` (0700) and its missing parents, and checks it as
// PrivateFolderProblem does, repairing the mode of a folder of our own: a
// folder another user made, or one reached through a link, is refused,
// whoever can write to the folders above it. Empty on success, else why not.
std::string MakeUserFolder(const std::string& path);
