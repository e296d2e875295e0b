#include "wallpaper/OriginalRecord.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>

namespace {

constexpr const char* kMagic = "Vantoria original wallpaper 1\n";

// A field is its name, a blank, its length in bytes, a line end, the bytes
// and a line end: any byte, newlines included, survives.
void PutField(std::string& out, const char* name, const std::string& value) {
    out += name;
    out += ' ';
    out += std::to_string(value.size());
    out += '\n';
    out += value;
    out += '\n';
}

bool GetField(const std::string& in, std::size_t& pos, const char* name, std::string& value) {
    const std::string head = std::string(name) + ' ';
    if (in.compare(pos, head.size(), head) != 0) {
        return false;
    }
    pos += head.size();
    const std::size_t eol = in.find('\n', pos);
    if (eol == std::string::npos) {
        return false;
    }
    std::size_t length = 0;
    const auto [end, ec] = std::from_chars(in.data() + pos, in.data() + eol, length);
    if (ec != std::errc() || end != in.data() + eol) {
        return false;
    }
    pos = eol + 1;
    if (length > in.size() - pos || pos + length >= in.size() || in[pos + length] != '\n') {
        return false;
    }
    value = in.substr(pos, length);
    pos += length + 1;
    return true;
}

// The record holds a few paths and a desktop's settings; anything larger is
// no record of ours.
constexpr std::size_t kMaxRecordBytes = std::size_t{4} << 20;

// Reads a regular file of at most `limit` bytes; opened without waiting, so
// that a pipe or a device in its place cannot hold up the start or the end.
bool ReadSmallFile(const std::string& path, std::size_t limit, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::uint64_t>(info.st_size) <= limit;
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
        ok = out.size() <= limit;
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::optional<TOriginalRecord> ReadOriginalRecord(const std::string& path) {
    std::string in;
    if (!ReadSmallFile(path, kMaxRecordBytes, in)) {
        return std::nullopt;
    }
    const std::string magic = kMagic;
    if (in.compare(0, magic.size(), magic) != 0) {
        return std::nullopt;
    }
    std::size_t pos = magic.size();
    TOriginalRecord record;
    std::string placement;
    if (!GetField(in, pos, "desktop", record.desktop) ||
        !GetField(in, pos, "wallpaper", record.wallpaper) ||
        !GetField(in, pos, "placement", placement) || !GetField(in, pos, "state", record.state) ||
        pos != in.size()) {
        return std::nullopt;
    }
    const auto [end, ec] =
        std::from_chars(placement.data(), placement.data() + placement.size(), record.placement);
    if (ec != std::errc() || end != placement.data() + placement.size()) {
        return std::nullopt;
    }
    return record;
}

bool WriteOriginalRecord(const std::string& path, const TOriginalRecord& record) {
    std::string out = kMagic;
    PutField(out, "desktop", record.desktop);
    PutField(out, "wallpaper", record.wallpaper);
    PutField(out, "placement", std::to_string(record.placement));
    PutField(out, "state", record.state);

    // Written beside the old file and renamed over it when complete;
    // unbuffered, so that a full disk fails the write instead of committing
    // an empty file (QSaveFile misses a failed final flush).
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    // The record names the user's pictures: readable by the user alone.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(out.data(), static_cast<qint64>(out.size())) !=
        static_cast<qint64>(out.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
