// Whole runs of the program on a plain X11 root, each on a private X server,
// against the usual root setters doing the same:
//
//   - one slide change as a user gets it: start, compose a 24 MP photograph,
//     hand it to the root window, orderly end putting the original back;
//     Centre and Tile at 1920x1080, letter box at 3840x2160, against
//     `feh --no-fehbg --bg-center|--bg-tile|--bg-max` and nitrogen's
//     `--set-centered|--set-tiled|--set-scaled` (whole processes, alternated);
//   - the hand-over alone: a composed screen picture given to the root by the
//     X root back-end, against the floor of one pixmap filled with XPutImage
//     on a fresh connection (both in this process);
//   - start-up with playlists of 10,000 and 100,000 entries, and with one
//     entry naming a followed folder of 100,000 pictures: from the start to
//     the first answer to `vantoria --status`;
//   - how long the main window's thread is held up per change, as the
//     program itself reports it (vantoria.program debug log).
//
//   bench_wholerun [PATH_TO_VANTORIA]      (default: ../vantoria beside bench/)
//
// BENCH_RUNS sets the runs per row (default 5); BENCH_STARTUP_ONLY=1 runs
// only the 100,000-picture start-up rows. Every child has a time bound,
// and everything started is killed at the end or when the bench is ended.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "BenchPhoto.h"
#include "BenchProcess.h"
#include "platform/linux/desktop/x11/RootWindowDesktopBackend.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr double kRunBound = 60;  // seconds a single run may take

// A private X server of one screen size; the bench holds a connection to it
// for its whole life, so the server keeps what setters leave on the root.
class TXServer {
public:
    TXServer(int width, int height) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", screen.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            return;
        }
        ::setpgid(pid, pid);
        LiveGroups().push_back(pid);
        pid_ = pid;
        // The server writes its display number once it takes connections.
        std::string number;
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 200) > 0) {
                char buffer[32];
                const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                number.append(buffer, static_cast<std::size_t>(n));
            }
        }
        ::close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            return;
        }
        name_ = ":" + number.substr(0, number.find('\n'));
        display_ = XOpenDisplay(name_.c_str());
        if (display_) {
            XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
        }
    }
    ~TXServer() {
        if (display_) {
            XCloseDisplay(display_);
        }
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            int status = 0;
            rusage usage{};
            Reap(pid_, 5, status, usage);
        }
    }
    TXServer(const TXServer&) = delete;
    TXServer& operator=(const TXServer&) = delete;

    bool Ready() const { return display_ != nullptr; }
    const std::string& Name() const { return name_; }
    Display* Dpy() const { return display_; }

    // No setter's picture on the root: what the last one left is freed and
    // nothing is advertised, so that every run starts from the same root.
    void ClearRoot() {
        Display* d = display_;
        const Window root = DefaultRootWindow(d);
        const Pixmap a = PixmapProperty("_XROOTPMAP_ID");
        if (a != None && a == PixmapProperty("ESETROOT_PMAP_ID")) {
            XKillClient(d, a);
        }
        for (const char* name :
             {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID", "_VANTORIA_PIXMAP", "_VANTORIA_WALLPAPER"}) {
            XDeleteProperty(d, root, XInternAtom(d, name, False));
        }
        XSetWindowBackgroundPixmap(d, root, None);
        XClearWindow(d, root);
        XSync(d, True);  // and forget the notices of it
    }

    // Waits until `atom` is given a value on the root, or `pid` ends, or the
    // bound passes; true for the first.
    bool WaitForProperty(const char* atomName, pid_t pid, double seconds) {
        Display* d = display_;
        const Atom atom = XInternAtom(d, atomName, False);
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        const int processFd = ProcessFd(pid);
        bool seen = false;
        while (!seen && Clock::now() < deadline) {
            while (!seen && XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                seen = event.type == PropertyNotify && event.xproperty.atom == atom &&
                       event.xproperty.state == PropertyNewValue;
            }
            if (seen) {
                break;
            }
            pollfd p[2] = {{ConnectionNumber(d), POLLIN, 0}, {processFd, POLLIN, 0}};
            ::poll(p, processFd >= 0 ? 2 : 1, 50);
            if (processFd >= 0 && (p[1].revents & POLLIN) && XPending(d) == 0) {
                break;  // ended without painting
            }
        }
        if (processFd >= 0) {
            ::close(processFd);
        }
        return seen;
    }

private:
    Pixmap PixmapProperty(const char* name) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        Pixmap pixmap = None;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_),
                               XInternAtom(display_, name, False), 0, 1, False, XA_PIXMAP, &type,
                               &format, &items, &after, &data) == Success &&
            type == XA_PIXMAP && items == 1 && data) {
            pixmap = *reinterpret_cast<Pixmap*>(data);
        }
        if (data) {
            XFree(data);
        }
        return pixmap;
    }

    pid_t pid_ = -1;
    std::string name_;
    Display* display_ = nullptr;
};

