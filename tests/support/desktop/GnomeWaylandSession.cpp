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

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Forks `argv` with exactly `env`, in a process group of its own; stdout
// and stderr to `outFd`.
pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            int outFd) {
    std::vector<std::string> envText;
    for (const auto& [name, value] : env) {
        envText.push_back(name + "=" + value);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    for (const std::string& e : envText) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (outFd >= 0) {
            dup2(outFd, 1);
            dup2(outFd, 2);
        }
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

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
                                           const std::vector<std::vector<std::string>>& settings) {
    char pattern[] = "/tmp/vantoria-gnome-XXXXXX";
    if (!mkdtemp(pattern)) {
        error_ = "no temporary folder";
        return;
    }
    root_ = pattern;
    for (const char* dir : {"/home", "/config", "/data", "/cache", "/runtime", "/logs"}) {
        fs::create_directories(root_ + dir);
    }
    fs::permissions(root_ + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    env_ = {{"HOME", root_ + "/home"},
            {"XDG_CONFIG_HOME", ConfigHome()},
            {"XDG_DATA_HOME", root_ + "/data"},
            {"XDG_CACHE_HOME", root_ + "/cache"},
            {"XDG_RUNTIME_DIR", root_ + "/runtime"},
            {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
            {"LANG", "C.UTF-8"},
            {"XDG_SESSION_TYPE", "wayland"},
            {"XDG_CURRENT_DESKTOP", "GNOME"},
            {"GSETTINGS_BACKEND", "keyfile"},
            {"NO_AT_BRIDGE", "1"},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_ + "/session_bus"},
            {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root_ + "/system_bus"}};
    for (const char* inherited : {"VANTORIA_BINARY_DIR", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* v = std::getenv(inherited)) {
            env_[inherited] = v;
        }
    }

    const int log =
        open((root_ + "/logs/holder.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    holder_ =
        Spawn({"unshare", "--mount", "--net", "--pid", "--fork", "--kill-child", "--mount-proc",
               "--propagation", "private", "sh", "-c", kHolderScript, "sh", root_},
              env_, log);
    close(log);
    pid_t inner = -1;
    TRealDesktop::WaitFor(
        [&] {
            const std::string children = ReadText("/proc/" + std::to_string(holder_) + "/task/" +
                                                  std::to_string(holder_) + "/children");
            inner = std::atoi(children.c_str());
            return fs::exists(root_ + "/ready") && inner > 0;
        },
        10000);
    if (!fs::exists(root_ + "/ready") || inner <= 0) {
        error_ = "no private namespaces (unshare --mount --net --pid): " + Log("holder");
        return;
    }
    inner_ = inner;

    WriteText(root_ + "/system.conf", SystemBusConfig(root_ + "/system_bus"));
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
    WriteText(extension + "/metadata.json",
              std::string("{\"uuid\": \"") + kUnsafeExtension +
                  "\", \"name\": \"Unsafe mode\", \"description\": \"For tests\", "
                  "\"shell-version\": [\"43\"]}\n");
    WriteText(extension + "/extension.js",
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
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

std::vector<std::string> TGnomeWaylandSession::Joined(const std::vector<std::string>& argv) const {
    std::vector<std::string> joined{"nsenter", "-t", std::to_string(inner_), "-m", "-n",
                                    "-p",      "--"};
    joined.insert(joined.end(), argv.begin(), argv.end());
    return joined;
}

pid_t TGnomeWaylandSession::Launch(const std::string& name, const std::vector<std::string>& argv,
                                   const std::map<std::string, std::string>& extraEnv) {
    std::map<std::string, std::string> env = env_;
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    const int log = open((root_ + "/logs/" + name + ".log").c_str(),
                         O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t pid = Spawn(Joined(argv), env, log);
    close(log);
    started_.push_back(pid);
    return pid;
}

TToolRun TGnomeWaylandSession::Run(const std::vector<std::string>& argv, int timeoutMs,
                                   const std::map<std::string, std::string>& extraEnv) {
    int fds[2];
    TToolRun run;
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    std::map<std::string, std::string> env = env_;
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    const pid_t pid = Spawn(Joined(argv), env, fds[1]);
    close(fds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            kill(-pid, SIGKILL);
            break;
        }
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string TGnomeWaylandSession::Log(const std::string& name) const {
    return ReadText(root_ + "/logs/" + name + ".log");
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

void TGnomeWaylandSession::WriteSettings(
    const std::vector<std::pair<std::string, std::string>>& values,
    const std::vector<std::string>& slides) {
    fs::create_directories(ConfigHome() + "/vantoria");
    std::string reg =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n";
    if (!slides.empty()) {
        std::string list;
        for (const std::string& slide : slides) {
            list += slide + "\r\n";
        }
        WriteText(root_ + "/show.vpl", list);
        reg += "\"Playlist\"=\"" + root_ + "/show.vpl\"\r\n";
    }
    for (const auto& [name, value] : values) {
        reg += "\"" + name + "\"=" + value + "\r\n";
    }
    WriteText(ConfigHome() + "/vantoria/user.reg", reg);
}

std::string TGnomeWaylandSession::VantoriaPath() {
    const char* dir = std::getenv("VANTORIA_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vantoria";
}
