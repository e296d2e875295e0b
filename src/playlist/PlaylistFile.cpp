#include "playlist/PlaylistFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    throw EPlaylistFileError("Cannot open file \"" + path + "\". " + std::strerror(err));
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
    std::string text;
    text.reserve(std::size_t(st.st_size));
    char buf[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            OpenError(path, err);
        }
        if (n == 0) break;
        text.append(buf, std::size_t(n));
    }
    ::close(fd);
    return SplitPlaylistText(text);
}
