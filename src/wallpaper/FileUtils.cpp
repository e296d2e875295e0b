#include "wallpaper/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

bool FileExistsTest(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string MakePrivateFolder(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path folder(path);
    if (folder.has_parent_path()) {
        std::filesystem::create_directories(folder.parent_path(), ec);
    }
    ::mkdir(path.c_str(), 0700);
    // Opened without following a link, so that what is checked is what is used.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return path + (err == ELOOP || err == ENOTDIR ? " is a symbolic link or no folder"
                                                      : ": " + std::string(std::strerror(err)));
    }
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        problem = path + " belongs to another user";
    } else if ((st.st_mode & 077) != 0) {
        ::fchmod(fd, st.st_mode & 0700);
    }
    ::close(fd);
    return problem;
}
