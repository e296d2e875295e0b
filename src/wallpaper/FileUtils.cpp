#include "wallpaper/FileUtils.h"

#include <sys/stat.h>

bool FileExistsTest(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}
