#include "wallpaper/FileUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

bool FileExistsTest(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool MakePrivateFolder(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path folder(path);
    if (folder.has_parent_path()) {
        std::filesystem::create_directories(folder.parent_path(), ec);
    }
    ::mkdir(path.c_str(), 0700);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    if (st.st_uid == ::geteuid() && (st.st_mode & 077) != 0) {
        ::chmod(path.c_str(), st.st_mode & 0700);
    }
    return true;
}
