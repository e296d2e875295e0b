#include "platform/linux/registry/HiveFileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <QLoggingCategory>

#include "platform/linux/files/AtomicFile.h"
#include "platform/linux/files/UserFolders.h"

Q_LOGGING_CATEGORY(lcRegistry, "vantoria.registry", QtWarningMsg)

namespace {

std::string DirName(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A settings file larger than this is no settings file.
constexpr std::size_t kMaxHiveBytes = std::size_t{64} << 20;

// Reads a regular file of at most kMaxHiveBytes. The open does not wait: a
// pipe or a device named like the settings file would hang the start.
bool ReadWholeFile(const std::string& path, std::string& out, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > kMaxHiveBytes) {
        why = S_ISREG(st.st_mode) ? "larger than 64 MB" : "not a regular file";
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        if (out.size() + std::size_t(n) > kMaxHiveBytes) {
            why = "larger than 64 MB";
            ::close(fd);
            return false;
        }
        out.append(buf, std::size_t(n));
    }
    ::close(fd);
    return true;
}

// Write permission as the file's mode grants it: access() alone answers yes
// to root for a file that nobody is meant to write.
bool Writable(const std::string& path, const struct stat& st) {
    return ::access(path.c_str(), W_OK) == 0 && (st.st_mode & 0222) != 0;
}

}  // namespace

THiveFile::THiveFile(std::string path, bool readOnly)
    : path_(std::move(path)), readOnly_(readOnly) {}

bool THiveFile::Exists() const {
    if (pending_) {
        return true;  // written at the end of the batch
    }
    struct stat st {};
    return ::lstat(path_.c_str(), &st) == 0;
}

const TRegHive& THiveFile::Hive() {
    Refresh();
    return hive_;
}

// A settings folder of another user's, or one reached through a link, is
// never read nor written: whoever made it could read the user's settings, or
// have them written over a file of the user's. A folder not made yet is fine.
std::string THiveFile::FolderProblem() const {
    struct stat st {};
    const std::string dir = DirName(path_);
    if (readOnly_ || (::lstat(dir.c_str(), &st) != 0 && errno == ENOENT)) {
        return {};
    }
    return PrivateFolderProblem(dir, true, false);
}

void THiveFile::Refresh() {
    if (pending_) {
        return;  // the batch's changes are newer than the file
    }
    struct stat st {};
    std::array<std::int64_t, 5> stamp{};
    if (const std::string problem = FolderProblem(); !problem.empty()) {
        if (!refused_) {
            qCWarning(lcRegistry, "%s is not used: %s", path_.c_str(), problem.c_str());
        }
        refused_ = true;
    } else if (::stat(path_.c_str(), &st) == 0) {
        stamp = {std::int64_t(st.st_dev), std::int64_t(st.st_ino), std::int64_t(st.st_size),
                 std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
    }
    if (loaded_ && stamp == stamp_) {
        return;
    }
    loaded_ = true;
    stamp_ = stamp;
    damaged_ = false;
    hive_ = TRegHive();
    if (stamp == std::array<std::int64_t, 5>{}) {
        return;  // no file yet: an empty registry
    }
    // Whatever goes wrong while reading (a pipe, a huge file, a malformed
    // value, memory running out) leaves the defaults for what could not be
    // read, and the file is kept aside before the first write replaces it.
    std::string why;
    try {
        std::string bytes;
        if (ReadWholeFile(path_, bytes, why)) {
            hive_ = ReadRegFile(bytes, &why);
        }
    } catch (const std::exception& e) {
        hive_ = TRegHive();
        why = e.what();
    }
    if (!why.empty()) {
        qCWarning(lcRegistry,
                  "%s is damaged (%s); using defaults for what cannot be read, "
                  "the file will be kept as %s.bad",
                  path_.c_str(), why.c_str(), path_.c_str());
        damaged_ = true;
    }
}

bool THiveFile::EndBatch() {
    if (batchDepth_ > 0 && --batchDepth_ > 0) {
        return true;
    }
    if (!pending_) {
        return true;
    }
    pending_ = false;
    if (!Write(hive_)) {
        loaded_ = false;  // read the file again: the batch never reached it
        return false;
    }
    return true;
}

bool THiveFile::CanWrite() const {
    if (readOnly_ || !FolderProblem().empty())
        return false;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || !Writable(path_, st))
            return false;
    }
    const std::string dir = DirName(path_);
    if (::stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) && Writable(dir, st);
    }
    return true;  // the folder is created at the first write
}

