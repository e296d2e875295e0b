#include "support/desktop/TrayOnDesktop.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace TrayOnDesktop {

namespace {

// The icon's hills: clearly green, which no panel is.
bool Green(std::uint32_t c) {
    const int r = int(c >> 16 & 0xFF), g = int(c >> 8 & 0xFF), b = int(c & 0xFF);
    return g >= 100 && g >= r + 50 && g >= b + 60;
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Xdotool(TRealDesktop& d, std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return d.Run(args, 10000).exitCode == 0;
}

}  // namespace

std::optional<std::pair<int, int>> FindIcon(TRealDesktop& d, const TArea& tray) {
    const std::vector<std::uint32_t> seen = d.Region(tray.x, tray.y, tray.width, tray.height);
    long sx = 0, sy = 0, n = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (Green(seen[i])) {
            sx += long(i % std::size_t(tray.width));
            sy += long(i / std::size_t(tray.width));
            ++n;
        }
    }
    if (n < 8) {
        return std::nullopt;
    }
    return std::pair{tray.x + int(sx / n), tray.y + int(sy / n)};
}

std::optional<std::string> ShownWindow(TRealDesktop& d, TProcessId program) {
    const TToolRun found =
        d.Run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(program)}, 10000);
    std::istringstream ids(found.out);
    for (std::string id; std::getline(ids, id);) {
        // An XEmbed tray icon is a small window of the program's own.
        const TToolRun size = d.Run({"xdotool", "getwindowgeometry", id}, 10000);
        const std::size_t at = size.out.find("Geometry: ");
        if (at != std::string::npos && std::stoi(size.out.substr(at + 10)) > 64) {
            return id;
        }
    }
    return std::nullopt;
}

bool WindowShown(TRealDesktop& d, TProcessId program) {
    return ShownWindow(d, program).has_value();
}

void ClickShowsWindowMenuExits(TRealDesktop& d, const TArea& tray, const std::string& slide,
                               const std::map<std::string, std::string>& extraEnv, int clicks) {
    d.WriteSettings({{"Autoplay", "dword:00000002"},
                     {"Style", "dword:00000002"},
                     {"Current", "dword:00000000"},
                     {"ShowClock", "dword:00000000"}},
                    {slide});
    const TProcessId run = d.StartVantoria(extraEnv);
    std::optional<std::pair<int, int>> icon;
    ASSERT_TRUE(
        TRealDesktop::WaitFor([&] { return (icon = FindIcon(d, tray)).has_value(); }, 30000))
        << "the program's icon never appeared in the tray";
    std::cout << "[tray] icon at " << icon->first << "," << icon->second << std::endl;
    EXPECT_FALSE(WindowShown(d, run)) << "in the tray, no window";

    // A tray notices the pointer before it takes a click.
    ASSERT_TRUE(
        Xdotool(d, {"mousemove", std::to_string(icon->first), std::to_string(icon->second)}));
    Pause(500);
    ASSERT_TRUE(Xdotool(d, {"click", "--repeat", std::to_string(clicks), "--delay", "80", "1"}));
    ASSERT_TRUE(TRealDesktop::WaitFor([&] { return WindowShown(d, run); }, 10000))
        << "a click on the icon did not show the main window";
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return !FindIcon(d, tray); }, 10000))
        << "the icon stays while the window is shown";

    const std::optional<std::string> id = ShownWindow(d, run);
    ASSERT_TRUE(id && Xdotool(d, {"windowactivate", "--sync", *id, "key", "ctrl+m"}));
    ASSERT_TRUE(
        TRealDesktop::WaitFor([&] { return (icon = FindIcon(d, tray)).has_value(); }, 10000))
        << "Ctrl+M did not put the icon back";
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return !WindowShown(d, run); }, 10000));

    // The menu: Up from none selected is its last item, Exit.
    ASSERT_TRUE(
        Xdotool(d, {"mousemove", std::to_string(icon->first), std::to_string(icon->second)}));
    Pause(500);
    ASSERT_TRUE(Xdotool(d, {"click", "3"}));
    Pause(1000);
    ASSERT_TRUE(Xdotool(d, {"key", "Up"}));
    Pause(300);
    ASSERT_TRUE(Xdotool(d, {"key", "Return"}));
    EXPECT_EQ(d.WaitForExit(run, 20000), 0) << "Exit from the tray menu did not end the program";
}

}  // namespace TrayOnDesktop
