#include "support/desktop/RealDesktop.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/desktop/ScreenReader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Every process of one session carries this variable, the session's folder as
// its value: bus-activated daemons inherit it from the bus.
constexpr const char* kMarker = "VANTORIA_DESKTOP_SESSION";

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int ElapsedMs(Clock::time_point since) {
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// A .reg file's string: backslashes and quotes escaped.
std::string RegString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// Starts `argv` with exactly `env`, output to `log` (or to `outFd`), in a
// process group of its own; `keepFd` survives into the child as fd 3.
pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& log, int outFd = -1, int keepFd = -1) {
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : env) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (const std::string& e : envStrings) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    const int logFd =
        outFd >= 0 ? outFd : ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        if (logFd >= 0) {
            ::dup2(logFd, 1);
            ::dup2(outFd >= 0 ? ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600) : logFd,
                   2);
        }
        if (keepFd >= 0) {
            ::dup2(keepFd, 3);
        }
        // The parent's signal mask and dispositions are not the child's business.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execvpe(args[0], args.data(), envp.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    if (logFd >= 0 && outFd < 0) {
        ::close(logFd);
    }
    return pid;
}

bool CanConnect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool NearColour(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int ca = int((a >> shift) & 0xFF), cb = int((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) {
            return false;
        }
    }
    return true;
}

std::string HexColour(std::uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", unsigned(colour & 0xFFFFFF));
    return text;
}

TRealDesktop::TRealDesktop(TRealDesktopOptions options) : options_(std::move(options)) {
    std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/vantoria-desktop-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error_ = "cannot create a temporary folder";
        return;
    }
    root_ = pattern;
    for (const std::string& dir :
         {Home(), ConfigHome(), DataHome(), RuntimeDir(), root_ + "/cache", root_ + "/logs"}) {
        fs::create_directories(dir);
    }
    ::chmod(RuntimeDir().c_str(), 0700);

    const char* path = std::getenv("PATH");
    env_ = {{"PATH", path ? path : "/usr/local/bin:/usr/bin:/bin"},
            {"LANG", "C.UTF-8"},
            {"HOME", Home()},
            {"XDG_CONFIG_HOME", ConfigHome()},
            {"XDG_DATA_HOME", DataHome()},
            {"XDG_CACHE_HOME", root_ + "/cache"},
            {"XDG_RUNTIME_DIR", RuntimeDir()},
            {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"},
            {"XDG_CONFIG_DIRS", "/etc/xdg"},
            {"NO_AT_BRIDGE", "1"},
            {"GTK_A11Y", "none"},
            {kMarker, root_}};
    if (const passwd* pw = ::getpwuid(::getuid())) {
        env_["USER"] = env_["LOGNAME"] = pw->pw_name;
    }
    for (const char* inherited : {"TMPDIR", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                                  "VANTORIA_BINARY_DIR", "VANTORIA_SOURCE_DIR"}) {
        if (const char* v = std::getenv(inherited)) {
            env_[inherited] = v;
        }
    }
    for (const auto& [name, value] : options_.env) {
        env_[name] = value;
    }
    if (!StartDisplay()) {
        return;
    }
    env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + root_ + "/session_bus";
    if (options_.systemBus) {
        const std::string socket = root_ + "/system_bus";
        env_["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + socket;
        WriteText(
            root_ + "/system.conf",
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>system</type><listen>unix:path=" +
                socket +
                "</listen><auth>EXTERNAL</auth>"
                "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/></policy></busconfig>\n");
        if (!StartBus("system-bus", root_ + "/system.conf", socket)) {
            return;
        }
    }
    StartBus("session-bus", "", root_ + "/session_bus");
}

TRealDesktop::~TRealDesktop() {
    StopAll();
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

bool TRealDesktop::StartDisplay() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "no pipe";
        return false;
    }
    // -displayfd says which free display the server took; -noreset keeps the
    // server's state when the last client leaves.
    if (!options_.monitors.empty()) {
        if (!StartXorg(fds[1])) {
            ::close(fds[0]);
            return false;
        }
    } else {
        const std::string screen =
            std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x24";
        xvfb_ = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
                       "-auth", "/dev/null", "-noreset"},
                      env_, LogPath("xvfb"), -1, fds[1]);
    }
    ::close(fds[1]);
    started_.emplace_back(xvfb_, "xvfb");
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto start = Clock::now();
    while (ElapsedMs(start) < 15000 && number.find('\n') == std::string::npos) {
        if (::poll(&p, 1, 200) > 0) {
            char buffer[32];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, std::size_t(n));
        }
    }
    ::close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not start (is it installed? scripts/install-deps): " + Log("xvfb");
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    env_["DISPLAY"] = display_;
    if (!options_.monitors.empty() && !SetMonitors(options_.monitors)) {
        return false;
    }
    x_ = OpenScreen(display_);
    if (!x_) {
        error_ = "cannot open the display " + display_;
        return false;
    }
    return true;
}