bool THiveFile::Write(const TRegHive& next) {
    const std::string dir = DirName(path_);
    if (const std::string problem = MakeUserFolder(dir); !problem.empty()) {
        qCWarning(lcRegistry, "cannot write %s: %s", path_.c_str(), problem.c_str());
        return false;
    }
    if (damaged_ && keptAside_ != stamp_) {
        // Keep what the user had before replacing it, as a second name of
        // the same file (no space needed, and the original stays in place
        // until the new file is whole); never overwrite an older copy.
        std::string aside = path_ + ".bad";
        for (int n = 1; ::access(aside.c_str(), F_OK) == 0; ++n) {
            aside = path_ + ".bad." + std::to_string(n);
        }
        if (::linkat(AT_FDCWD, path_.c_str(), AT_FDCWD, aside.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            std::string bytes;
            std::string why;
            if (!ReadWholeFile(path_, bytes, why) ||
                !(why = WriteFileAtomically(aside, bytes)).empty()) {
                qCWarning(lcRegistry, "cannot keep %s aside: %s", path_.c_str(), why.c_str());
                return false;
            }
        }
        qCWarning(lcRegistry, "damaged settings kept as %s", aside.c_str());
        keptAside_ = stamp_;
    }
    if (const std::string why = WriteFileAtomically(path_, SerializeRegFile(next)); !why.empty()) {
        qCWarning(lcRegistry, "cannot write %s: %s", path_.c_str(), why.c_str());
        return false;
    }
    damaged_ = false;
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        stamp_ = {std::int64_t(st.st_dev), std::int64_t(st.st_ino), std::int64_t(st.st_size),
                  std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
    }
    return true;
}

THiveFileStore::THiveFileStore(std::string userHive, std::string machineHive)
    : user_(std::move(userHive), false),
      machine_(std::move(machineHive), true),
      controlPanel_(DirName(user_.Path()) + "/control-panel.reg", false) {}

namespace {

constexpr std::string_view kControlPanel = "control panel";

bool UnderControlPanel(const std::string& key) {
    std::string_view k(key);
    while (!k.empty() && k.front() == '\\') {
        k.remove_prefix(1);
    }
    return k.size() >= kControlPanel.size() &&
           AsciiLower(std::string(k.substr(0, kControlPanel.size()))) == kControlPanel &&
           (k.size() == kControlPanel.size() || k[kControlPanel.size()] == '\\');
}

}  // namespace

// The desktop's own values live in a file of their own, as they are a key of
// their own with its own rights elsewhere: settings that may not be saved do
// not stop the wallpaper from changing. Until that file exists its key is
// read from the settings file, where earlier versions kept it.
THiveFile& THiveFileStore::File(TRegRoot root, const std::string& key, bool forWriting) {
    if (root == TRegRoot::LocalMachine) {
        return machine_;
    }
    if (!UnderControlPanel(key)) {
        return user_;
    }
    if (controlPanel_.Exists()) {
        return controlPanel_;
    }
    if (!forWriting) {
        return user_;
    }
    // The first write takes over what the settings file holds of the branch.
    const std::string branch = AsciiLower(RegFullPath(root, "Control Panel"));
    controlPanel_.Modify([&](TRegHive& h) {
        for (const TRegHive::TKey& k : user_.Hive().Keys()) {
            const std::string lower = AsciiLower(k.path);
            if (lower == branch || lower.starts_with(branch + "\\")) {
                h.CreateKey(k.path);
                for (const auto& [name, value] : k.values) {
                    h.Set(k.path, name, value);
                }
            }
        }
    });
    return controlPanel_;
}

std::string THiveFileStore::DefaultUserHivePath() {
    return VantoriaFolder(ProcessEnvironment(), TUserFolder::Config) + "/user.reg";
}

#ifndef VANTORIA_SYSCONFDIR
#define VANTORIA_SYSCONFDIR "/etc"
#endif

std::string THiveFileStore::DefaultMachineHivePath() {
    return VANTORIA_SYSCONFDIR "/vantoria/machine.reg";
}

bool THiveFileStore::KeyReadable(TRegRoot root, const std::string& key) {
    return File(root, key, false).Hive().HasKey(RegFullPath(root, key));
}

std::optional<TRegValue> THiveFileStore::QueryValue(TRegRoot root, const std::string& key,
                                                    const std::string& name) {
    const TRegValue* v = File(root, key, false).Hive().Find(RegFullPath(root, key), name);
    return v ? std::optional<TRegValue>(*v) : std::nullopt;
}

bool THiveFileStore::SetValue(TRegRoot root, const std::string& key, const std::string& name,
                              const TRegValue& value) {
    const std::string path = RegFullPath(root, key);
    if (!File(root, key, false).Hive().HasKey(path)) {
        return false;  // a key is opened for writing, never created, by a value write
    }
    THiveFile& file = File(root, key, true);
    if (!file.Hive().HasKey(path) && !file.Modify([&](TRegHive& h) { h.CreateKey(path); })) {
        return false;  // a key found where an earlier version kept it moves on first write
    }
    // A value the file already holds is not written again: a start that
    // changes nothing does not rewrite (and sync) the settings. A damaged
    // file is still replaced, so that it is kept aside and made whole.
    if (const TRegValue* held = file.Hive().Find(path, name);
        held && *held == value && !file.Damaged()) {
        return file.CanWrite();
    }
    return file.Modify([&](TRegHive& h) { h.Set(path, name, value); });
}

bool THiveFileStore::CreateKey(TRegRoot root, const std::string& key) {
    const std::string path = RegFullPath(root, key);
    THiveFile& file = File(root, key, true);
    if (file.Hive().HasKey(path)) {
        return file.CanWrite();
    }
    return file.Modify([&](TRegHive& h) { h.CreateKey(path); });
}