// The folders and files every run shares.
struct TWork {
    std::string dir;
    std::string exe;
    std::string photo;  // 24 MP JPEG
    std::map<std::string, std::optional<std::string>> env;

    std::string Config() const { return dir + "/home/.config"; }
};

struct TSettings {
    int style = 1;  // 0 tile, 1 centre, 2 stretch
    int fit = 0;    // 0 stretch, 1 letter box, 2 zoom
    int autoplay = 2;
    std::string playlist;
};

// The program's settings file: start showing the playlist's first entry once
// (autoplay 2) or not at all (0); no clock.
void WriteSettings(const TWork& work, const TSettings& s) {
    fs::create_directories(work.Config() + "/vantoria");
    std::ofstream out(work.Config() + "/vantoria/user.reg", std::ios::binary | std::ios::trunc);
    char numbers[256];
    std::snprintf(numbers, sizeof numbers,
                  "\"Autoplay\"=dword:%08x\r\n\"Style\"=dword:%08x\r\n\"Stretch\"=dword:%08x\r\n"
                  "\"ShowClock\"=dword:00000000\r\n\"Current\"=dword:00000000\r\n",
                  s.autoplay, s.style, s.fit);
    out << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantoria]"
           "\r\n"
        << numbers << "\"Playlist\"=\"" << s.playlist << "\"\r\n";
}

void WritePlaylist(const std::string& path, const std::vector<std::string>& entries) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& e : entries) {
        out << e << "\r\n";
    }
}

TChildOptions Child(const TWork& work, const TXServer& x, std::vector<std::string> argv,
                    const std::string& output = "/dev/null") {
    TChildOptions options;
    options.argv = std::move(argv);
    options.env = work.env;
    options.env["DISPLAY"] = x.Name();
    options.output = output;
    return options;
}

// One whole run of the program: it ends (SIGTERM, its orderly end) once the
// root shows its picture.
TRun RunVantoria(const TWork& work, TXServer& x, const TSettings& settings,
                 const std::string& log = "/dev/null") {
    WriteSettings(work, settings);
    x.ClearRoot();
    const auto start = Clock::now();
    const pid_t pid = Start(Child(work, x, {work.exe}, log));
    if (pid < 0) {
        return {};
    }
    const bool painted = x.WaitForProperty("_VANTORIA_PIXMAP", pid, kRunBound);
    if (painted) {
        ::kill(pid, SIGTERM);
    }
    int status = 0;
    rusage usage{};
    const bool reaped = Reap(pid, painted ? kRunBound : 0, status, usage);
    return Measured(painted && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0, usage,
                    start);
}

TRun RunPeer(const TWork& work, TXServer& x, const std::vector<std::string>& argv) {
    x.ClearRoot();
    return RunOnce(Child(work, x, argv), kRunBound);
}

