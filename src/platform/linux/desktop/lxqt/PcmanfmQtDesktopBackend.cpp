#include "platform/linux/desktop/lxqt/PcmanfmQtDesktopBackend.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QSettings>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace {

const QString kService = QStringLiteral("org.pcmanfm.PCManFM");
const char kStateHeader[] = "pcmanfm-qt-wallpaper";
// pcmanfm-qt's modes; "color" shows no picture.
const char* const kModes[] = {"color", "stretch", "fit", "center", "tile", "zoom"};
constexpr auto kTimeout = std::chrono::seconds(10);
constexpr int kBusTimeoutMs = 5000;

bool IsMode(const std::string& mode) {
    return std::any_of(std::begin(kModes), std::end(kModes),
                       [&](const char* m) { return mode == m; });
}

const char* ModeOfPlacement(int placement) {
    switch (placement) {
        case dpTile:
            return "tile";
        case dpStretch:
            return "stretch";
        default:
            return "center";
    }
}

std::optional<QDBusMessage> BusCall(const QString& service, const QString& path,
                                    const QString& interface, const QString& method,
                                    const QVariantList& args, std::string* error) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *error = reply.errorName().toStdString();
        return std::nullopt;
    }
    return reply;
}

// The value of a `--profile`/`-p` option in a NUL-separated command line.
std::optional<std::string> ProfileOption(const std::string& cmdline) {
    std::vector<std::string> args;
    for (std::size_t start = 0, end; start < cmdline.size(); start = end + 1) {
        end = cmdline.find('\0', start);
        end = end == std::string::npos ? cmdline.size() : end;
        args.push_back(cmdline.substr(start, end - start));
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--profile" || a == "-p") && i + 1 < args.size()) {
            return args[i + 1];
        }
        if (a.rfind("--profile=", 0) == 0) {
            return a.substr(10);
        }
        if (a.size() > 2 && a.rfind("-p", 0) == 0 && a[2] != '-') {
            return a.substr(2);
        }
    }
    return std::nullopt;
}

std::string Percent(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toPercentEncoding().toStdString();
}

}  // namespace

TPcmanfmQtDesktopBackend::TPcmanfmQtDesktopBackend(std::string configHome,
                                                   std::function<TScreenSize()> screenSize,
                                                   std::string program)
    : configHome_(std::move(configHome)),
      screenSize_(std::move(screenSize)),
      program_(std::move(program)) {}

std::optional<std::string> TPcmanfmQtDesktopBackend::DesktopProfile() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        lastError_ = "there is no D-Bus session bus, through which pcmanfm-qt is reached";
        return std::nullopt;
    }
    std::string error;
    const std::optional<QDBusMessage> owner =
        BusCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("GetConnectionUnixProcessID"), {kService}, &error);
    if (!owner) {
        lastError_ = "the LXQt desktop (pcmanfm-qt --desktop) is not running";
        return std::nullopt;
    }
    const std::optional<QDBusMessage> enabled = BusCall(
        kService, QStringLiteral("/Application"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"),
        {QStringLiteral("org.pcmanfm.Application"), QStringLiteral("desktopManagerEnabled")},
        &error);
    if (!enabled || !enabled->arguments().first().value<QDBusVariant>().variant().toBool()) {
        lastError_ = "pcmanfm-qt runs but does not draw the desktop" +
                     (error.empty() ? std::string() : " (" + error + ")");
        return std::nullopt;
    }
    // The profile the desktop was started with; LXQt sessions use "lxqt".
    const std::string pid = std::to_string(owner->arguments().first().toUInt());
    std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
    const std::string cmdline{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::error_code ec;
    profile_ = ProfileOption(cmdline).value_or(
        std::filesystem::is_directory(configHome_ + "/pcmanfm-qt/lxqt", ec) ? "lxqt" : "default");
    return profile_;
}

// The desktop's settings as pcmanfm-qt keeps them (Qt's INI format, which
// escapes odd characters and quotes values); the system's copy until the
// user has one.
std::optional<TPcmanfmQtDesktopBackend::TSettings> TPcmanfmQtDesktopBackend::ReadSettings() {
    if (!DesktopProfile()) {
        return std::nullopt;
    }
    std::string path = configHome_ + "/pcmanfm-qt/" + profile_ + "/settings.conf";
    if (access(path.c_str(), F_OK) != 0) {
        path = "/usr/share/pcmanfm-qt/" + profile_ + "/settings.conf";
    }
    QSettings settings(QFile::decodeName(QByteArray::fromStdString(path)), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        lastError_ = "the pcmanfm-qt settings file " + path + " cannot be read";
        return std::nullopt;
    }
    settings.beginGroup(QStringLiteral("Desktop"));
    TSettings read;
    read.wallpaper =
        QFile::encodeName(settings.value(QStringLiteral("Wallpaper")).toString()).toStdString();
    read.mode = settings.value(QStringLiteral("WallpaperMode"), QStringLiteral("stretch"))
                    .toString()
                    .toStdString();
    // A desktop started with other settings shows them, not ours.
    if (read.mode != configuredMode_) {
        configuredMode_ = read.mode;
        shownMode_.reset();
    }
    return read;
}

bool TPcmanfmQtDesktopBackend::IsScreenSized(const std::string& file) const {
    const TScreenSize screen = screenSize_ ? screenSize_() : TScreenSize{};
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(file.c_str(), 0);
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(file.c_str());
    }
    FIBITMAP* header =
        fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, file.c_str(), FIF_LOAD_NOPIXELS);
    const bool sized = header && screen.width > 0 &&
                       int(FreeImage_GetWidth(header)) == screen.width &&
                       int(FreeImage_GetHeight(header)) == screen.height;
    FreeImage_Unload(header);
    return sized;
}

