#include "support/desktop/SwaySession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Forks `argv` with exactly `env`; stdout and stderr to `outFd`.
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

std::optional<QJsonObject> FindWindow(const QJsonObject& node, const QString& title,
                                      bool floating) {
    if (node.value("pid").toInteger() > 0 && node.value("name").toString() == title) {
        QJsonObject found = node;
        found.insert("floating", floating);
        return found;
    }
    for (const char* kind : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(kind).toArray()) {
            if (auto found = FindWindow(child.toObject(), title, floating || kind[0] == 'f')) {
                return found;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

TSwaySession::TSwaySession(std::vector<TSwayOutput> outputs, const std::string& config) {
    char pattern[] = "/tmp/vantoria-sway-XXXXXX";
    if (!mkdtemp(pattern)) {
        error_ = "no temporary folder";
        return;
    }
    root_ = pattern;
    for (const char* dir : {"/home", "/config", "/data", "/cache", "/runtime", "/logs"}) {
        fs::create_directories(root_ + dir);
    }
    fs::permissions(RuntimeDir(), fs::perms::owner_all, fs::perm_options::replace);
    env_ = {{"HOME", root_ + "/home"},
            {"XDG_CONFIG_HOME", ConfigHome()},
            {"XDG_DATA_HOME", root_ + "/data"},
            {"XDG_CACHE_HOME", root_ + "/cache"},
            {"XDG_RUNTIME_DIR", RuntimeDir()},
            {"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
            {"LANG", "C.UTF-8"},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + RuntimeDir() + "/bus"}};

    std::string swayConfig;
    int x = 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        swayConfig += "output " + OutputName(i) + " mode " + std::to_string(outputs[i].width) +
                      "x" + std::to_string(outputs[i].height) + " position " + std::to_string(x) +
                      " 0\n";
        x += outputs[i].width;
    }
    swayConfig += "bar {\n    tray_output *\n}\n" + config;
    WriteText(root_ + "/sway.conf", swayConfig);

    // The namespace's holder: user 1000 there is this user outside.
    holder_ = Spawn(
        {"unshare", "--user", "--map-user=1000", "--map-group=1000", "--fork", "sleep", "infinity"},
        env_, -1);
    const std::string uidMap = "/proc/" + std::to_string(holder_) + "/uid_map";
    if (!TRealDesktop::WaitFor([&] { return ReadText(uidMap).find("1000") != std::string::npos; },
                               5000)) {
        error_ = "no user namespace (unshare --user --map-user)";
        return;
    }
    Launch("dbus", {"dbus-daemon", "--session", "--nofork", "--nopidfile",
                    "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]});
    if (!TRealDesktop::WaitFor([&] { return fs::exists(RuntimeDir() + "/bus"); }, 10000)) {
        error_ = "the session bus did not start: " + Log("dbus");
        return;
    }
    Launch("sway", {"sway", "-c", root_ + "/sway.conf"},
           {{"WLR_BACKENDS", "headless"},
            {"WLR_LIBINPUT_NO_DEVICES", "1"},
            {"WLR_RENDERER", "pixman"},
            {"WLR_HEADLESS_OUTPUTS", std::to_string(outputs.size())}});
    std::string socket, display;
    TRealDesktop::WaitFor(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(RuntimeDir(), ec)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("sway-ipc.", 0) == 0) {
                    socket = entry.path().string();
                } else if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                    display = name;
                }
            }
            return !socket.empty() && !display.empty();
        },
        20000);
    if (socket.empty() || display.empty()) {
        error_ = "sway did not start: " + Log("sway");
        return;
    }
    env_["SWAYSOCK"] = socket;
    env_["WAYLAND_DISPLAY"] = display;
    env_["XDG_CURRENT_DESKTOP"] = "sway";
    env_["XDG_SESSION_TYPE"] = "wayland";
    // swaybar's tray is up once it hosts the item watcher.
    if (!TRealDesktop::WaitFor(
            [&] {
                return Run({"busctl", "--user", "status", "org.kde.StatusNotifierWatcher"}, 5000)
                           .exitCode == 0;
            },
            20000)) {
        error_ = "swaybar's tray did not start: " + Log("sway");
    }
}

TSwaySession::~TSwaySession() {
    for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
        Stop(*it);
    }
    if (holder_ > 0) {
        kill(-holder_, SIGKILL);  // unshare and its sleep
        waitpid(holder_, nullptr, 0);
    }
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

std::vector<std::string> TSwaySession::Joined(const std::vector<std::string>& argv) const {
    std::vector<std::string> joined{
        "nsenter", "-t", std::to_string(holder_), "-U", "--preserve-credentials", "--"};
    joined.insert(joined.end(), argv.begin(), argv.end());
    return joined;
}

pid_t TSwaySession::Launch(const std::string& name, const std::vector<std::string>& argv,
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

TToolRun TSwaySession::Run(const std::vector<std::string>& argv, int timeoutMs) {
    int fds[2];
    TToolRun run;
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    const pid_t pid = Spawn(Joined(argv), env_, fds[1]);
    close(fds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            kill(pid, SIGKILL);
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

std::string TSwaySession::Log(const std::string& name) const {
    return ReadText(root_ + "/logs/" + name + ".log");
}

void TSwaySession::Stop(pid_t pid) {
    // The whole group: what sway started (swaybar, swaybg) goes with it.
    if (pid <= 0 || kill(-pid, SIGTERM) != 0) {
        return;
    }
    for (int i = 0; i < 60; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

QImage TSwaySession::Shot(const std::string& output) {
    const std::string path = root_ + "/shot-" + output + ".png";
    fs::remove(path);
    if (Run({"grim", "-o", output, path}).exitCode != 0) {
        return {};
    }
    return QImage(QString::fromStdString(path));
}

std::optional<std::uint32_t> TSwaySession::Pixel(const std::string& what, const std::string& output,
                                                 int x, int y, std::uint32_t want) {
    const QImage shot = Shot(output);
    std::optional<std::uint32_t> seen;
    if (shot.valid(x, y)) {
        seen = shot.pixel(x, y) & 0xFFFFFFu;
    }
    std::printf("[pixels] %s: %s %d,%d want %s seen %s\n", what.c_str(), output.c_str(), x, y,
                HexColour(want).c_str(), seen ? HexColour(*seen).c_str() : "nothing");
    return seen;
}

std::optional<QJsonObject> TSwaySession::Window(const std::string& title) {
    const TToolRun tree = Run({"swaymsg", "-t", "get_tree", "--raw"});
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(tree.out)).object();
    return FindWindow(root, QString::fromStdString(title), false);
}

void TSwaySession::WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
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

std::string TSwaySession::VantoriaPath() {
    const char* dir = std::getenv("VANTORIA_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vantoria";
}
