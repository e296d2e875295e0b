#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TTempDir::TTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vantoria-test-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = tmpl;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    // Make read-only folders made by a test removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

TSmallDisk::TSmallDisk(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    mounted_ =
        ::mount("tmpfs", dir_.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    if (!mounted_) {
        why_ = "no tmpfs can be mounted here (" + std::string(std::strerror(errno)) +
               "; it needs root)";
    }
}

TSmallDisk::~TSmallDisk() {
    if (mounted_) {
        ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }
}

void TSmallDisk::Fill() {
    const int fd =
        ::open((dir_.Path() + "/.filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
}

void TSmallDisk::Free() {
    ::unlink((dir_.Path() + "/.filler").c_str());
}
