#include "support/desktop/GnomeWaylandSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The namespaces' set-up, run by their first process: a private /tmp with
// the session's folder ($1) bound back at its own path, and the folder
// Xwayland puts its sockets in; then it holds them open.
constexpr const char* kHolderScript = R"(set -e
R="$1"
mkdir -p "$R/tmp"
mount -t tmpfs -o mode=1777 tmpfs "$R/tmp"
mkdir -p "$R/tmp/${R#/tmp/}"
mount --bind "$R" "$R/tmp/${R#/tmp/}"
mount --move "$R/tmp" /tmp
mkdir -m 1777 /tmp/.X11-unix
touch "$R/ready"
exec sleep infinity
)";

// The system bus the shell looks for logind on: empty, open to all.
std::string SystemBusConfig(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>unix:path=" +
           socket +
           "</listen><auth>EXTERNAL</auth>"
           "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/></policy></busconfig>\n";
}

constexpr const char* kUnsafeExtension = "unsafe-mode@vantoria.test";

}  // namespace

TGnomeWaylandSession::TGnomeWaylandSession(int width, int height,
                                           const std::vector<std::vector<std::string>>& settings)
    : TNamespaceSession("gnome") {
    if (!Ready()) {
        return;
    }
    env_.insert({{"XDG_SESSION_TYPE", "wayland"},
                 {"XDG_CURRENT_DESKTOP", "GNOME"},
                 {"GSETTINGS_BACKEND", "keyfile"},
                 {"NO_AT_BRIDGE", "1"},
                 {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_ + "/session_bus"},
                 {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root_ + "/system_bus"}});
    for (const char* inherited : {"VANTORIA_BINARY_DIR", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* v = std::getenv(inherited)) {
            env_[inherited] = v;
        }
    }

    holder_ = StartHolder({"unshare", "--mount", "--net", "--pid", "--fork", "--kill-child",
                           "--mount-proc", "--propagation", "private", "sh", "-c", kHolderScript,
                           "sh", root_});
    pid_t inner = -1;
    TRealDesktop::WaitFor(
        [&] {
            const std::string children =
                ReadFileText("/proc/" + std::to_string(holder_) + "/task/" +
                             std::to_string(holder_) + "/children");
            inner = std::atoi(children.c_str());
            return fs::exists(root_ + "/ready") && inner > 0;
        },
        10000);
    if (!fs::exists(root_ + "/ready") || inner <= 0) {
        error_ = "no private namespaces (unshare --mount --net --pid): " + Log("holder");
        return;
    }
    // nsenter joins the namespaces' first process, as seen from here.
    enter_ = {"nsenter", "-t", std::to_string(inner), "-m", "-n", "-p", "--"};

    WriteFileText(root_ + "/system.conf", SystemBusConfig(root_ + "/system_bus"));
    Launch("system-bus",
           {"dbus-daemon", "--config-file=" + root_ + "/system.conf", "--nofork", "--nopidfile"});
    Launch("session-bus", {"dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]});
    if (!TRealDesktop::WaitFor(
            [&] { return fs::exists(root_ + "/session_bus") && fs::exists(root_ + "/system_bus"); },
            10000)) {
        error_ = "the buses did not start: " + Log("session-bus") + Log("system-bus");
        return;
    }

    // The shell's Eval and Screenshot calls answer only in unsafe mode.
    const std::string extension = root_ + "/data/gnome-shell/extensions/" + kUnsafeExtension;
    fs::create_directories(extension);
    WriteFileText(extension + "/metadata.json",
                  std::string("{\"uuid\": \"") + kUnsafeExtension +
                      "\", \"name\": \"Unsafe mode\", \"description\": \"For tests\", "
                      "\"shell-version\": [\"43\"]}\n");
    WriteFileText(extension + "/extension.js",
                  "function init() {}\n"
                  "function enable() { global.context.unsafe_mode = true; }\n"
                  "function disable() { global.context.unsafe_mode = false; }\n");
    std::vector<std::vector<std::string>> all{
        {"org.gnome.shell", "enabled-extensions", std::string("['") + kUnsafeExtension + "']"},
        {"org.gnome.desktop.notifications", "show-banners", "false"}};
    all.insert(all.end(), settings.begin(), settings.end());
    for (const std::vector<std::string>& s : all) {
        std::vector<std::string> argv{"gsettings", "set"};
        argv.insert(argv.end(), s.begin(), s.end());
        if (const TToolRun set = Run(argv); set.exitCode != 0) {
            error_ = "gsettings set " + s.at(0) + " " + s.at(1) + ": " + set.out;
            return;
        }
    }

    const std::string monitor = std::to_string(width) + "x" + std::to_string(height);
    Launch("gnome-shell", {"gnome-shell", "--wayland", "--headless", "--virtual-monitor", monitor});
    env_["WAYLAND_DISPLAY"] = "wayland-0";
    if (!TRealDesktop::WaitFor(
            [&] { return Log("gnome-shell").find("GNOME Shell started") != std::string::npos; },
            90000)) {
        error_ = "gnome-shell did not start: " + Log("gnome-shell");
        return;
    }
    if (!TRealDesktop::WaitFor(
            [&] {
                return Eval(
                           "Main.overview.hide(); Main.overview.visible || "
                           "Main.overview.animationInProgress") == "false";
            },
            30000)) {
        error_ = "gnome-shell's unsafe mode or its leaving the overview never came: " +
                 Log("gnome-shell");
    }
}

TGnomeWaylandSession::~TGnomeWaylandSession() {
    // unshare takes the namespaces' first process with it, and with that
    // every process in them ends.
    if (holder_ > 0) {
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
    }
    for (const pid_t pid : started_) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::optional<std::string> TGnomeWaylandSession::Eval(const std::string& script) {
    // gdbus prints "(true, 'JSON')"; the scripts' answers hold no single quote.
    const TToolRun call =
        Run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
             "/org/gnome/Shell", "--method", "org.gnome.Shell.Eval", script});
    const std::string head = "(true, '";
    const std::size_t end = call.out.rfind("')");
    if (call.exitCode != 0 || call.out.rfind(head, 0) != 0 || end == std::string::npos) {
        return std::nullopt;
    }
    return call.out.substr(head.size(), end - head.size());
}

QImage TGnomeWaylandSession::Shot() {
    const std::string path = root_ + "/shot-" + std::to_string(++shots_) + ".png";
    const TToolRun call = Run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell.Screenshot",
                               "--object-path", "/org/gnome/Shell/Screenshot", "--method",
                               "org.gnome.Shell.Screenshot.Screenshot", "false", "false", path});
    QImage shot;
    if (call.exitCode == 0 && call.out.rfind("(true,", 0) == 0) {
        shot.load(QString::fromStdString(path));
    }
    fs::remove(path);
    return shot;
}

