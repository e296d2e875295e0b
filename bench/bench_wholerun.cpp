// Whole runs of the program on a plain X11 root, each on a private X server,
// against the usual root setters drawing the same picture:
//
//   - one slide change as a user gets it: start, show one picture, orderly
//     end putting the original back; every mode (Centre, Tile, Stretch,
//     letter box, Zoom) at 1920x1080 and 3840x2160, for a 24 MP JPEG, a 2 MP
//     JPEG and an 8 MP PNG, both on a cleared root and on a root that already
//     has a wallpaper, against feh, nitrogen, xwallpaper and hsetroot in the
//     same mode (whole processes, alternated). In each row's first round the
//     root's picture of every peer is compared with ours; a peer that draws
//     another picture (nitrogen and hsetroot tile a large photo their own way)
//     is left out of the row with a note;
//   - one change inside a running instance: the instance's CPU across ten
//     `vantoria --next` divided by ten (from /proc/PID/stat), on a private X
//     server of its own, against one whole run of each peer;
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
// BENCH_RUNS sets the runs per row (default 1), BENCH_ONLY the rows that run
// (parts of their titles, see RowWanted); BENCH_STARTUP_ONLY=1 runs only the
// 100,000-picture start-up rows. Every child has a time bound,
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
        // Killing what a setter left may find it gone already: no matter.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
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

    // No setter's picture on the root: what the last ones left is freed and
    // nothing is advertised, so that every run starts from the same root.
    void ClearRoot() {
        Display* d = display_;
        const Window root = DefaultRootWindow(d);
        // The convention of setters: a pixmap advertised under both names
        // belongs to a client that retains it, and whoever replaces it kills it.
        const Pixmap left = PixmapProperty("_XROOTPMAP_ID");
        if (left != None && left == PixmapProperty("ESETROOT_PMAP_ID")) {
            XKillClient(d, left);  // errors (gone already) are ignored
        }
        for (const char* name :
             {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID", "_VANTORIA_PIXMAP", "_VANTORIA_WALLPAPER"}) {
            XDeleteProperty(d, root, XInternAtom(d, name, False));
        }
        XSetWindowBackgroundPixmap(d, root, None);
        XClearWindow(d, root);
        XSync(d, True);  // and forget the notices of it
    }

    // A wallpaper already on the root, as a setter leaves it: a pixmap of a
    // client that retains it, set as the background and advertised.
    void PutWallpaper() {
        ClearRoot();
        Display* w = XOpenDisplay(name_.c_str());
        if (!w) {
            return;
        }
        const int screen = DefaultScreen(w);
        const Window root = RootWindow(w, screen);
        const int width = DisplayWidth(w, screen), height = DisplayHeight(w, screen);
        XSetCloseDownMode(w, RetainPermanent);
        const Pixmap pixmap = XCreatePixmap(w, root, width, height, DefaultDepth(w, screen));
        GC gc = XCreateGC(w, pixmap, 0, nullptr);
        XSetForeground(w, gc, 0x336699);
        XFillRectangle(w, pixmap, gc, 0, 0, width, height);
        XSetForeground(w, gc, 0xc08040);
        XFillRectangle(w, pixmap, gc, width / 4, height / 4, width / 2, height / 2);
        XFreeGC(w, gc);
        for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
            XChangeProperty(w, root, XInternAtom(w, name, False), XA_PIXMAP, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pixmap), 1);
        }
        XSetWindowBackgroundPixmap(w, root, pixmap);
        XClearWindow(w, root);
        XCloseDisplay(w);
        XSync(display_, True);
    }

    // What the root's advertised pixmap shows, in cells of kCellsX x kCellsY:
    // the mean of each colour of each cell (0..255); empty when there is none.
    std::vector<double> RootThumbnail() {
        std::vector<double> cells;
        Display* d = display_;
        const Pixmap pixmap = PixmapProperty("_XROOTPMAP_ID");
        if (pixmap == None) {
            return cells;
        }
        const int width = DisplayWidth(d, DefaultScreen(d));
        const int height = DisplayHeight(d, DefaultScreen(d));
        XImage* image = XGetImage(d, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        XSync(d, False);
        if (!image) {
            return cells;
        }
        if (image->bits_per_pixel == 32) {
            cells.assign(kCellsX * kCellsY * 3, 0.0);
            for (int y = 0; y < height; ++y) {
                const auto* line =
                    reinterpret_cast<const std::uint32_t*>(image->data + y * image->bytes_per_line);
                const int cy = y * kCellsY / height;
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t p = line[x];
                    double* cell = &cells[(cy * kCellsX + x * kCellsX / width) * 3];
                    cell[0] += (p >> 16) & 0xff;
                    cell[1] += (p >> 8) & 0xff;
                    cell[2] += p & 0xff;
                }
            }
            for (int cy = 0; cy < kCellsY; ++cy) {
                const int rows = (cy + 1) * height / kCellsY - cy * height / kCellsY;
                for (int cx = 0; cx < kCellsX; ++cx) {
                    const int columns = (cx + 1) * width / kCellsX - cx * width / kCellsX;
                    for (int c = 0; c < 3; ++c) {
                        cells[(cy * kCellsX + cx) * 3 + c] /= static_cast<double>(rows) * columns;
                    }
                }
            }
        }
        XDestroyImage(image);
        return cells;
    }

    static constexpr int kCellsX = 48, kCellsY = 27;

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

