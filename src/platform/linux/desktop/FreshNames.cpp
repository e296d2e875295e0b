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

bool Own(const std::string& file) {
    const fs::path path(file);
    return path.filename().string().rfind("vantoria", 0) == 0 && path.extension() == ".bmp";
}

}  // namespace

bool HandOverUnder(const std::string& file, const std::string& name) {
    std::error_code ec;
    if (Own(file)) {
        fs::rename(file, name, ec);
    } else {
        fs::copy_file(file, name, fs::copy_options::overwrite_existing, ec);
    }
    return !ec;
}

std::string TFreshNames::Copied(const std::string& file) {
    stale_.clear();
    if (file.empty()) {
        return file;
    }
    const bool first = copies_++ % 2 == 0;
    const std::string name = Beside(file, first ? "-1" : "-2");
    if (!HandOverUnder(file, name)) {
        return file;
    }
    if (Own(file)) {
        stale_ = {Beside(file, first ? "-2" : "-1")};
    }
    return name;
}

bool TFreshNames::Taken(bool taken) {
    if (taken) {
        std::error_code ec;
        for (const std::string& name : stale_) {
            fs::remove(name, ec);
        }
    }
    stale_.clear();
    return taken;
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
        stale_.clear();
        const bool first = ++monitorTurns_ % 2 != 0;
        for (TMonitorFile& f : fresh) {
            const std::string name = Beside(f.file, first ? "-a" : "-b");
            if (HandOverUnder(f.file, name)) {
                if (Own(f.file)) {
                    stale_.push_back(Beside(f.file, first ? "-b" : "-a"));
                }
                f.file = name;
            }
        }
    }
    return Taken(monitors_->SetMonitorWallpaperFiles(fresh, persist));
}