// Centre, Tile and letter box rows: ours against feh and nitrogen.
void SlideChangeRows(const TWork& work, TXServer& x, int runs, const std::string& size,
                     const char* what, TSettings settings, const char* fehMode,
                     const char* nitrogenMode) {
    settings.playlist = work.dir + "/one.vpl";
    WritePlaylist(settings.playlist, {work.photo});
    std::vector<TSide> sides{
        {"vantoria (start..exit)", [&] { return RunVantoria(work, x, settings); }}};
    if (Installed("feh")) {
        sides.push_back({std::string("feh --no-fehbg ") + fehMode, [&] {
                             return RunPeer(work, x, {"feh", "--no-fehbg", fehMode, work.photo});
                         }});
    } else {
        std::printf("  (feh is not installed: no feh row)\n");
    }
    if (Installed("nitrogen")) {
        sides.push_back({std::string("nitrogen ") + nitrogenMode, [&] {
                             return RunPeer(
                                 work, x,
                                 {"nitrogen", "--force-setter=xwindows", nitrogenMode, work.photo});
                         }});
    } else {
        std::printf("  (nitrogen is not installed: no nitrogen row)\n");
    }
    Compare(std::string("Slide change, 24 MP JPEG, ") + what + " at " + size +
                " (whole processes, alternated)",
            sides, runs);
}

// The hand-over alone: the back-end paints a picture composed beforehand;
// the floor fills one pixmap of the screen's size on a fresh connection.
void HandOverRow(const TWork& work, TXServer& x, int runs, const std::string& size) {
    Display* d = x.Dpy();
    const int width = DisplayWidth(d, DefaultScreen(d));
    const int height = DisplayHeight(d, DefaultScreen(d));
    TScreenPicture prepared;
    prepared.width = width;
    prepared.height = height;
    prepared.pixels.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < prepared.pixels.size(); ++i) {
        prepared.pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xffffff;
    }
    const std::string state = work.dir + "/handover";
    fs::create_directories(state);
    TRootWindowDesktopBackend backend(x.Name(), state);
    std::vector<double> ours, floor;
    for (int round = 0; round <= runs; ++round) {
        x.ClearRoot();
        TScreenPicture copy = prepared;  // made before the clock starts
        auto start = Clock::now();
        struct TPrepared : TPictureDraw {
            explicit TPrepared(TScreenPicture& picture) : picture(picture) {}
            bool Draw(int, int, TPictureParts& parts) override { return parts.Put(0, 0, picture); }
            TScreenPicture& picture;
        } draw(copy);
        const bool ok = backend.PaintPicture(draw, 0, "bench");
        const double oursSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        x.ClearRoot();
        start = Clock::now();
        Display* fresh = XOpenDisplay(x.Name().c_str());
        bool floorOk = fresh != nullptr;
        if (fresh) {
            const int screen = DefaultScreen(fresh);
            const Pixmap pixmap = XCreatePixmap(fresh, RootWindow(fresh, screen), width, height,
                                                DefaultDepth(fresh, screen));
            XImage* image = XCreateImage(
                fresh, DefaultVisual(fresh, screen), DefaultDepth(fresh, screen), ZPixmap, 0,
                reinterpret_cast<char*>(prepared.pixels.data()), width, height, 32, 0);
            GC gc = XCreateGC(fresh, pixmap, 0, nullptr);
            XPutImage(fresh, pixmap, gc, image, 0, 0, 0, 0, width, height);
            XFreeGC(fresh, gc);
            image->data = nullptr;
            XDestroyImage(image);
            XSync(fresh, False);
            XFreePixmap(fresh, pixmap);
            XCloseDisplay(fresh);
        }
        const double floorSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (round > 0 && ok && floorOk) {
            ours.push_back(oursSeconds);
            floor.push_back(floorSeconds);
        }
    }
    x.ClearRoot();
    std::printf("Hand-over of a composed picture to the X root at %s (in-process, alternated)\n",
                size.c_str());
    if (ours.empty()) {
        std::printf("  failed in every run\n");
        return;
    }
    std::printf("  X root back-end  wall %6.1f ms median, %6.1f min\n", Median(ours) * 1000,
                *std::min_element(ours.begin(), ours.end()) * 1000);
    std::printf("  XPutImage floor  wall %6.1f ms median, %6.1f min   ours/floor %.2fx\n",
                Median(floor) * 1000, *std::min_element(floor.begin(), floor.end()) * 1000,
                Median(ours) / Median(floor));
    std::fflush(stdout);
}