// The root a run starts from.
enum class TRoot { Cleared, Wallpaper };

void PrepareRoot(TXServer& x, TRoot root) {
    if (root == TRoot::Wallpaper) {
        x.PutWallpaper();
    } else {
        x.ClearRoot();
    }
}

// One whole run of the program: it ends (SIGTERM, its orderly end) once the
// root shows its picture; `shown` gets that picture's cells when asked for.
TRun RunVantoria(const TWork& work, TXServer& x, const TSettings& settings, TRoot root,
                 std::vector<double>* shown = nullptr, const std::string& log = "/dev/null") {
    WriteSettings(work, settings);
    PrepareRoot(x, root);
    const auto start = Clock::now();
    const pid_t pid = Start(Child(work, x, {work.exe}, log));
    if (pid < 0) {
        return {};
    }
    const bool painted = x.WaitForProperty("_VANTORIA_PIXMAP", pid, kRunBound);
    if (painted && shown) {
        *shown = x.RootThumbnail();
    }
    if (painted) {
        ::kill(pid, SIGTERM);
    }
    int status = 0;
    rusage usage{};
    const bool reaped = Reap(pid, painted ? kRunBound : 0, status, usage);
    return Measured(painted && reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0, usage,
                    start);
}

TRun RunPeer(const TWork& work, TXServer& x, const std::vector<std::string>& argv, TRoot root,
             std::vector<double>* shown = nullptr) {
    PrepareRoot(x, root);
    TRun run = RunOnce(Child(work, x, argv), kRunBound);
    if (shown) {
        *shown = x.RootThumbnail();
    }
    return run;
}

// A mode as the program's settings give it and as each peer's option asks
// for the same picture.
struct TMode {
    const char* name;
    int style;  // 0 tile, 1 centre, 2 stretch
    int fit;    // 0 stretch, 1 letter box, 2 zoom
    const char* feh;
    const char* nitrogen;
    const char* xwallpaper;
    const char* hsetroot;
};

constexpr TMode kModes[] = {
    {"Centre", 1, 0, "--bg-center", "--set-centered", "--center", "-center"},
    {"Tile", 0, 0, "--bg-tile", "--set-tiled", "--tile", "-tile"},
    {"Stretch", 2, 0, "--bg-scale", "--set-scaled", "--stretch", "-fill"},
    {"letter box", 2, 1, "--bg-max", "--set-zoom", "--maximize", "-full"},
    {"Zoom", 2, 2, "--bg-fill", "--set-zoom-fill", "--zoom", "-cover"},
};

struct TInput {
    std::string name;
    std::string path;
};

// A peer's command line for `mode` showing `file`.
struct TPeer {
    std::string program;
    std::function<std::vector<std::string>(const TMode&, const std::string&)> argv;
};

std::vector<TPeer> Peers() {
    return {
        {"feh",
         [](const TMode& m, const std::string& f) -> std::vector<std::string> {
             return {"feh", "--no-fehbg", m.feh, f};
         }},
        {"nitrogen",
         [](const TMode& m, const std::string& f) -> std::vector<std::string> {
             return {"nitrogen", "--force-setter=xwindows", m.nitrogen, f};
         }},
        {"xwallpaper",
         [](const TMode& m, const std::string& f) -> std::vector<std::string> {
             return {"xwallpaper", m.xwallpaper, f};
         }},
        {"hsetroot",
         [](const TMode& m, const std::string& f) -> std::vector<std::string> {
             return {"hsetroot", m.hsetroot, f};
         }},
    };
}