bool TRealDesktop::StartXorg(int displayFd) {
    if (::access("/usr/lib/xorg/modules/drivers/dummy_drv.so", R_OK) != 0) {
        error_ = "Xorg's dummy video driver is missing (scripts/install-deps)";
        ::close(displayFd);
        return false;
    }
    // No input devices of the machine's own (XTEST still clicks), no VT of
    // its own, a framebuffer large enough for any test desk.
    const std::string config = root_ + "/xorg.conf";
    WriteText(config,
              "Section \"ServerFlags\"\n"
              "  Option \"AutoAddDevices\" \"false\"\n"
              "  Option \"AutoEnableDevices\" \"false\"\n"
              "  Option \"DontVTSwitch\" \"true\"\n"
              "EndSection\n"
              "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n"
              "  VideoRam 512000\nEndSection\n"
              "Section \"Monitor\"\n  Identifier \"monitor\"\n  HorizSync 5.0-1000.0\n"
              "  VertRefresh 5.0-200.0\nEndSection\n"
              "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n"
              "  Monitor \"monitor\"\n  DefaultDepth 24\n"
              "  SubSection \"Display\"\n    Depth 24\n    Virtual 8192 4608\n"
              "  EndSubSection\nEndSection\n");
    xvfb_ =
        Spawn({"Xorg", "-displayfd", "3", "-config", config, "-logfile", LogPath("xorg-server"),
               "-nolisten", "tcp", "-noreset", "-novtswitch", "-sharevts", "-auth", "/dev/null"},
              env_, LogPath("xvfb"), -1, displayFd);
    return true;
}

bool TRealDesktop::SetMonitors(const std::vector<TMonitorSpec>& monitors) {
    // Outputs beyond the list go first, so the box can shrink; each monitor's
    // mode is made on first use (the dummy outputs know only a few sizes).
    const std::vector<std::string> query{"xrandr", "--query"};
    const std::string state = Run(query, 10000).out;
    for (std::size_t i = monitors.size(); i < 16; ++i) {
        const std::string name = MonitorName(i);
        if (state.find(name + " connected") != std::string::npos) {
            Run({"xrandr", "--output", name, "--off"}, 10000);
        }
    }
    int right = 0, bottom = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const TMonitorSpec& m = monitors[i];
        const std::string w = std::to_string(m.width), h = std::to_string(m.height);
        const std::string mode = "vt" + w + "x" + h;
        // A 60 Hz-ish mode line; the dummy driver takes any timings.
        const std::string clock =
            std::to_string((m.width + 160LL) * (m.height + 40LL) * 60 / 10000);
        Run({"xrandr", "--newmode", mode,
             clock.substr(0, clock.size() - 2) + "." + clock.substr(clock.size() - 2), w,
             std::to_string(m.width + 48), std::to_string(m.width + 80),
             std::to_string(m.width + 160), h, std::to_string(m.height + 3),
             std::to_string(m.height + 10), std::to_string(m.height + 40), "-hsync", "+vsync"},
            10000);
        Run({"xrandr", "--addmode", MonitorName(i), mode}, 10000);
        std::vector<std::string> argv{"xrandr",
                                      "--output",
                                      MonitorName(i),
                                      "--mode",
                                      mode,
                                      "--pos",
                                      std::to_string(m.x) + "x" + std::to_string(m.y)};
        if (i == 0) {
            argv.push_back("--primary");
        }
        const TToolRun r = Run(argv, 10000);
        if (r.exitCode != 0) {
            error_ = "xrandr refused monitor " + MonitorName(i) + ": " + r.out;
            return false;
        }
        right = std::max(right, m.x + m.width);
        bottom = std::max(bottom, m.y + m.height);
    }
    // The screen shrinks to the box around the monitors left.
    Run({"xrandr", "--fb", std::to_string(right) + "x" + std::to_string(bottom)}, 10000);
    options_.monitors = monitors;
    options_.width = right;
    options_.height = bottom;
    return true;
}