// Start-up with a playlist of `entries` pictures, or (followed) with one
// entry naming the folder that holds them: from the start to the first
// answer to `vantoria --status`, then an orderly end.
void StartUpRow(const TWork& work, TXServer& x, int runs, int entries, bool followed = false) {
    const std::string folder =
        work.dir + "/list" + std::to_string(entries) + (followed ? "-followed" : "");
    fs::create_directories(folder);
    const std::string small = work.dir + "/small.jpg";
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        const std::string name = folder + "/picture " + std::to_string(i) + ".jpg";
        // Links: a file system allows fewer hard links to one file than that.
        // A followed folder is read at start: empty files stand in for the
        // pictures there, as regular files (a link costs a look at its target).
        if (followed ? !std::ofstream(name, std::ios::binary).good()
                     : ::symlink(small.c_str(), name.c_str()) != 0 && errno != EEXIST) {
            std::printf("Start-up with %d entries: cannot make the pictures (%s)\n", entries,
                        std::strerror(errno));
            return;
        }
        list.push_back(name);
    }
    TSettings settings;
    settings.autoplay = 0;
    settings.playlist = folder + ".vpl";
    WritePlaylist(settings.playlist, followed ? std::vector<std::string>{folder} : list);
    std::vector<double> ready;
    std::vector<TRun> whole;
    for (int round = 0; round <= runs; ++round) {
        WriteSettings(work, settings);
        const auto start = Clock::now();
        const pid_t pid = Start(Child(work, x, {work.exe}));
        if (pid < 0) {
            continue;
        }
        bool answered = false;
        double readySeconds = 0;
        while (!answered &&
               std::chrono::duration<double>(Clock::now() - start).count() < kRunBound) {
            answered = RunOnce(Child(work, x, {work.exe, "--status"}), 10).ok;
            if (answered) {
                readySeconds = std::chrono::duration<double>(Clock::now() - start).count();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ::kill(pid, SIGTERM);
        int status = 0;
        rusage usage{};
        const bool reaped = Reap(pid, kRunBound, status, usage);
        if (round > 0) {
            whole.push_back(Measured(
                answered && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0, usage, start));
            if (answered) {
                ready.push_back(readySeconds);
            }
        }
    }
    const TStats s = Summarise(whole);
    std::printf(followed
                    ? "Start-up with a followed folder of %d pictures (first answer to --status)\n"
                    : "Start-up with %d playlist entries (first answer to --status)\n",
                entries);
    if (ready.empty()) {
        std::printf("  failed in every run\n");
        return;
    }
    std::printf("  ready %6.3f s median, %6.3f min; whole run CPU %6.3f s, peak %6.1f MB%s\n",
                Median(ready), *std::min_element(ready.begin(), ready.end()), s.cpuMedian,
                s.peakMedian, s.failed ? " (some runs failed)" : "");
    std::fflush(stdout);
}

// Counts the program's reports of the main thread's longest pause per change.
std::vector<double> PauseReports(const std::string& log) {
    std::ifstream in(log);
    std::vector<double> pauses;
    std::string line;
    const std::string marker = "main thread held up at most ";
    while (std::getline(in, line)) {
        const std::size_t at = line.find(marker);
        if (at != std::string::npos) {
            pauses.push_back(std::atof(line.c_str() + at + marker.size()));
        }
    }
    return pauses;
}

bool WaitForReports(const std::string& log, std::size_t count, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        if (PauseReports(log).size() >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// The main thread during changes: one run of the program showing a letter
// boxed photograph at start and then `runs` more by `vantoria --next`.
void BlockedRow(const TWork& work, TXServer& x, int runs, const std::string& size) {
    const std::string log = work.dir + "/pauses-" + size + ".log";
    ::unlink(log.c_str());
    TSettings settings;
    settings.style = 2;
    settings.fit = 1;
    settings.playlist = work.dir + "/three.vpl";
    std::vector<std::string> list;
    for (int i = 0; i < 3; ++i) {
        const std::string name = work.dir + "/photo-" + std::to_string(i) + ".jpg";
        ::link(work.photo.c_str(), name.c_str());
        list.push_back(name);
    }
    WritePlaylist(settings.playlist, list);
    WriteSettings(work, settings);
    x.ClearRoot();
    TChildOptions options = Child(work, x, {work.exe}, log);
    options.env["QT_LOGGING_RULES"] = "vantoria.program.debug=true";
    const pid_t pid = Start(options);
    bool ok = pid > 0 && WaitForReports(log, 1, kRunBound);
    for (int i = 0; ok && i < runs; ++i) {
        ok = RunOnce(Child(work, x, {work.exe, "--next"}), 10).ok &&
             WaitForReports(log, static_cast<std::size_t>(i) + 2, kRunBound);
    }
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        rusage usage{};
        Reap(pid, kRunBound, status, usage);
    }
    const std::vector<double> pauses = PauseReports(log);
    std::printf("Main thread held up per change, letter box at %s\n", size.c_str());
    if (!ok || pauses.size() < 2) {
        std::printf("  failed: see %s\n", log.c_str());
        return;
    }
    // The change at start overlaps the window's own start-up: shown apart.
    const std::vector<double> later(pauses.begin() + 1, pauses.end());
    std::printf(
        "  longest pause %5.0f ms median, %5.0f max over %zu changes by --next; "
        "%5.0f ms for the change at start\n",
        Median(later), *std::max_element(later.begin(), later.end()), later.size(), pauses.front());
    std::fflush(stdout);
}

double ResidentMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atof(line.c_str() + 6) / 1024.0;
        }
    }
    return 0;
}