std::string Joined(const std::vector<std::string>& argv, std::size_t from, std::size_t count) {
    std::string text;
    for (std::size_t i = from; i < argv.size() && i < from + count; ++i) {
        text += (text.empty() ? "" : " ") + argv[i];
    }
    return text;
}

// Mean difference (0..255) of two pictures' cells; a large value when one
// of them could not be read.
double Difference(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || a.size() != b.size()) {
        return 255;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(a[i] - b[i]);
    }
    return sum / static_cast<double>(a.size());
}

// A peer draws the same picture when its cells differ from ours by at most
// this on average: resampling filters and JPEG decoders differ by a level or
// two; another placement, scale or band differs by tens.
constexpr double kSamePicture = 6;

// The peers that drew another picture than ours, by row ("Tile 1920x1080
// 24 MP JPEG"), for the per-change rows.
using TLeftOut = std::map<std::string, std::vector<std::string>>;

// One row: whole runs of ours on a cleared root and on a root with a
// wallpaper, and of every installed peer on a root with a wallpaper (a
// peer's cost does not depend on what was there: it only frees the old
// pixmap), `runs` rounds alternated; the first round also compares the
// pictures. Ratios are given for both of our runs.
void WholeRunRow(const TWork& work, TXServer& x, int runs, const TMode& mode, const TInput& input,
                 TLeftOut& leftOut) {
    const std::string size = std::to_string(DisplayWidth(x.Dpy(), DefaultScreen(x.Dpy()))) + "x" +
                             std::to_string(DisplayHeight(x.Dpy(), DefaultScreen(x.Dpy())));
    const std::string row = std::string(mode.name) + " " + size + " " + input.name;
    if (!RowWanted("Whole run, " + row)) {
        return;
    }
    TSettings settings{mode.style, mode.fit, 2, work.dir + "/one-" + input.name + ".vpl"};
    WritePlaylist(settings.playlist, {input.path});
    std::vector<std::string> names{"vantoria, cleared root", "vantoria, root with a wallpaper"};
    std::vector<std::function<TRun(std::vector<double>*)>> runners{
        [&](std::vector<double>* shown) {
            return RunVantoria(work, x, settings, TRoot::Cleared, shown);
        },
        [&](std::vector<double>*) { return RunVantoria(work, x, settings, TRoot::Wallpaper); }};
    std::vector<std::string> notes;
    for (const TPeer& peer : Peers()) {
        if (!Installed(peer.program)) {
            notes.push_back(peer.program + " is not installed");
            continue;
        }
        const std::vector<std::string> argv = peer.argv(mode, input.path);
        names.push_back(Joined(argv, 0, argv.size() - 1));
        runners.push_back([&work, &x, argv](std::vector<double>* shown) {
            return RunPeer(work, x, argv, TRoot::Wallpaper, shown);
        });
    }
    std::vector<std::vector<TRun>> results(runners.size());
    std::vector<bool> kept(runners.size(), true);
    for (int round = 0; round < runs; ++round) {
        std::vector<double> ours;
        for (std::size_t i = 0; i < runners.size(); ++i) {
            if (!kept[i]) {
                continue;
            }
            std::vector<double> shown;
            results[i].push_back(runners[i](round == 0 ? &shown : nullptr));
            if (round > 0 || i == 1) {
                continue;
            }
            if (i == 0) {
                ours = shown;
                continue;
            }
            const double difference = Difference(ours, shown);
            if (!ours.empty() && difference > kSamePicture) {
                kept[i] = false;
                char note[200];
                std::snprintf(note, sizeof note,
                              "%s left out: it draws another picture (cells differ by %.0f/255)",
                              names[i].c_str(), difference);
                notes.push_back(note);
                leftOut[row].push_back(names[i]);
            }
        }
    }
    std::printf("Whole run, %s (peers on a root with a wallpaper)\n", row.c_str());
    std::printf("  %-46s %13s %13s %15s %s\n", "", "CPU s med/min", "wall s med/min",
                "peak MB med/min", "ours/this CPU,peak: cleared | with wallpaper");
    const TStats cleared = Summarise(results[0]);
    const TStats papered = Summarise(results[1]);
    for (std::size_t i = 0; i < runners.size(); ++i) {
        if (!kept[i]) {
            continue;
        }
        const TStats s = Summarise(results[i]);
        if (s.runs == 0) {
            std::printf("  %-46s failed in every run\n", names[i].c_str());
            continue;
        }
        char ratio[96] = "";
        if (i > 1 && cleared.runs > 0 && papered.runs > 0) {
            std::snprintf(ratio, sizeof ratio, "%5.2fx %5.2fx | %5.2fx %5.2fx",
                          cleared.cpuMedian / s.cpuMedian, cleared.peakMedian / s.peakMedian,
                          papered.cpuMedian / s.cpuMedian, papered.peakMedian / s.peakMedian);
        }
        std::printf("  %-46s %6.3f %6.3f %6.3f %6.3f %7.1f %7.1f %s%s\n", names[i].c_str(),
                    s.cpuMedian, s.cpuMin, s.wallMedian, s.wallMin, s.peakMedian, s.peakMin, ratio,
                    s.failed ? " (some runs failed)" : "");
    }
    for (const std::string& note : notes) {
        std::printf("  (%s)\n", note.c_str());
    }
    std::fflush(stdout);
}

