#pragma once

// A real desktop on a private display, for tests judged by what is on screen.
//
// One TRealDesktop is one private session: its own temporary HOME and XDG
// folders, an Xvfb display of the size asked for, a private session bus, and
// an empty private system bus for desktops that want logind. Every process it
// starts (and every process those start, bus-activated daemons included)
// carries the session's marker in its environment; the destructor stops them
// all, SIGTERM first and SIGKILL after a grace time, then the buses and Xvfb.
//
//   TRealDesktop desktop({.width = 800, .height = 600, .env = {{"XDG_CURRENT_DESKTOP", "XFCE"}}});
//   ASSERT_TRUE(desktop.Ready()) << desktop.Error();
//   desktop.Launch("openbox", {"openbox"});
//   desktop.Launch("xfdesktop", {"xfdesktop", "--sm-client-disable"});
//   ASSERT_TRUE(desktop.WaitForPixels("desktop drawn", {{400, 300, 0x00FF00}}));
//
//   desktop.WriteSettings({{"Autoplay", "dword:00000002"}, {"Style", "dword:00000002"}},
//                         {"/path/a.png"});
//   TProcessId run = desktop.StartVantoria();
//   ASSERT_TRUE(desktop.WaitForPixels("slide", {{400, 300, 0xFF0000}}));
//   ASSERT_TRUE(desktop.SendCloseRequest());
//   ASSERT_EQ(desktop.WaitForExit(run), 0);
//
// Colours are 0xRRGGBB. Every WaitForPixels prints the pixels it checked and
// what the screen showed, so the test log names them. Env() is the session's
// environment (as given to every process started); Run() runs a tool in it and
// returns its exit code and output. Logs of started processes are kept in
// LogPath(name) and printed by DumpLogs() when a test fails.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One monitor of a desk of several, in pixels, at its place on the screen.
struct TMonitorSpec {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

struct TRealDesktopOptions {
    int width = 1024;
    int height = 768;
    // An empty private system bus (allow-all policy), for desktops that give
    // up when logind's bus is missing.
    bool systemBus = false;
    // Set before the session bus starts, so bus-activated daemons see it too.
    std::map<std::string, std::string> env;
    // Non-empty: a real Xorg with the dummy video driver instead of Xvfb, one
    // RandR output per monitor ("DUMMY0" the primary, "DUMMY1"...), seen as
    // monitors by Qt and GTK alike; width and height become the box around them.
    std::vector<TMonitorSpec> monitors = {};
};

struct TPixelCheck {
    int x = 0;
    int y = 0;
    std::uint32_t colour = 0;  // 0xRRGGBB
};

struct TToolRun {
    int exitCode = -1;
    std::string out;
};

// The real program's settings under `configHome` (HKCU\Software\Vantoria
// values, right hand sides as a .reg file spells them) and, when there are
// `slides`, their playlist at `playlist`.
void WriteVantoriaSettings(const std::string& configHome, const std::string& playlist,
                           const std::vector<std::pair<std::string, std::string>>& values,
                           const std::vector<std::string>& slides);
// The program the tests run: $VANTORIA_BINARY_DIR/vantoria.
std::string VantoriaBinaryPath();

using TProcessId = pid_t;

class TRealDesktop {
public:
    explicit TRealDesktop(TRealDesktopOptions options = {});
    ~TRealDesktop();
    TRealDesktop(const TRealDesktop&) = delete;
    TRealDesktop& operator=(const TRealDesktop&) = delete;

    // False, with Error(), when the display or the buses could not start.
    bool Ready() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    const std::string& Root() const { return root_; }
    std::string Home() const { return root_ + "/home"; }
    std::string ConfigHome() const { return root_ + "/config"; }
    std::string DataHome() const { return root_ + "/data"; }
    std::string RuntimeDir() const { return root_ + "/runtime"; }
    const std::string& DisplayName() const { return display_; }
    int Width() const { return options_.width; }
    int Height() const { return options_.height; }
    // The monitors of a desk of several (empty for a single Xvfb screen).
    const std::vector<TMonitorSpec>& Monitors() const { return options_.monitors; }
    // The RandR output name of monitor `index` of such a desk.
    static std::string MonitorName(std::size_t index) { return "DUMMY" + std::to_string(index); }
    // Plugs, unplugs, resizes or moves monitors of a desk of several while it
    // runs: monitor i becomes output DUMMYi, outputs beyond the list are
    // turned off. False, with the xrandr output in Error(), when refused.
    bool SetMonitors(const std::vector<TMonitorSpec>& monitors);
    const std::map<std::string, std::string>& Env() const { return env_; }
    // Changes the environment of processes started from now on.
    void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }

