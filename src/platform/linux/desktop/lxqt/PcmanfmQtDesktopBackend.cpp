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
// A copy drawn to the screen's size, beside the picture it shows.
const char kDrawnSuffix[] = ".lxqt.bmp";
const char kColorPicture[] = "/desktop-colour-";
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

TPcmanfmQtDesktopBackend::TPcmanfmQtDesktopBackend(std::string configHome, std::string dataFolder,
                                                   std::function<TScreenSize()> screenSize,
                                                   std::string program)
    : configHome_(std::move(configHome)),
      dataFolder_(std::move(dataFolder)),
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
    if (!enabled) {
        lastError_ = "pcmanfm-qt does not answer on the session bus (" + error + ")";
        return std::nullopt;
    }
    if (!enabled->arguments().first().value<QDBusVariant>().variant().toBool()) {
        lastError_ = "pcmanfm-qt runs but does not draw the desktop";
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
    // The settings call "none" what the command line calls "color", and
    // read any other unknown or absent mode as "none".
    read.mode = settings.value(QStringLiteral("WallpaperMode")).toString().toStdString();
    if (!IsMode(read.mode) || read.mode == "none") {
        read.mode = "color";
    }
    read.color = settings.value(QStringLiteral("BgColor"), QStringLiteral("#000000"))
                     .toString()
                     .toStdString();
    // A desktop started with other settings shows them, not ours.
    if (read.mode != configuredMode_) {
        configuredMode_ = read.mode;
        shownMode_.reset();
        colorPicture_ = false;
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
    const std::string cannot =
        "pcmanfm-qt cannot return to its own mode \"" + configured + "\" while it runs";
    // pcmanfm-qt applies a mode only when it differs from its configured one;
    // given the configured one, it changes the picture alone and keeps the
    // mode it shows.
    std::string use = mode;
    bool exact = true;
    if (!picture) {
        if (mode == configured && shown != mode) {
            // The desktop's colour, as a picture in the mode it shows.
            return ShowColorPicture(settings->color);
        }
        if (mode == configured && !newName) {
            return true;  // shown already
        }
    } else if (newName && shown != "color" && (shown == mode || IsScreenSized(path))) {
        // The picture alone: one of the screen's size looks the same in every mode.
        use = configured;
    } else if (mode == configured) {
        if (!newName && shown == mode) {
            return true;  // shown already
        }
        if (IsScreenSized(path)) {
            use = configured == "center" ? "stretch" : "center";
        } else if (newName) {
            // The settings name the picture, shown in the desktop's own mode
            // from its next start; until then in the mode it shows.
            use = configured;
            exact = false;
        } else {
            lastError_ = cannot;
            return false;
        }
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
    colorPicture_ = false;
    if (!exact) {
        lastError_ = "pcmanfm-qt keeps the mode \"" + shown +
                     "\" until it restarts: it cannot return to its own mode \"" + configured +
                     "\" while it runs";
        return false;
    }
    return true;
}

// Draws `source` ("" for none) over the desktop's colour as `mode` shows it
// on the screen, into a picture of the screen's size.
bool TPcmanfmQtDesktopBackend::Draw(const std::string& source, const std::string& mode,
                                    const std::string& color, const std::string& target) {
    const TScreenSize screen = screenSize_ ? screenSize_() : TScreenSize{};
    if (screen.width <= 0 || screen.height <= 0) {
        lastError_ = "the screen's size is unknown, so the picture cannot be drawn for it";
        return false;
    }
    FIBITMAP* picture = nullptr;
    if (!source.empty()) {
        FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(source.c_str(), 0);
        if (fif == FIF_UNKNOWN) {
            fif = FreeImage_GetFIFFromFilename(source.c_str());
        }
        FIBITMAP* loaded = fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, source.c_str(), 0);
        picture = loaded ? FreeImage_ConvertTo24Bits(loaded) : nullptr;
        FreeImage_Unload(loaded);
        if (!picture) {
            lastError_ = "the wallpaper file cannot be read as a picture: " + source;
            return false;
        }
    }
    FIBITMAP* canvas =
        picture && mode == "stretch"
            ? FreeImage_Rescale(picture, screen.width, screen.height, FILTER_BILINEAR)
            : FreeImage_Allocate(screen.width, screen.height, 24);
    if (canvas && !(picture && mode == "stretch")) {
        const QByteArray rgb = QByteArray::fromHex(QByteArray::fromStdString(color).mid(1));
        RGBQUAD fill{};
        if (rgb.size() == 3) {
            fill.rgbRed = BYTE(rgb[0]);
            fill.rgbGreen = BYTE(rgb[1]);
            fill.rgbBlue = BYTE(rgb[2]);
        }
        FreeImage_FillBackground(canvas, &fill, 0);
    }
    if (canvas && picture && mode != "stretch") {
        // Centred, or tiled from the top left corner; rows run bottom-up.
        const int w = int(FreeImage_GetWidth(picture)), h = int(FreeImage_GetHeight(picture));
        const int left = mode == "tile" ? 0 : (screen.width - w) / 2;
        const int top = mode == "tile" ? 0 : (screen.height - h) / 2;
        for (int y = 0; y < screen.height; ++y) {
            int sy = y - top;
            sy = mode == "tile" ? sy % h : sy;
            if (sy < 0 || sy >= h) {
                continue;
            }
            const BYTE* from = FreeImage_GetScanLine(picture, h - 1 - sy);
            BYTE* to = FreeImage_GetScanLine(canvas, screen.height - 1 - y);
            for (int x = 0; x < screen.width; ++x) {
                const int sx = mode == "tile" ? x % w : x - left;
                if (sx >= 0 && sx < w) {
                    std::memcpy(to + 3 * x, from + 3 * sx, 3);
                }
            }
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(dataFolder_, ec);
    const bool saved = canvas && FreeImage_Save(FIF_BMP, canvas, target.c_str(), 0);
    FreeImage_Unload(canvas);
    FreeImage_Unload(picture);
    if (!saved) {
        lastError_ = "the picture for the desktop cannot be written to " + target;
    }
    return saved;
}

bool TPcmanfmQtDesktopBackend::ShowColorPicture(const std::string& color) {
    // Two names in turn: pcmanfm-qt ignores the name it shows.
    const std::string file = dataFolder_ + kColorPicture + (drawn_++ % 2 ? "2.bmp" : "1.bmp");
    if (!Draw(std::string(), "center", color, file) || !Show(file, "stretch")) {
        return false;
    }
    colorPicture_ = true;
    return true;
}

bool TPcmanfmQtDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

// The desktop is kept in its own mode wherever it can be, so that what it
// showed at first can always come back: a picture in another mode is drawn
// to the screen's size first, and no picture is a picture of its colour.
bool TPcmanfmQtDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return false;
    }
    const std::string& configured = settings->mode;
    if (file.empty()) {
        return configured == "color" ? Show(std::string(), "color")
                                     : ShowColorPicture(settings->color);
    }
    const std::string mode = ModeOfPlacement(placement_);
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).string();
    const QByteArray bytes = QByteArray::fromStdString(path);
    std::string handed = path;
    if (!(configured == "color" || mode == configured || IsScreenSized(path) ||
          QString::fromUtf8(bytes).toUtf8() != bytes)) {
        // Our own files are drawn beside themselves, so that the name still
        // tells whose picture the desktop shows.
        handed = path.rfind(dataFolder_ + "/", 0) == 0
                     ? path + kDrawnSuffix
                     : dataFolder_ + "/drawn-" + std::to_string(drawn_++ % 2) + ".bmp";
        if (!Draw(path, mode, settings->color, handed)) {
            return false;
        }
    }
    if (!Show(handed, mode)) {
        return false;
    }
    shown_ = TShown{handed, path, mode};
    return true;
}

