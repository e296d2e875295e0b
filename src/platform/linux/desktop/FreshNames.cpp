#include "platform/linux/desktop/FreshNames.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// `file` with `tail` put before its extension.
std::string Beside(const std::string& file, const std::string& tail) {
    const fs::path path(file);
    return (path.parent_path() / (path.stem().string() + tail + path.extension().string()))
        .string();
}

}  // namespace

std::string TFreshNames::Copied(const std::string& file) {
    if (file.empty()) {
        return file;
    }
    const std::string name = Beside(file, copies_++ % 2 == 0 ? "-1" : "-2");
    std::error_code ec;
    fs::copy_file(file, name, fs::copy_options::overwrite_existing, ec);
    return ec ? file : name;
}

bool TFreshNames::SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) {
    std::vector<TMonitorFile> fresh = files;
    const bool shared = std::all_of(files.begin(), files.end(), [&](const TMonitorFile& f) {
        return f.file == files.front().file;
    });
    if (shared && !files.empty()) {
        const std::string copy = Copied(files.front().file);
        for (TMonitorFile& f : fresh) {
            f.file = copy;
        }
    } else {
        const std::string tail = ++monitorTurns_ % 2 ? "-a" : "-b";
        for (TMonitorFile& f : fresh) {
            const std::string name = Beside(f.file, tail);
            std::error_code ec;
            fs::rename(f.file, name, ec);
            if (!ec) {
                f.file = name;
            }
        }
    }
    return monitors_->SetMonitorWallpaperFiles(fresh, persist);
}