// The peers' rows left out of `row`, by command line.
bool LeftOut(const TLeftOut& leftOut, const std::string& row, const std::string& name) {
    const auto found = leftOut.find(row);
    return found != leftOut.end() &&
           std::find(found->second.begin(), found->second.end(), name) != found->second.end();
}

long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = -1, stime = -1;
    for (int n = 3; fields >> field; ++n) {  // field 3 is the state
        if (n == 14) {
            utime = std::atol(field.c_str());
        } else if (n == 15) {
            stime = std::atol(field.c_str());
            break;
        }
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

double StatusMb(pid_t pid, const char* key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atof(line.c_str() + std::strlen(key)) / 1024.0;
        }
    }
    return 0;
}

// One change inside a running instance on a server of its own (`own`): the
// instance's CPU across ten `vantoria --next` divided by ten, its peak
// resident so far, against one whole run of each peer on `x` (a root with a
// wallpaper), alternated round by round.
void PerChangeRow(const TWork& work, TXServer& own, TXServer& x, int runs, const TMode& mode,
                  const TInput& input, const TLeftOut& leftOut) {
    constexpr int kChanges = 10;
    const std::string size = std::to_string(DisplayWidth(x.Dpy(), DefaultScreen(x.Dpy()))) + "x" +
                             std::to_string(DisplayHeight(x.Dpy(), DefaultScreen(x.Dpy())));
    const std::string row = std::string(mode.name) + " " + size + " " + input.name;
    const std::string title = "One change inside a running instance, " + row +
                              " (ours: CPU of 10 changes / 10, peak resident of the instance)";
    if (!RowWanted(title)) {
        return;
    }
    TSettings settings{mode.style, mode.fit, 2, work.dir + "/changes-" + input.name + ".vpl"};
    std::vector<std::string> list;
    for (int i = 0; i < 2; ++i) {
        const std::string name = work.dir + "/change-" + std::to_string(i) + "-" +
                                 fs::path(input.path).filename().string();
        ::link(input.path.c_str(), name.c_str());
        list.push_back(name);
    }
    WritePlaylist(settings.playlist, list);
    WriteSettings(work, settings);
    own.ClearRoot();
    const pid_t pid = Start(Child(work, own, {work.exe}));
    bool ok = pid > 0 && own.WaitForProperty("_VANTORIA_PIXMAP", pid, kRunBound);
    std::vector<std::string> names{"vantoria --next (one change)"};
    std::vector<std::vector<std::string>> peers;
    std::vector<std::string> notes;
    for (const TPeer& peer : Peers()) {
        if (!Installed(peer.program)) {
            continue;
        }
        const std::vector<std::string> argv = peer.argv(mode, input.path);
        const std::string name = Joined(argv, 0, argv.size() - 1);
        if (LeftOut(leftOut, row, name)) {
            notes.push_back(name + " left out: it draws another picture");
            continue;
        }
        names.push_back(name + " (whole run)");
        peers.push_back(argv);
    }
    std::vector<std::vector<TRun>> results(names.size());
    const long hz = ::sysconf(_SC_CLK_TCK);
    for (int round = 0; ok && round < runs; ++round) {
        const long before = CpuTicks(pid);
        const auto start = Clock::now();
        for (int i = 0; ok && i < kChanges; ++i) {
            ok = RunOnce(Child(work, own, {work.exe, "--next"}), kRunBound).ok;
        }
        const long after = CpuTicks(pid);
        TRun change;
        change.ok = ok && before >= 0 && after >= before;
        change.cpu = static_cast<double>(after - before) / static_cast<double>(hz) / kChanges;
        change.wall = std::chrono::duration<double>(Clock::now() - start).count() / kChanges;
        change.peakMb = StatusMb(pid, "VmHWM:");
        results[0].push_back(change);
        for (std::size_t p = 0; p < peers.size(); ++p) {
            results[p + 1].push_back(RunPeer(work, x, peers[p], TRoot::Wallpaper));
        }
    }
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        rusage usage{};
        Reap(pid, kRunBound, status, usage);
    }
    if (!ok) {
        std::printf("%s\n  failed\n", title.c_str());
    } else {
        PrintComparison(title, names, results);
    }
    for (const std::string& note : notes) {
        std::printf("  (%s)\n", note.c_str());
    }
    std::fflush(stdout);
}

