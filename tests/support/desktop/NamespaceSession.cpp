#include "support/desktop/NamespaceSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

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

std::map<std::string, std::string> With(std::map<std::string, std::string> env,
                                        const std::map<std::string, std::string>& extraEnv) {
    for (const auto& [n, v] : extraEnv) {
        env[n] = v;
    }
    return env;
}

}  // namespace

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TNamespaceSession::TNamespaceSession(const std::string& prefix) {
    std::string pattern = "/tmp/vantoria-" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
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
            {"LANG", "C.UTF-8"}};
}

TNamespaceSession::~TNamespaceSession() {
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
}

pid_t TNamespaceSession::StartHolder(const std::vector<std::string>& argv) {
    const int log =
        open((root_ + "/logs/holder.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t pid = Spawn(argv, env_, log);
    close(log);
    return pid;
}

pid_t TNamespaceSession::Launch(const std::string& name, const std::vector<std::string>& argv,
                                const std::map<std::string, std::string>& extraEnv) {
    std::vector<std::string> joined = enter_;
    joined.insert(joined.end(), argv.begin(), argv.end());
    const int log = open((root_ + "/logs/" + name + ".log").c_str(),
                         O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t pid = Spawn(joined, With(env_, extraEnv), log);
    close(log);
    started_.push_back(pid);
    return pid;
}

TToolRun TNamespaceSession::Run(const std::vector<std::string>& argv, int timeoutMs,
                                const std::map<std::string, std::string>& extraEnv) {
    int fds[2];
    TToolRun run;
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    std::vector<std::string> joined = enter_;
    joined.insert(joined.end(), argv.begin(), argv.end());
    const pid_t pid = Spawn(joined, With(env_, extraEnv), fds[1]);
    close(fds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fds[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            kill(-pid, SIGKILL);  // nsenter and what it started
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

std::string TNamespaceSession::Log(const std::string& name) const {
    return ReadFileText(root_ + "/logs/" + name + ".log");
}

void TNamespaceSession::WriteSettings(
    const std::vector<std::pair<std::string, std::string>>& values,
    const std::vector<std::string>& slides) {
    WriteVantoriaSettings(ConfigHome(), root_ + "/show.vpl", values, slides);
}