bool TRealDesktop::StartBus(const std::string& name, const std::string& config,
                            const std::string& socket) {
    std::vector<std::string> argv{"dbus-daemon", "--nofork"};
    if (config.empty()) {
        argv.insert(argv.end(), {"--session", "--address=unix:path=" + socket});
    } else {
        argv.push_back("--config-file=" + config);
    }
    started_.emplace_back(Spawn(argv, env_, LogPath(name)), name);
    if (!WaitFor([&] { return CanConnect(socket); }, 15000)) {
        error_ = name + " did not start: " + Log(name);
        return false;
    }
    return true;
}

TProcessId TRealDesktop::Launch(const std::string& name, const std::vector<std::string>& argv,
                                const std::map<std::string, std::string>& extraEnv) {
    std::map<std::string, std::string> env = env_;
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    const pid_t pid = Spawn(argv, env, LogPath(name));
    started_.emplace_back(pid, name);
    return pid;
}

TToolRun TRealDesktop::Run(const std::vector<std::string>& argv, int timeoutMs,
                           const std::map<std::string, std::string>& extraEnv) {
    TToolRun result;
    std::map<std::string, std::string> env = env_;
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = Spawn(argv, env, LogPath("tools"), fds[1]);
    ::close(fds[1]);
    const auto start = Clock::now();
    pollfd p{fds[0], POLLIN, 0};
    while (ElapsedMs(start) < timeoutMs) {
        if (::poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            result.out.append(buffer, std::size_t(n));
        }
    }
    ::close(fds[0]);
    const std::optional<int> code = WaitForExit(pid, std::max(0, timeoutMs - ElapsedMs(start)));
    if (!code) {
        Stop(pid, 0);
    }
    result.exitCode = code.value_or(-1);
    return result;
}

bool TRealDesktop::Running(TProcessId pid) {
    if (exited_.count(pid)) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
        exited_[pid] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return ::kill(pid, 0) == 0;
}

std::optional<int> TRealDesktop::WaitForExit(TProcessId pid, int timeoutMs) {
    const auto start = Clock::now();
    while (Running(pid)) {
        if (ElapsedMs(start) >= timeoutMs) {
            return std::nullopt;
        }
        Sleep(20);
    }
    const auto it = exited_.find(pid);
    return it == exited_.end() ? -1 : it->second;
}

void TRealDesktop::Kill9(TProcessId pid) {
    ::kill(pid, SIGKILL);
    WaitForExit(pid, 10000);
}

void TRealDesktop::Stop(TProcessId pid, int graceMs) {
    if (!Running(pid)) {
        return;
    }
    ::kill(pid, SIGTERM);
    if (!WaitForExit(pid, graceMs)) {
        // Some desktops crash or hang on SIGTERM: the group goes for good.
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        WaitForExit(pid, 10000);
    }
}