    // Starts `argv` in the session, its output in LogPath(name); extra
    // variables on top of Env().
    TProcessId Launch(const std::string& name, const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& extraEnv = {});
    // Runs a tool in the session to its end (bounded by `timeoutMs`).
    TToolRun Run(const std::vector<std::string>& argv, int timeoutMs = 30000,
                 const std::map<std::string, std::string>& extraEnv = {});
    // The exit code once `pid` has ended within `timeoutMs` (-1 for a signal);
    // nothing while it still runs.
    std::optional<int> WaitForExit(TProcessId pid, int timeoutMs = 20000);
    bool Running(TProcessId pid);
    void Kill9(TProcessId pid);
    // SIGTERM, then SIGKILL after `graceMs`; waits for the end.
    void Stop(TProcessId pid, int graceMs = 3000);

    // Polls `condition` every 100 ms until it holds or `timeoutMs` passed.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs);
    std::string Log(const std::string& name) const;
    // The name a process was started under (its log's name).
    std::string NameOf(TProcessId pid) const;
    std::string LogPath(const std::string& name) const { return root_ + "/logs/" + name + ".log"; }
    bool WaitForLog(const std::string& name, const std::string& text, int timeoutMs = 30000);
    bool WaitForBusName(const std::string& busName, int timeoutMs = 30000);
    void DumpLogs() const;
    // Runs `argv` (a --version call) and prints its first line under "[version]".
    std::string PrintVersion(const std::vector<std::string>& argv);

    // The composed screen, as the root window shows it; 0xRRGGBB per pixel.
    std::optional<std::uint32_t> Pixel(int x, int y);
    // Row by row; empty when the screen cannot be read.
    std::vector<std::uint32_t> Region(int x, int y, int width, int height);
    // Waits until every point shows its colour within `tolerance` per channel,
    // and prints what was checked and seen under `what`.
    bool WaitForPixels(const std::string& what, const std::vector<TPixelCheck>& checks,
                       int timeoutMs = 20000, int tolerance = 8);
    // Whether the points show their colours now (nothing printed).
    bool Shows(const std::vector<TPixelCheck>& checks, int tolerance = 8);
    // "x,y=RRGGBB ..." of the points as the screen shows them now.
    std::string Describe(const std::vector<TPixelCheck>& checks);
    // Saves the screen as a PNG, for a look at a failure.
    bool SaveScreenshot(const std::string& path);

    // The real program: its settings (HKCU\Software\Vantoria values, right
    // hand sides as a .reg file spells them, e.g. "dword:00000002") and a
    // playlist of `slides`, written into the session's folders.
    void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                       const std::vector<std::string>& slides = {});
    std::string VantoriaPath() const;
    std::string DataFolder() const { return DataHome() + "/vantoria"; }
    std::string RecordPath() const { return DataFolder() + "/original-wallpaper"; }
    TProcessId StartVantoria(const std::map<std::string, std::string>& extraEnv = {});
    // Sends the program's close request; false when nobody listens within 20 s.
    bool SendCloseRequest();

private:
    bool StartDisplay();
    bool StartXorg(int displayFd);
    bool StartBus(const std::string& name, const std::string& config, const std::string& socket);
    void StopAll();
    std::vector<pid_t> MarkedProcesses() const;

    TRealDesktopOptions options_;
    std::string root_;
    std::string display_;
    std::string error_;
    std::map<std::string, std::string> env_;
    std::vector<std::pair<pid_t, std::string>> started_;  // in order of start
    std::map<pid_t, int> exited_;                         // reaped children
    pid_t xvfb_ = -1;
    void* x_ = nullptr;  // the session's own display connection
    int vantoriaRuns_ = 0;
};

// The environment of a Plasma 5 session on X11, rendered in software: set
// before the session bus starts, so kded5 and the other daemons it activates
// see it too.
inline std::map<std::string, std::string> PlasmaSessionEnv() {
    return {{"XDG_CURRENT_DESKTOP", "KDE"},   {"KDE_FULL_SESSION", "true"},
            {"KDE_SESSION_VERSION", "5"},     {"XDG_SESSION_TYPE", "x11"},
            {"QT_QUICK_BACKEND", "software"}, {"QT_XCB_GL_INTEGRATION", "none"}};
}

// Whether two 0xRRGGBB colours are within `tolerance` per channel.
bool NearColour(std::uint32_t a, std::uint32_t b, int tolerance);
std::string HexColour(std::uint32_t colour);
