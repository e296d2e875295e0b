#include "playlist/PlaylistFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Translate.h"

std::vector<std::string> SplitPlaylistText(std::string_view text) {
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

namespace {
[[noreturn]] void OpenError(const std::string& path, int err) {
    throw EPlaylistFileError(
        TextArgs(TrText("Playlist", "Cannot open file \"%1\". %2"), {path, std::strerror(err)}));
}
}  // namespace

std::vector<std::string> ReadPlaylistFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        OpenError(path.substr(0, path.find('\0')), ENOENT);
    }
    // Non-blocking open, so that a named pipe never stalls the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        OpenError(path, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        OpenError(path, err);
    }
    // Read in chunks up to the first NUL, which ends the text: a large file
    // of zeros (a sparse file, say) costs one chunk, not its size.
    std::string text;
    char buf[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            OpenError(path, err);
        }
        if (n == 0)
            break;
        const void* nul = std::memchr(buf, '\0', std::size_t(n));
        text.append(buf, nul ? std::size_t(static_cast<const char*>(nul) - buf) : std::size_t(n));
        if (nul)
            break;
    }
    ::close(fd);
    return SplitPlaylistText(text);
}

std::string JoinPlaylistText(const std::vector<std::string>& entries) {
    std::size_t size = 0;
    for (const auto& e : entries) {
        size += e.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const auto& e : entries) {
        text += e;
        text += "\r\n";
    }
    return text;
}

namespace {

[[noreturn]] void CreateError(const std::string& path, const std::string& reason) {
    throw EPlaylistFileError(
        TextArgs(TrText("Playlist", "Cannot create file \"%1\". %2"), {path, reason}));
}

// The file a save really writes: the end of a chain of symbolic links (which
// need not exist yet), or path itself.
std::string ResolveLinks(const std::string& path, int& err) {
    std::string p = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return p;
        }
        std::string target(std::size_t(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n < 0 || std::size_t(n) >= target.size()) {
            err = n < 0 ? errno : ENAMETOOLONG;
            return {};
        }
        target.resize(std::size_t(n));
        if (!target.empty() && target.front() == '/') {
            p = target;
        } else {
            const auto slash = p.rfind('/');
            p = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + target;
        }
    }
    err = ELOOP;
    return {};
}

std::string FolderOf(const std::string& file) {
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

// A new, empty file beside target that no other program has opened; the
// process's umask applies to it as to any new file.
int CreateSibling(const std::string& target, std::string& tempName) {
    const auto slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = dir + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
                   std::to_string(++counter);
        const int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

}  // namespace

void WritePlaylistFile(const std::string& path, const std::vector<std::string>& entries) {
    if (path.empty()) {
        CreateError(path, std::strerror(ENOENT));
    }
    if (path.find('\0') != std::string::npos) {
        CreateError(path.substr(0, path.find('\0')), std::strerror(EINVAL));
    }
    for (const auto& e : entries) {
        if (!PlaylistCanStore(e)) {
            CreateError(path,
                        TextArgs(TrText("Playlist",
                                        "The entry \"%1...\" holds a line break "
                                        "and cannot be stored in a playlist"),
                                 {e.substr(0, e.find_first_of(std::string_view("\r\n\0", 3)))}));
        }
    }
    const std::string text = JoinPlaylistText(entries);

    int err = 0;
    const std::string target = ResolveLinks(path, err);
    if (target.empty()) {
        CreateError(path, std::strerror(err));
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        CreateError(path, std::strerror(EISDIR));
    }

    std::string temp;
    const int fd = CreateSibling(target, temp);
    if (fd < 0) {
        CreateError(path, std::strerror(errno));
    }
    bool ok = WriteAll(fd, text);
    if (ok && exists && S_ISREG(old.st_mode)) {
        // Keep the replaced file's owner and permissions. Changing the owner
        // needs privileges we usually lack; the group usually works.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, uid_t(-1), old.st_gid);
        }
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        CreateError(path, std::strerror(err));
    }
    // Make the rename itself durable; a failure here loses nothing already written.
    const int dirFd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

bool PlaylistCanStore(std::string_view entry) {
    return entry.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}
