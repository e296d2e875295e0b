#include "platform/linux/files/XdgAutostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Translate.h"
#include "platform/linux/files/AtomicFile.h"
#include "platform/linux/files/UserFolders.h"

namespace {

bool ValidUtf8(const std::string& text) {
    const QString decoded = QString::fromUtf8(text.data(), qsizetype(text.size()));
    return decoded.toUtf8() == QByteArray(text.data(), qsizetype(text.size()));
}

}  // namespace

std::string DesktopExecArgument(const std::string& path) {
    if (path.empty() || !ValidUtf8(path)) {
        return {};
    }
    std::string quoted = "\"";
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return {};
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    // The Exec value is a string in its own right: its backslashes are
    // escaped once more, and a percent sign is a field code unless doubled.
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    return value;
}

std::string RunningProgramFile() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || std::size_t(n) >= path.size()) {
        return {};
    }
    path.resize(std::size_t(n));
    return path;
}

TXdgAutostart::TXdgAutostart(const TEnvironment& env, std::string program)
    : entry_(UserFolder(env, TUserFolder::Config) + "/autostart/vantoria.desktop"),
      program_(std::move(program)) {}

bool TXdgAutostart::Enabled() const {
    struct stat st {};
    if (::stat(entry_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 65536) {
        return false;
    }
    // An entry switched off by the desktop's own settings stays off.
    std::ifstream in(std::filesystem::path(entry_), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return false;
        }
    }
    return true;
}

std::string TXdgAutostart::SetEnabled(bool on) {
    if (!on) {
        if (::unlink(entry_.c_str()) != 0 && errno != ENOENT) {
            return TextArgs(TrText("TXdgAutostart", "\"%1\" cannot be removed: %2"),
                            {entry_, std::strerror(errno)});
        }
        return {};
    }
    const std::string exec = DesktopExecArgument(program_);
    if (exec.empty()) {
        return TrText("TXdgAutostart",
                      "the program's file name cannot be written into an autostart entry");
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(entry_).parent_path(), ec);
    if (ec) {
        return TextArgs(TrText("TXdgAutostart", "the autostart folder cannot be made: %1"),
                        {ec.message()});
    }
    const std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Vantoria\n"
        "Comment=Changes the desktop wallpaper from a playlist of pictures\n"
        "Exec=" +
        exec +
        "\n"
        "Icon=vantoria\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    const std::string problem = WriteFileAtomically(entry_, text);
    return problem.empty() ? problem
                           : TextArgs(TrText("TXdgAutostart", "\"%1\" cannot be written: %2"),
                                      {entry_, problem});
}