bool TPcmanfmQtDesktopBackend::Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv{program_.data()};
    std::vector<std::string> args = arguments;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
    }
    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        lastError_ = "pcmanfm-qt cannot be run (" + program_ + "): " + std::strerror(spawned);
        return false;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            lastError_ = "pcmanfm-qt did not answer within 10 seconds";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        lastError_ =
            "pcmanfm-qt failed to set the wallpaper (status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

bool TPcmanfmQtDesktopBackend::Show(const std::string& file, const std::string& mode) {
    std::string path;
    if (!file.empty()) {
        std::error_code ec;
        path = std::filesystem::absolute(file, ec).string();
        // pcmanfm-qt reads its arguments as UTF-8 text.
        const QByteArray bytes = QByteArray::fromStdString(path);
        if (QString::fromUtf8(bytes).toUtf8() != bytes) {
            lastError_ = "pcmanfm-qt cannot take a wallpaper path that is not valid UTF-8: " + path;
            return false;
        }
        if (ec || access(path.c_str(), R_OK) != 0) {
            lastError_ = "the wallpaper file cannot be read: " + path;
            return false;
        }
    }
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return false;
    }
    const std::string& configured = settings->mode;
    const std::string shown = shownMode_.value_or(configured);
    const bool picture = mode != "color" && !path.empty();
    const bool newName = !path.empty() && path != settings->wallpaper;
    // A picture of the screen's size looks the same in every mode.
    const bool anyMode = picture && IsScreenSized(path);
    // pcmanfm-qt applies a mode only when it differs from its configured one;
    // a new name in the configured mode changes the picture alone.
    std::string use = mode;
    bool exact = true;
    if (mode == configured || (anyMode && newName)) {
        if (shown != configured && !anyMode) {
            if (!picture || !newName) {
                lastError_ =
                    "pcmanfm-qt cannot return to its own mode \"" + configured + "\" while it runs";
                return false;
            }
            exact = false;  // the new picture, in the mode the desktop shows
        }
        if (!newName && shown == configured) {
            return true;  // shown already
        }
        use = newName ? configured : (configured == "center" ? "stretch" : "center");
    }
    std::vector<std::string> arguments;
    if (!path.empty()) {
        arguments.push_back("--set-wallpaper=" + path);
    }
    arguments.push_back("--wallpaper-mode=" + use);
    if (!Run(arguments)) {
        return false;
    }
    if (use != configured) {
        shownMode_ = use;
    }
    if (!exact) {
        lastError_ = "pcmanfm-qt shows the picture in the mode \"" + shown +
                     "\" until it restarts: it cannot return to its own mode \"" + configured +
                     "\" while it runs";
        return false;
    }
    return true;
}

bool TPcmanfmQtDesktopBackend::SetPlacement(int placement) {
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

bool TPcmanfmQtDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    return file.empty() ? Show(std::string(), "color") : Show(file, ModeOfPlacement(placement_));
}

std::optional<std::string> TPcmanfmQtDesktopBackend::CurrentWallpaperFile() {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return std::nullopt;
    }
    return shownMode_.value_or(settings->mode) == "color" ? std::string() : settings->wallpaper;
}

std::optional<int> TPcmanfmQtDesktopBackend::CurrentPlacement() {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return std::nullopt;
    }
    const std::string mode = shownMode_.value_or(settings->mode);
    return mode == "center"    ? dpCenter
           : mode == "tile"    ? dpTile
           : mode == "stretch" ? dpStretch
                               : dpOther;
}

// The picture and the mode, one per line; the path percent-encoded so that
// no byte can break a line.
std::string TPcmanfmQtDesktopBackend::SaveState() {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return std::string();
    }
    return std::string(kStateHeader) + "\n" + Percent(settings->wallpaper) + "\n" +
           shownMode_.value_or(settings->mode) + "\n";
}

bool TPcmanfmQtDesktopBackend::RestoreState(const std::string& state) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < state.size(); start = end + 1) {
        end = state.find('\n', start);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(state.substr(start, end - start));
    }
    const std::string wallpaper =
        lines.size() == 3
            ? QByteArray::fromPercentEncoding(QByteArray::fromStdString(lines[1])).toStdString()
            : std::string();
    if (lines.size() != 3 || lines[0] != kStateHeader || !IsMode(lines[2]) ||
        Percent(wallpaper) != lines[1] || state.back() != '\n') {
        lastError_ = "the record of the LXQt wallpaper is damaged";
        return false;
    }
    return Show(wallpaper, wallpaper.empty() ? std::string("color") : lines[2]);
}
