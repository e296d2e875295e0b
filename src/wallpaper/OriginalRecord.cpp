#include "wallpaper/OriginalRecord.h"

#include <QFile>
#include <QSaveFile>

#include <charconv>
#include <fstream>
#include <iterator>

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

}  // namespace

std::optional<TOriginalRecord> ReadOriginalRecord(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    const std::string in((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
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

    // Written beside the old file and renamed over it when complete.
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(out.data(), static_cast<qint64>(out.size())) !=
        static_cast<qint64>(out.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