std::vector<pid_t> TRealDesktop::MarkedProcesses() const {
    std::vector<pid_t> found;
    const std::string marker = std::string(kMarker) + "=" + root_;
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return found;
    }
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == ::getpid()) {
            continue;
        }
        const std::string environ = ReadText("/proc/" + std::string(entry->d_name) + "/environ");
        std::size_t pos = 0;
        while (pos < environ.size()) {
            const std::size_t next = environ.find('\0', pos);
            const std::size_t len = (next == std::string::npos ? environ.size() : next) - pos;
            if (environ.compare(pos, len, marker) == 0) {
                found.push_back(pid_t(pid));
                break;
            }
            pos += len + 1;
        }
    }
    ::closedir(proc);
    return found;
}

void TRealDesktop::StopAll() {
    // The desktop and the program first (latest first), the buses and the
    // display last; then whatever the buses started on their own.
    for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
        if (it->first != xvfb_ && it->second.find("-bus") == std::string::npos) {
            Stop(it->first);
        }
    }
    for (int round = 0; round < 50; ++round) {
        const std::vector<pid_t> left = MarkedProcesses();
        if (left.empty()) {
            break;
        }
        for (const pid_t pid : left) {
            if (pid != xvfb_) {
                ::kill(pid, SIGKILL);
            }
        }
        for (const auto& [pid, name] : started_) {
            Running(pid);  // reaps
        }
        if (round > 2) {
            Sleep(100);
        }
        // Xvfb goes once its clients are gone.
        if (round == 1) {
            CloseScreen(x_);
            x_ = nullptr;
            if (xvfb_ > 0) {
                Stop(xvfb_);
            }
        }
    }
    CloseScreen(x_);
    x_ = nullptr;
    for (const auto& [pid, name] : started_) {
        if (Running(pid)) {
            ::kill(pid, SIGKILL);
            WaitForExit(pid, 5000);
        }
    }
}

bool TRealDesktop::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto start = Clock::now();
    while (!condition()) {
        if (ElapsedMs(start) >= timeoutMs) {
            return false;
        }
        Sleep(100);
    }
    return true;
}

std::string TRealDesktop::Log(const std::string& name) const {
    return ReadText(LogPath(name));
}

std::string TRealDesktop::NameOf(TProcessId pid) const {
    for (const auto& [started, name] : started_) {
        if (started == pid) {
            return name;
        }
    }
    return {};
}

bool TRealDesktop::WaitForLog(const std::string& name, const std::string& text, int timeoutMs) {
    return WaitFor([&] { return Log(name).find(text) != std::string::npos; }, timeoutMs);
}

bool TRealDesktop::WaitForBusName(const std::string& busName, int timeoutMs) {
    return WaitFor(
        [&] {
            const TToolRun r = Run(
                {"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + busName},
                5000);
            return r.out.find("boolean true") != std::string::npos;
        },
        timeoutMs);
}

void TRealDesktop::DumpLogs() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_ + "/logs", ec)) {
        std::string text = ReadText(entry.path().string());
        if (text.size() > 6000) {
            text = "..." + text.substr(text.size() - 6000);
        }
        std::printf("----- %s -----\n%s\n", entry.path().filename().c_str(), text.c_str());
    }
    std::fflush(stdout);
}

std::string TRealDesktop::PrintVersion(const std::vector<std::string>& argv) {
    std::string line = Run(argv, 20000).out;
    line = line.substr(0, line.find('\n'));
    std::printf("[version] %s\n", line.c_str());
    std::fflush(stdout);
    return line;
}

std::optional<std::uint32_t> TRealDesktop::Pixel(int x, int y) {
    const std::vector<std::uint32_t> one = Region(x, y, 1, 1);
    if (one.empty()) {
        return std::nullopt;
    }
    return one[0];
}

