// The real program on desktops without a tray, as most people log into today:
// a second start brings the running window back to the front.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "support/desktop/RealDesktop.h"

namespace {

constexpr std::uint32_t kOriginal = 0x2040C0;  // the desktop's plain colour
constexpr std::uint32_t kCover = 0xFF8000;     // a window put over ours

// The window of `program`'s process, and where it is on the screen.
struct TWindow {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
};
TWindow FindWindow(TRealDesktop& d, TProcessId program) {
    TWindow w;
    const TToolRun found = d.Run(
        {"xdotool", "search", "--sync", "--onlyvisible", "--pid", std::to_string(program)}, 20000);
    w.id = found.out.substr(0, found.out.find('\n'));
    std::istringstream shell(d.Run({"xdotool", "getwindowgeometry", "--shell", w.id}).out);
    const std::map<std::string, int*> fields{
        {"X", &w.x}, {"Y", &w.y}, {"WIDTH", &w.width}, {"HEIGHT", &w.height}};
    for (std::string line; std::getline(shell, line);) {
        const std::size_t eq = line.find('=');
        if (const auto it = fields.find(line.substr(0, eq)); it != fields.end()) {
            *it->second = std::atoi(line.c_str() + eq + 1);
        }
    }
    return w;
}

}  // namespace

// Stock GNOME (X11, no tray extension): the window minimised and covered by
// another comes back mapped and on top when Vantoria is started again, and
// that start ends; one instance all along.
TEST(ReachableWithoutTrayTest, StockGnomeSecondStartBringsTheWindowBack) {
    TRealDesktop d({.width = 800,
                    .height = 600,
                    .systemBus = true,
                    .env = {{"XDG_CURRENT_DESKTOP", "GNOME"}, {"XDG_SESSION_TYPE", "x11"}}});
    ASSERT_TRUE(d.Ready()) << d.Error();
    d.PrintVersion({"gnome-shell", "--version"});
    const char* bg = "org.gnome.desktop.background";
    for (const auto& [key, value] :
         {std::pair{"picture-options", "'none'"}, {"primary-color", "'#2040c0'"}}) {
        ASSERT_EQ(d.Run({"gsettings", "set", bg, key, value}).exitCode, 0) << key;
    }
    d.Launch("gnome-shell", {"gnome-shell", "--x11"});
    ASSERT_TRUE(d.WaitForLog("gnome-shell", "GNOME Shell started", 60000)) << (d.DumpLogs(), "");
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            d.Run({"gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell",
                   "-m", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive",
                   "<false>"});
            return d.Shows({{400, 300, kOriginal}});
        },
        30000))
        << "gnome-shell never left its overview";

    d.WriteSettings({{"Autoplay", "dword:00000000"}, {"ShowClock", "dword:00000000"}});
    const TProcessId first = d.StartVantoria();
    const TWindow w = FindWindow(d, first);
    ASSERT_GT(w.width, 100) << "no window of Vantoria: " << w.id;
    // The window's own look at four points: its caption bar and its page.
    std::vector<TPixelCheck> window{{w.x + 100, w.y + 10, 0},
                                    {w.x + w.width - 60, w.y + 10, 0},
                                    {w.x + 30, w.y + 60, 0},
                                    {w.x + w.width - 30, w.y + 60, 0}};
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            return !d.Shows({{w.x + 100, w.y + 10, kOriginal}});
        },
        20000));
    for (TPixelCheck& c : window) {
        c.colour = d.Pixel(c.x, c.y).value_or(kOriginal);
        ASSERT_FALSE(NearColour(c.colour, kOriginal, 8)) << "window not drawn at " << c.x;
    }
    ASSERT_TRUE(d.WaitForPixels("the window at start", window));

    // Minimised with no tray to go to: an ordinary minimised window.
    ASSERT_EQ(d.Run({d.VantoriaPath(), "--hide"}).exitCode, 0);
    EXPECT_NE(d.Run({d.VantoriaPath(), "--status"}).out.find("window=minimised\n"),
              std::string::npos);
    std::vector<TPixelCheck> gone = window;
    for (TPixelCheck& c : gone)
        c.colour = kOriginal;
    ASSERT_TRUE(d.WaitForPixels("minimised: the desktop where the window was", gone));
    // Another window over its place.
    d.Launch("cover", {"xmessage", "-bg", "#ff8000", "-geometry", "800x600+0+0", "cover"});
    for (TPixelCheck& c : gone)
        c.colour = kCover;
    ASSERT_TRUE(d.WaitForPixels("another window over its place", gone));

    // Started again: the same window comes back on top, and this start ends.
    const TToolRun second = d.Run({d.VantoriaPath()}, 40000);
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_TRUE(d.WaitForPixels("the window back on top after a second start", window));
    EXPECT_NE(d.Run({"xwininfo", "-id", w.id}).out.find("Map State: IsViewable"),
              std::string::npos);
    EXPECT_NE(d.Run({d.VantoriaPath(), "--status"}).out.find("window=shown\n"), std::string::npos);
    EXPECT_TRUE(d.Running(first));

    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(first), 0);
    if (::testing::Test::HasFailure()) {
        d.DumpLogs();
    }
}