// Resident size of the running program: idle with its window up, then after
// each of three changes (letter box) made by `vantoria --next`, each read a
// second after the root shows the new picture.
void ResidentRow(const TWork& work, TXServer& x, const std::string& size) {
    TSettings settings;
    settings.style = 2;
    settings.fit = 1;
    settings.autoplay = 0;
    settings.playlist = work.dir + "/three.vpl";
    WriteSettings(work, settings);
    x.ClearRoot();
    const pid_t pid = Start(Child(work, x, {work.exe}));
    bool ok = pid > 0;
    const auto start = Clock::now();
    while (ok && !RunOnce(Child(work, x, {work.exe, "--status"}), 10).ok) {
        ok = std::chrono::duration<double>(Clock::now() - start).count() < kRunBound;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double idle = ok ? ResidentMb(pid) : 0;
    std::vector<double> after;
    for (int i = 0; ok && i < 3; ++i) {
        ok = RunOnce(Child(work, x, {work.exe, "--next"}), 10).ok &&
             x.WaitForProperty("_VANTORIA_PIXMAP", pid, kRunBound);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        after.push_back(ResidentMb(pid));
    }
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        rusage usage{};
        Reap(pid, kRunBound, status, usage);
    }
    std::printf("Resident size, letter box at %s\n", size.c_str());
    if (!ok || after.empty()) {
        std::printf("  failed\n");
        return;
    }
    std::printf("  idle %5.1f MB; after each of %zu changes:", idle, after.size());
    for (const double mb : after) {
        std::printf(" %5.1f", mb);
    }
    std::printf(" MB\n");
    std::fflush(stdout);
}