std::vector<std::uint32_t> TRealDesktop::Region(int x, int y, int width, int height) {
    return ReadScreen(x_, x, y, width, height);
}

bool TRealDesktop::Shows(const std::vector<TPixelCheck>& checks, int tolerance) {
    for (const TPixelCheck& c : checks) {
        const std::optional<std::uint32_t> seen = Pixel(c.x, c.y);
        if (!seen || !NearColour(*seen, c.colour, tolerance)) {
            return false;
        }
    }
    return true;
}

std::string TRealDesktop::Describe(const std::vector<TPixelCheck>& checks) {
    std::string text;
    for (const TPixelCheck& c : checks) {
        const std::optional<std::uint32_t> seen = Pixel(c.x, c.y);
        text += std::to_string(c.x) + "," + std::to_string(c.y) + "=" +
                (seen ? HexColour(*seen) : std::string("unreadable")) + " ";
    }
    return text;
}

bool TRealDesktop::WaitForPixels(const std::string& what, const std::vector<TPixelCheck>& checks,
                                 int timeoutMs, int tolerance) {
    const auto start = Clock::now();
    const bool ok = WaitFor([&] { return Shows(checks, tolerance); }, timeoutMs);
    std::string wanted;
    for (const TPixelCheck& c : checks) {
        wanted += std::to_string(c.x) + "," + std::to_string(c.y) + "=" + HexColour(c.colour) + " ";
    }
    std::printf("[pixels] %s: want %s| seen %s| %s after %d ms\n", what.c_str(), wanted.c_str(),
                Describe(checks).c_str(), ok ? "ok" : "FAILED", ElapsedMs(start));
    std::fflush(stdout);
    return ok;
}

bool TRealDesktop::SaveScreenshot(const std::string& path) {
    return Run({"/usr/bin/import", "-window", "root", path}).exitCode == 0;
}

void WriteVantoriaSettings(const std::string& configHome, const std::string& playlist,
                           const std::vector<std::pair<std::string, std::string>>& values,
                           const std::vector<std::string>& slides) {
    fs::create_directories(configHome + "/vantoria");
    std::string reg =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n";
    if (!slides.empty()) {
        std::string list;
        for (const std::string& slide : slides) {
            list += slide + "\r\n";
        }
        WriteText(playlist, list);
        reg += "\"Playlist\"=" + RegString(playlist) + "\r\n";
    }
    for (const auto& [name, value] : values) {
        reg += RegString(name) + "=" + value + "\r\n";
    }
    WriteText(configHome + "/vantoria/user.reg", reg);
}

std::string VantoriaBinaryPath() {
    const char* dir = std::getenv("VANTORIA_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vantoria";
}

void TRealDesktop::WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                                 const std::vector<std::string>& slides) {
    WriteVantoriaSettings(ConfigHome(), root_ + "/show.vpl", values, slides);
}

std::string TRealDesktop::VantoriaPath() const {
    return VantoriaBinaryPath();
}

TProcessId TRealDesktop::StartVantoria(const std::map<std::string, std::string>& extraEnv) {
    std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "xcb"}};
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    env["QT_LOGGING_RULES"] = "vantoria.*=true";
    return Launch("vantoria-" + std::to_string(++vantoriaRuns_), {VantoriaPath()}, env);
}

bool TRealDesktop::SendCloseRequest() {
    // The program listens on a socket named after its close request
    // somewhere in the runtime folder.
    std::string socketPath;
    const bool found = WaitFor(
        [&] {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(RuntimeDir(), ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
                if (it->is_socket(ec) &&
                    it->path().filename().string().rfind("vantoriamsg", 0) == 0 &&
                    CanConnect(it->path().string())) {
                    socketPath = it->path().string();
                    return true;
                }
            }
            return false;
        },
        20000);
    if (!found) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    bool sent = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                ::write(fd, "vantoriamsg", 11) == 11;
    ::close(fd);
    return sent;
}
