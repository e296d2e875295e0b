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

TSwaySession::TSwaySession(std::vector<TSwayOutput> outputs, const std::string& config)
    : TNamespaceSession("sway") {
    if (!Ready()) {
        return;
    }
    env_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + RuntimeDir() + "/bus";

    std::string swayConfig;
    int x = 0;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        swayConfig += "output " + OutputName(i) + " mode " + std::to_string(outputs[i].width) +
                      "x" + std::to_string(outputs[i].height) + " position " + std::to_string(x) +
                      " 0\n";
        x += outputs[i].width;
    }
    swayConfig += "bar {\n    tray_output *\n}\n" + config;
    WriteFileText(root_ + "/sway.conf", swayConfig);

    // The namespace's holder: user 1000 there is this user outside.
    holder_ = StartHolder({"unshare", "--user", "--map-user=1000", "--map-group=1000", "--fork",
                           "sleep", "infinity"});
    const std::string uidMap = "/proc/" + std::to_string(holder_) + "/uid_map";
    if (!TRealDesktop::WaitFor(
            [&] { return ReadFileText(uidMap).find("1000") != std::string::npos; }, 5000)) {
        error_ = "no user namespace (unshare --user --map-user)";
        return;
    }
    enter_ = {"nsenter", "-t", std::to_string(holder_), "-U", "--preserve-credentials", "--"};
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