std::string SelfFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    KillChildrenOnSignals();
    const int runs = RunsWanted();
    TWork work;
    work.exe = argc > 1 ? argv[1] : SelfFolder() + "/../vantoria";
    if (::access(work.exe.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "bench_wholerun: no program at %s\n", work.exe.c_str());
        return 1;
    }
    work.exe = fs::canonical(work.exe).string();
    if (!Installed("Xvfb")) {
        std::printf("bench_wholerun: Xvfb is not installed; whole runs skipped\n");
        return 0;
    }
    char pattern[] = "/tmp/vantoria-wholerun-XXXXXX";
    if (!::mkdtemp(pattern)) {
        return 1;
    }
    work.dir = pattern;
    const std::string home = work.dir + "/home";
    const std::string runtime = work.dir + "/runtime";
    fs::create_directories(home + "/.local/share");
    fs::create_directories(home + "/.cache");
    fs::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    work.env = {{"HOME", home},
                {"XDG_CONFIG_HOME", home + "/.config"},
                {"XDG_DATA_HOME", home + "/.local/share"},
                {"XDG_CACHE_HOME", home + "/.cache"},
                {"XDG_RUNTIME_DIR", runtime},
                {"QT_QPA_PLATFORM", "xcb"},
                // No session bus: the root window needs none, and none is started.
                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
                {"XDG_CURRENT_DESKTOP", std::nullopt},
                {"KDE_SESSION_VERSION", std::nullopt},
                {"SWAYSOCK", std::nullopt},
                {"WAYLAND_DISPLAY", std::nullopt},
                {"XDG_SESSION_TYPE", std::nullopt},
                {"XDG_SESSION_ID", std::nullopt},
                {"DESKTOP_SESSION", std::nullopt},
                {"QT_LOGGING_RULES", std::nullopt}};
    work.photo = work.dir + "/photo.jpg";
    if (!MakePhoto(work.photo, 6000, 4000, false, FIF_JPEG, 90) ||
        !MakePhoto(work.dir + "/small.jpg", 64, 48, false, FIF_JPEG, 90)) {
        std::fprintf(stderr, "bench_wholerun: cannot write the photographs\n");
        return 1;
    }
    std::printf(
        "Whole runs on private X servers, %d runs per row after one warm-up; 24 MP JPEG "
        "%dx%d, %.1f MB. Ratios: ours / the peer's median.\n\n",
        runs, 6000, 4000, static_cast<double>(fs::file_size(work.photo)) / 1e6);
    std::fflush(stdout);

    if (std::getenv("BENCH_STARTUP_ONLY")) {
        {
            TXServer x(1920, 1080);
            if (x.Ready()) {
                StartUpRow(work, x, runs, 100000);
                StartUpRow(work, x, runs, 100000, true);
            }
        }
        KillLive();
        std::error_code ec;
        fs::remove_all(work.dir, ec);
        return 0;
    }
    {
        TXServer x(1920, 1080);
        if (!x.Ready()) {
            std::printf("bench_wholerun: Xvfb did not start\n");
        } else {
            SlideChangeRows(work, x, runs, "1920x1080", "Centre", TSettings{1, 0, 2, {}},
                            "--bg-center", "--set-centered");
            SlideChangeRows(work, x, runs, "1920x1080", "Tile", TSettings{0, 0, 2, {}}, "--bg-tile",
                            "--set-tiled");
            HandOverRow(work, x, runs, "1920x1080");
            BlockedRow(work, x, runs, "1920x1080");
            StartUpRow(work, x, runs, 10000);
            StartUpRow(work, x, runs, 100000);
            StartUpRow(work, x, runs, 100000, true);
        }
    }
    {
        TXServer x(3840, 2160);
        if (!x.Ready()) {
            std::printf("bench_wholerun: Xvfb did not start\n");
        } else {
            SlideChangeRows(work, x, runs, "3840x2160", "letter box", TSettings{2, 1, 2, {}},
                            "--bg-max", "--set-scaled");
            HandOverRow(work, x, runs, "3840x2160");
            BlockedRow(work, x, runs, "3840x2160");
            ResidentRow(work, x, "3840x2160");
        }
    }
    KillLive();
    std::error_code ec;
    fs::remove_all(work.dir, ec);
    return 0;
}
