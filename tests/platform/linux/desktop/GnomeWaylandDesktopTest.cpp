// The real GNOME Shell as a headless Wayland compositor, judged by its own
// screenshots: the program's picture replaces the desktop's, the wallpaper
// shows round the clock's face, where the pointer goes to the desktop, a
// window the shell minimised comes back on `vantoria --show` with the
// launcher's activation token, and the close request puts the original back.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdio>

#include "support/desktop/GnomeWaylandSession.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr std::uint32_t kOriginal = 0x2040C0;  // the desktop's plain colour
constexpr std::uint32_t kLeft = 0xD02020;      // the slide's left half
constexpr std::uint32_t kRight = 0x20A040;     // and its right half

// The slide's colour at x, as stretched over the screen.
std::uint32_t SlideAt(int x) {
    return x < kWidth / 2 ? kLeft : kRight;
}

struct TShellWindow {
    int x = 0, y = 0, width = 0, height = 0;
    bool minimised = false;
};

// The window of ours the shell shows under `title`, as the shell sees it.
std::optional<TShellWindow> ShellWindow(TGnomeWaylandSession& gnome, const std::string& title) {
    const auto found = gnome.Eval(
        "(() => { const w = global.get_window_actors().map(a => a.meta_window)"
        ".find(w => w.title === \"" +
        title +
        "\" && w.get_pid() > 0); if (!w) return []; const r = w.get_frame_rect(); "
        "return [r.x, r.y, r.width, r.height, w.minimized ? 1 : 0]; })()");
    TShellWindow w;
    int minimised = 0;
    if (!found || std::sscanf(found->c_str(), "[%d,%d,%d,%d,%d]", &w.x, &w.y, &w.width, &w.height,
                              &minimised) != 5) {
        return std::nullopt;
    }
    w.minimised = minimised != 0;
    std::printf("[window] %s: %d,%d %dx%d%s\n", title.c_str(), w.x, w.y, w.width, w.height,
                w.minimised ? " minimised" : "");
    return w;
}

// A token as the shell's launcher hands one to the program it starts (the
// launch context of the dash and the app grid).
std::string LauncherToken(TGnomeWaylandSession& gnome) {
    const auto token = gnome.Eval(
        "global.create_app_launch_context(global.display.get_current_time_roundtrip(), -1)"
        ".get_startup_notify_id(imports.gi.Gio.AppInfo.create_from_commandline(\"vantoria\", "
        "\"Vantoria\", 0), [])");
    return token && token->size() > 2 ? token->substr(1, token->size() - 2) : std::string();
}

// The title of the window the shell hands pointer input at x, y to, as its
// pick finds it; empty for the desktop.
std::string InputAt(TGnomeWaylandSession& gnome, int x, int y) {
    const auto title = gnome.Eval(
        "(() => { let a = global.stage.get_actor_at_pos(imports.gi.Clutter.PickMode.REACTIVE, " +
        std::to_string(x) + ", " + std::to_string(y) +
        "); while (a && !(a instanceof imports.gi.Meta.WindowActor)) a = a.get_parent(); "
        "return a ? a.meta_window.title : \"\"; })()");
    const std::string seen = title ? *title : "no answer";
    std::printf("[input] %d,%d goes to %s\n", x, y, seen.c_str());
    return seen;
}

}  // namespace