// The hand-over alone: the back-end paints a picture composed beforehand;
// the floor fills one pixmap of the screen's size on a fresh connection.
void HandOverRow(const TWork& work, TXServer& x, int runs, const std::string& size) {
    const std::string title =
        "Hand-over of a composed picture to the X root at " + size + " (in-process, alternated)";
    if (!RowWanted(title)) {
        return;
    }
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
    std::printf("%s\n", title.c_str());
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
    const std::string title =
        followed ? "Start-up with a followed folder of " + std::to_string(entries) +
                       " pictures (first answer to --status)"
                 : "Start-up with " + std::to_string(entries) +
                       " playlist entries (first answer to --status)";
    if (!RowWanted(title)) {
        return;
    }
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
    std::printf("%s\n", title.c_str());
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
    const std::string title = "Main thread held up per change, letter box at " + size;
    if (!RowWanted(title)) {
        return;
    }
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
    std::printf("%s\n", title.c_str());
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
    const std::vector<TInput> inputs{{"24 MP JPEG", work.photo},
                                     {"2 MP JPEG", work.dir + "/photo2.jpg"},
                                     {"8 MP PNG", work.dir + "/photo8.png"}};
    if (!MakePhoto(work.photo, 6000, 4000, false, FIF_JPEG, 90) ||
        !MakePhoto(inputs[1].path, 1728, 1152, false, FIF_JPEG, 90) ||
        !MakePhoto(inputs[2].path, 3456, 2304, false, FIF_PNG, PNG_DEFAULT) ||
        !MakePhoto(work.dir + "/small.jpg", 64, 48, false, FIF_JPEG, 90)) {
        std::fprintf(stderr, "bench_wholerun: cannot write the photographs\n");
        return 1;
    }
    std::printf(
        "Whole runs on private X servers, %d runs per row, alternated; inputs 24 MP JPEG "
        "6000x4000 (%.1f MB), 2 MP JPEG 1728x1152 (%.1f MB), 8 MP PNG 3456x2304 (%.1f MB). "
        "Ratios: ours / the peer's median.\n\n",
        runs, static_cast<double>(fs::file_size(work.photo)) / 1e6,
        static_cast<double>(fs::file_size(inputs[1].path)) / 1e6,
        static_cast<double>(fs::file_size(inputs[2].path)) / 1e6);
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
    const std::pair<int, int> sizes[] = {{1920, 1080}, {3840, 2160}};
    for (const auto& [width, height] : sizes) {
        TXServer x(width, height);
        TXServer own(width, height);
        if (!x.Ready() || !own.Ready()) {
            std::printf("bench_wholerun: Xvfb did not start\n");
            continue;
        }
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        TLeftOut leftOut;
        // One uncounted run per input first, so that every row finds the
        // files and the programs in the page cache.
        for (const TInput& input : inputs) {
            RunVantoria(work, x,
                        TSettings{2, 1, 2,
                                  [&] {
                                      const std::string list =
                                          work.dir + "/warm-" + input.name + ".vpl";
                                      WritePlaylist(list, {input.path});
                                      return list;
                                  }()},
                        TRoot::Cleared);
        }
        for (const TInput& input : inputs) {
            for (const TMode& mode : kModes) {
                WholeRunRow(work, x, runs, mode, input, leftOut);
            }
        }
        for (const TMode& mode : kModes) {
            PerChangeRow(work, own, x, runs, mode, inputs[0], leftOut);
        }
        HandOverRow(work, x, runs, size);
        BlockedRow(work, x, runs, size);
        if (width == 1920) {
            StartUpRow(work, x, runs, 10000);
            StartUpRow(work, x, runs, 100000);
            StartUpRow(work, x, runs, 100000, true);
        }
    }
    KillLive();
    std::error_code ec;
    fs::remove_all(work.dir, ec);
    return 0;
}