bool TGnomeWaylandSession::WaitForPixels(const std::string& what,
                                         const std::vector<TPixelCheck>& checks, bool differ,
                                         int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    std::string seen;
    const bool ok = TRealDesktop::WaitFor(
        [&] {
            const QImage shot = Shot();
            bool all = true;
            seen.clear();
            for (const TPixelCheck& c : checks) {
                const bool valid = shot.valid(c.x, c.y);
                const std::uint32_t colour = valid ? shot.pixel(c.x, c.y) & 0xFFFFFFu : 0;
                all = all && valid && NearColour(colour, c.colour, 8) != differ;
                seen += std::to_string(c.x) + "," + std::to_string(c.y) + "=" +
                        (valid ? HexColour(colour) : std::string("unreadable")) + " ";
            }
            return all;
        },
        timeoutMs);
    std::string wanted;
    for (const TPixelCheck& c : checks) {
        wanted += std::to_string(c.x) + "," + std::to_string(c.y) + "=" + (differ ? "not " : "") +
                  HexColour(c.colour) + " ";
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("[pixels] %s: want %s| seen %s| %s after %d ms\n", what.c_str(), wanted.c_str(),
                seen.c_str(), ok ? "ok" : "FAILED", static_cast<int>(ms));
    std::fflush(stdout);
    return ok;
}