TEST(GnomeWaylandDesktopTest, WallpaperClockAndShowAfterMinimising) {
    TGnomeWaylandSession gnome(kWidth, kHeight,
                               {{"org.gnome.desktop.background", "picture-options", "none"},
                                {"org.gnome.desktop.background", "primary-color", "#2040c0"}});
    ASSERT_TRUE(gnome.Ready()) << gnome.Error();
    // On failure, however it ends: the screen and the logs.
    struct TReport {
        TGnomeWaylandSession& gnome;
        ~TReport() {
            if (::testing::Test::HasFailure()) {
                gnome.Shot().save(
                    QString::fromStdString(::testing::TempDir() + "gnome-wayland-failure.png"));
                std::printf("--- vantoria\n%s--- gnome-shell\n%s", gnome.Log("vantoria").c_str(),
                            gnome.Log("gnome-shell").c_str());
            }
        }
    } report{gnome};
    std::printf("[version] %s", gnome.Run({"gnome-shell", "--version"}).out.c_str());
    std::printf("[version] Qt %s\n", qVersion());
    ASSERT_TRUE(gnome.WaitForPixels("the original", {{kWidth / 4, kHeight / 2, kOriginal},
                                                     {3 * kWidth / 4, kHeight / 2, kOriginal}}));

    // Started without a tray to go to: the window minimised, the slide
    // stretched over the screen, the clock shown.
    QImage slide(64, 32, QImage::Format_RGB32);
    slide.fill(QColor::fromRgb(kRight));
    QPainter(&slide).fillRect(0, 0, 32, 32, QColor::fromRgb(kLeft));
    const std::string path = gnome.Root() + "/slide.png";
    ASSERT_TRUE(slide.save(QString::fromStdString(path)));
    gnome.WriteSettings({{"Autoplay", "dword:00000002"},
                         {"Style", "dword:00000002"},
                         {"Current", "dword:00000000"},
                         {"ShowClock", "dword:00000001"}},
                        {path});
    const std::map<std::string, std::string> wayland{{"QT_QPA_PLATFORM", "wayland"}};
    gnome.Launch("vantoria", {TGnomeWaylandSession::VantoriaPath()}, wayland);
    EXPECT_TRUE(gnome.WaitForPixels(
        "the slide", {{kWidth / 4, kHeight / 2, kLeft}, {3 * kWidth / 4, kHeight / 2, kRight}}));

    // The clock where the shell put it: its face drawn, the wallpaper in the
    // corners of its square.
    std::optional<TShellWindow> clock;
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] { return (clock = ShellWindow(gnome, "Clock")).has_value(); }, 15000))
        << gnome.Log("vantoria");
    const int right = clock->x + clock->width - 4, bottom = clock->y + clock->height - 4;
    EXPECT_TRUE(gnome.WaitForPixels("the clock's face",
                                    {{clock->x + clock->width / 2, clock->y + clock->height / 4,
                                      SlideAt(clock->x + clock->width / 2)}},
                                    true));
    EXPECT_TRUE(gnome.WaitForPixels("round the clock's face",
                                    {{clock->x + 3, clock->y + 3, SlideAt(clock->x + 3)},
                                     {right, clock->y + 3, SlideAt(right)},
                                     {clock->x + 3, bottom, SlideAt(clock->x + 3)},
                                     {right, bottom, SlideAt(right)}}));

    // The pointer reaches the clock on its face only.
    EXPECT_EQ(InputAt(gnome, clock->x + clock->width / 2, clock->y + clock->height / 2),
              "\"Clock\"");
    for (const auto& [x, y] : {std::pair{clock->x + 3, clock->y + 3}, {right, bottom}}) {
        EXPECT_EQ(InputAt(gnome, x, y), "\"\"");
    }

    // Shown with the launcher's token, minimised by the shell, and shown
    // again: the same window, drawn where it was.
    ASSERT_EQ(gnome
                  .Run({TGnomeWaylandSession::VantoriaPath(), "--show"}, 20000,
                       {{"XDG_ACTIVATION_TOKEN", LauncherToken(gnome)}})
                  .exitCode,
              0);
    std::optional<TShellWindow> main;
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] { return (main = ShellWindow(gnome, "Vantoria")) && !main->minimised; }, 15000));
    // Points of the window clear of the clock, which it may overlap.
    std::vector<TPixelCheck> window, slideThere;
    for (const auto& [x, y] : {std::pair{main->x + 20, main->y + 10},
                               {main->x + main->width - 20, main->y + 10},
                               {main->x + 20, main->y + main->height - 10},
                               {main->x + main->width - 20, main->y + main->height - 10}}) {
        if (x < clock->x - 2 || x > clock->x + clock->width + 2 || y < clock->y - 2 ||
            y > clock->y + clock->height + 2) {
            window.push_back({x, y, 0});
            slideThere.push_back({x, y, SlideAt(x)});
        }
    }
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(gnome.WaitForPixels("the window shown", slideThere, true));
    const QImage shown = gnome.Shot();
    for (TPixelCheck& c : window) {
        c.colour = shown.pixel(c.x, c.y) & 0xFFFFFFu;
    }
    ASSERT_TRUE(
        gnome.Eval("global.get_window_actors().map(a => a.meta_window)"
                   ".find(w => w.title === \"Vantoria\").minimize()"));
    ASSERT_TRUE(gnome.WaitForPixels("minimised by the shell: the slide", slideThere));
    const TToolRun show = gnome.Run({TGnomeWaylandSession::VantoriaPath(), "--show"}, 20000,
                                    {{"XDG_ACTIVATION_TOKEN", LauncherToken(gnome)}});
    EXPECT_EQ(show.exitCode, 0) << show.out;
    EXPECT_TRUE(gnome.WaitForPixels("the window back after --show", window));
    const auto back = ShellWindow(gnome, "Vantoria");
    EXPECT_TRUE(back && !back->minimised);

    // The close request puts the desktop's own colour back.
    EXPECT_EQ(gnome.Run({TGnomeWaylandSession::VantoriaPath(), "--quit"}, 30000).exitCode, 0);
    EXPECT_TRUE(gnome.WaitForPixels(
        "the original back",
        {{kWidth / 4, kHeight / 2, kOriginal}, {3 * kWidth / 4, kHeight / 2, kOriginal}}));
}