std::optional<std::string> TPcmanfmQtDesktopBackend::CurrentWallpaperFile() {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return std::nullopt;
    }
    const std::string& shown = settings->wallpaper;
    if (shown_ && shown_->handed == shown) {
        return shown_->file;
    }
    // No picture, or a picture of the desktop's colour alone.
    if (shownMode_.value_or(settings->mode) == "color" || colorPicture_ ||
        shown.rfind(dataFolder_ + kColorPicture, 0) == 0) {
        return std::string();
    }
    const std::size_t base = shown.size() - std::min(shown.size(), std::strlen(kDrawnSuffix));
    if (shown.rfind(dataFolder_ + "/", 0) == 0 &&
        shown.compare(base, std::string::npos, kDrawnSuffix) == 0) {
        return shown.substr(0, base);
    }
    return shown;
}

std::optional<int> TPcmanfmQtDesktopBackend::CurrentPlacement() {
    const std::optional<TSettings> settings = ReadSettings();
    if (!settings) {
        return std::nullopt;
    }
    const std::string mode = shown_ && shown_->handed == settings->wallpaper
                                 ? shown_->mode
                                 : shownMode_.value_or(settings->mode);
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
           (colorPicture_ ? std::string("color") : shownMode_.value_or(settings->mode)) + "\n";
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
