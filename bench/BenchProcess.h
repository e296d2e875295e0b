#pragma once

// Whole processes timed from outside, for the benches: each run is one child
// in a process group of its own, reaped with wait4 so that its CPU time (user
// + system, its waited-for children included) and its peak resident size are
// the kernel's own accounting. Every wait is bounded; whatever a run leaves
// in its group is killed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// One finished run.
struct TRun {
    bool ok = false;  // exited with status 0 (or as the caller's `ended` judged)
    double cpu = 0;   // seconds, user + system
    double wall = 0;  // seconds
    double peakMb = 0;
};

// The process groups started and not yet reaped: a signal that ends the bench
// kills them too.
inline std::vector<pid_t>& LiveGroups() {
    static std::vector<pid_t> groups;
    return groups;
}

inline void KillLive() {
    for (const pid_t group : LiveGroups()) {
        ::kill(-group, SIGKILL);
    }
}

inline void ForgetGroup(pid_t group) {
    auto& groups = LiveGroups();
    groups.erase(std::remove(groups.begin(), groups.end(), group), groups.end());
}

// Kills the started groups when the bench itself is ended.
inline void KillChildrenOnSignals() {
    struct sigaction action {};
    action.sa_handler = [](int signal) {
        KillLive();
        ::_exit(128 + signal);
    };
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

struct TChildOptions {
    std::vector<std::string> argv;
    std::map<std::string, std::optional<std::string>> env;  // nullopt: unset
    std::string output = "/dev/null";                       // stdout and stderr go here
};

// Starts a child in a group of its own; -1 when it cannot be started.
inline pid_t Start(const TChildOptions& options) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        for (const auto& [name, value] : options.env) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (in < 0 || out < 0) {
            ::_exit(126);
        }
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> args;
        for (const std::string& a : options.argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (pid > 0) {
        ::setpgid(pid, pid);
        LiveGroups().push_back(pid);
    }
    return pid;
}

// A descriptor that becomes readable when `pid` ends; -1 where the kernel
// has none (then the wait polls).
inline int ProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Reaps `pid` within `seconds`, else kills its group and reaps it; the
// group's leftovers are killed either way.
inline bool Reap(pid_t pid, double seconds, int& status, rusage& usage) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    const int fd = ProcessFd(pid);
    bool reaped = false;
    while (!reaped) {
        const pid_t got = ::wait4(pid, &status, WNOHANG, &usage);
        if (got == pid) {
            reaped = true;
            break;
        }
        if (got < 0) {
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ::kill(-pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            status = -1;
            reaped = true;
            break;
        }
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        } else {
            ::usleep(1000);
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    ::kill(-pid, SIGKILL);
    ForgetGroup(pid);
    return reaped && status != -1;
}

inline double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

inline TRun Measured(bool ok, const rusage& usage, Clock::time_point start) {
    TRun run;
    run.ok = ok;
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

// Runs a child to its end, at most `seconds`.
inline TRun RunOnce(const TChildOptions& options, double seconds) {
    const auto start = Clock::now();
    const pid_t pid = Start(options);
    if (pid < 0) {
        return {};
    }
    int status = 0;
    rusage usage{};
    const bool reaped = Reap(pid, seconds, status, usage);
    return Measured(reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0, usage, start);
}

// Figures of several runs: median and minimum.
struct TStats {
    int runs = 0;
    int failed = 0;
    double cpuMedian = 0, cpuMin = 0;
    double wallMedian = 0, wallMin = 0;
    double peakMedian = 0, peakMin = 0;
};

inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline TStats Summarise(const std::vector<TRun>& runs) {
    TStats s;
    std::vector<double> cpu, wall, peak;
    for (const TRun& r : runs) {
        if (!r.ok) {
            ++s.failed;
            continue;
        }
        cpu.push_back(r.cpu);
        wall.push_back(r.wall);
        peak.push_back(r.peakMb);
    }
    s.runs = static_cast<int>(cpu.size());
    if (s.runs > 0) {
        s.cpuMedian = Median(cpu);
        s.cpuMin = *std::min_element(cpu.begin(), cpu.end());
        s.wallMedian = Median(wall);
        s.wallMin = *std::min_element(wall.begin(), wall.end());
        s.peakMedian = Median(peak);
        s.peakMin = *std::min_element(peak.begin(), peak.end());
    }
    return s;
}

// One side of a comparison: a name and what runs it once.
struct TSide {
    std::string name;
    std::function<TRun()> run;
};

// Prints one line per side: CPU, wall and peak as median and minimum, and for
// every side after the first the first side's medians divided by its own.
inline void PrintComparison(const std::string& title, const std::vector<std::string>& names,
                            const std::vector<std::vector<TRun>>& results) {
    std::printf("%s\n", title.c_str());
    std::printf("  %-46s %13s %13s %15s %14s\n", "", "CPU s med/min", "wall s med/min",
                "peak MB med/min", "ours/this CPU,peak");
    const TStats ours = Summarise(results[0]);
    for (std::size_t i = 0; i < names.size() && i < results.size(); ++i) {
        const TStats s = Summarise(results[i]);
        if (s.runs == 0) {
            std::printf("  %-46s failed in every run\n", names[i].c_str());
            continue;
        }
        char ratio[48] = "";
        if (i > 0 && ours.runs > 0) {
            std::snprintf(ratio, sizeof ratio, "%5.2fx %5.2fx", ours.cpuMedian / s.cpuMedian,
                          ours.peakMedian / s.peakMedian);
        }
        char failed[32] = "";
        if (s.failed) {
            std::snprintf(failed, sizeof failed, " (%d failed)", s.failed);
        }
        std::printf("  %-46s %6.3f %6.3f %6.3f %6.3f %7.1f %7.1f %s%s\n", names[i].c_str(),
                    s.cpuMedian, s.cpuMin, s.wallMedian, s.wallMin, s.peakMedian, s.peakMin, ratio,
                    failed);
    }
    std::fflush(stdout);
}

// BENCH_ONLY runs only the rows whose title contains one of its
// '|'-separated parts, ignoring case ("Whole run, letter box 3840|One change");
// unset or empty, every row runs.
inline bool RowWanted(const std::string& title) {
    const char* only = std::getenv("BENCH_ONLY");
    if (!only || !*only) {
        return true;
    }
    auto lower = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    const std::string haystack = lower(title);
    const std::string wanted = lower(only);
    std::size_t from = 0;
    while (from <= wanted.size()) {
        const std::size_t bar = std::min(wanted.find('|', from), wanted.size());
        const std::string part = wanted.substr(from, bar - from);
        if (!part.empty() && haystack.find(part) != std::string::npos) {
            return true;
        }
        from = bar + 1;
    }
    return false;
}

// Runs every side `runs` times, alternated (ours, peer, ours, peer...), after
// one warm-up round that is not counted (unless the caller warmed up), and
// prints the comparison.
inline void Compare(const std::string& title, const std::vector<TSide>& sides, int runs,
                    bool warmUp = true) {
    if (!RowWanted(title)) {
        return;
    }
    std::vector<std::vector<TRun>> results(sides.size());
    for (int round = warmUp ? 0 : 1; round <= runs; ++round) {
        for (std::size_t i = 0; i < sides.size(); ++i) {
            TRun run = sides[i].run();
            if (round > 0) {
                results[i].push_back(run);
            }
        }
    }
    std::vector<std::string> names;
    for (const TSide& side : sides) {
        names.push_back(side.name);
    }
    PrintComparison(title, names, results);
}

// True when `program` is an executable on PATH (or a path to one).
inline bool Installed(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t from = 0;
    while (from <= dirs.size()) {
        const std::size_t colon = dirs.find(':', from);
        const std::string dir =
            dirs.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return false;
}

// The number of runs a row takes: BENCH_RUNS, at least 1 (default 1, which
// keeps a whole `make bench` within about ten minutes on two cores).
inline int RunsWanted() {
    const char* text = std::getenv("BENCH_RUNS");
    const int runs = text ? std::atoi(text) : 1;
    return std::clamp(runs, 1, 100);
}

}  // namespace bench
