#include <gtest/gtest.h>

#include "platform/linux/desktop/DesktopDetection.h"
#include "platform/linux/desktop/LinuxDesktopBackends.h"

namespace {

struct TDetectionCase {
    TEnvironment env;
    TDesktopKind kind;
};

}  // namespace

TEST(DesktopDetectionTest, TableOfSessions) {
    using K = TDesktopKind;
    const TDetectionCase cases[] = {
        {{{"XDG_CURRENT_DESKTOP", "GNOME"}, {"WAYLAND_DISPLAY", "wayland-0"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}, {"DISPLAY", ":0"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "Unity"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "GNOME-Flashback:GNOME"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}, K::Cinnamon},
        {{{"XDG_CURRENT_DESKTOP", "MATE"}}, K::Mate},
        {{{"XDG_CURRENT_DESKTOP", "KDE"}, {"KDE_SESSION_VERSION", "6"}}, K::Kde},
        {{{"KDE_SESSION_VERSION", "5"}, {"DISPLAY", ":0"}}, K::Kde},
        {{{"XDG_CURRENT_DESKTOP", "XFCE"}}, K::Xfce},
        {{{"XDG_CURRENT_DESKTOP", "LXQt"}, {"DISPLAY", ":0"}}, K::Lxqt},
        {{{"XDG_CURRENT_DESKTOP", "lxqt:openbox"}, {"WAYLAND_DISPLAY", "wayland-0"}}, K::Lxqt},
        {{{"XDG_CURRENT_DESKTOP", "sway"}, {"WAYLAND_DISPLAY", "wayland-1"}}, K::Sway},
        {{{"SWAYSOCK", "/run/user/1000/sway-ipc.sock"}, {"WAYLAND_DISPLAY", "wayland-1"}}, K::Sway},
        // The first known name of the list wins; unknown ones are skipped.
        {{{"XDG_CURRENT_DESKTOP", "Pantheon:GNOME"}}, K::Gnome},
        {{{"XDG_CURRENT_DESKTOP", "kde:xfce"}}, K::Kde},
        {{{"XDG_CURRENT_DESKTOP", "i3"}, {"DISPLAY", ":1"}}, K::X11},
        {{{"DISPLAY", ":0"}}, K::X11},
        // A desktop of its own that is not supported covers the root window.
        {{{"XDG_CURRENT_DESKTOP", "Enlightenment"}, {"DISPLAY", ":0"}}, K::Unknown},
        // Any other Wayland compositor gets this program's own layer-shell
        // surfaces; nothing paints an X root window that anyone sees there.
        {{{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"WAYLAND_DISPLAY", "wayland-1"}}, K::LayerShell},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, K::LayerShell},
        {{{"XDG_CURRENT_DESKTOP", "i3"}, {"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}},
         K::LayerShell},
        // VANTORIA_DESKTOP wins by name; a name of none is refused.
        {{{"VANTORIA_DESKTOP", "layer-shell"}, {"XDG_CURRENT_DESKTOP", "sway"}}, K::LayerShell},
        {{{"VANTORIA_DESKTOP", "X11"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}, K::X11},
        {{{"VANTORIA_DESKTOP", "sway"}, {"DISPLAY", ":0"}}, K::Sway},
        {{{"VANTORIA_DESKTOP", "swaybg"}, {"XDG_CURRENT_DESKTOP", "sway"}}, K::Unknown},
        {{{"XDG_CURRENT_DESKTOP", ""}}, K::Unknown},
        {{}, K::Unknown},
        {{{"XDG_CURRENT_DESKTOP", ":::"}}, K::Unknown},
    };
    for (const TDetectionCase& c : cases) {
        std::string text;
        for (const auto& [k, v] : c.env) {
            text += k + "=" + v + " ";
        }
        const TDesktopDetection d = DetectDesktop(c.env);
        EXPECT_EQ(d.kind, c.kind) << text;
        EXPECT_FALSE(d.reason.empty()) << text;
    }
}

TEST(DesktopDetectionTest, ReasonNamesTheUnsupportedDesktop) {
    const TDesktopDetection d = DetectDesktop({{"XDG_CURRENT_DESKTOP", "Enlightenment"}});
    EXPECT_NE(d.reason.find("Enlightenment"), std::string::npos) << d.reason;
}

TEST(DesktopDetectionTest, UnknownDesktopGetsABackEndThatSaysWhy) {
    const TDesktopDetection d = DetectDesktop({{"XDG_CURRENT_DESKTOP", "Hyprland"}});
    auto backend = CreateDesktopBackend(d, {}, "/tmp/unused", [] { return TScreenSize{}; });
    ASSERT_TRUE(backend);
    EXPECT_EQ(backend->Name(), "none");
    EXPECT_FALSE(backend->Files()->SetWallpaperFile("/tmp/x.bmp", true));
    EXPECT_NE(backend->LastError().find("Hyprland"), std::string::npos) << backend->LastError();
    EXPECT_FALSE(backend->State()->CurrentWallpaperFile().has_value());
    // It paints nothing and keeps no setting of its own.
    EXPECT_EQ(backend->Painter(), nullptr);
    EXPECT_EQ(backend->Setting(), nullptr);
}

TEST(DesktopDetectionTest, EachReachableDesktopGetsItsOwnBackEnd) {
    const TEnvironment env{{"SWAYSOCK", "/run/user/1000/sway-ipc.sock"}};
    for (const auto& [kind, name] :
         {std::pair{TDesktopKind::Kde, "KDE Plasma"}, std::pair{TDesktopKind::Sway, "sway"},
          std::pair{TDesktopKind::Xfce, "XFCE"}}) {
        auto backend =
            CreateDesktopBackend({kind, "test"}, env, "/tmp/unused", [] { return TScreenSize{}; });
        EXPECT_EQ(backend->Name(), name);
    }
}

TEST(DesktopDetectionTest, DataFolderFollowsTheBaseDirectoryRules) {
    EXPECT_EQ(UserDataFolder({{"XDG_DATA_HOME", "/d"}, {"HOME", "/h"}}), "/d/vantoria");
    EXPECT_EQ(UserDataFolder({{"HOME", "/h"}}), "/h/.local/share/vantoria");
    // A relative XDG_DATA_HOME is to be ignored.
    EXPECT_EQ(UserDataFolder({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}}),
              "/h/.local/share/vantoria");
}
