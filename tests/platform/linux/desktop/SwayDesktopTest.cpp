// The real sway, headless, with swaybar's tray: the program's picture on
// every output, composed for each; the clock floating at its saved place,
// clear of the middle of the screen and of the tiling, and the wallpaper
// round its face; the tray menu opening on swaybar's ContextMenu and
// Activate bringing the main window back.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <cstdio>
#include <unistd.h>

#include "support/desktop/SwaySession.h"

namespace {

constexpr std::uint32_t kLeft = 0xD02020;   // the slide's left half
constexpr std::uint32_t kRight = 0x2040D0;  // and its right half
const std::vector<TSwayOutput> kOutputs{{800, 600}, {640, 480}};
constexpr int kClockX = 60, kClockY = 80, kClockSize = 136;

// Waits until `output` shows `want` at x, y, and prints what it checked.
bool Shows(TSwaySession& sway, const std::string& what, const std::string& output, int x, int y,
           std::uint32_t want) {
    TRealDesktop::WaitFor(
        [&] {
            const QImage shot = sway.Shot(output);
            return shot.valid(x, y) && NearColour(shot.pixel(x, y) & 0xFFFFFFu, want, 8);
        },
        15000);
    const auto seen = sway.Pixel(what, output, x, y, want);
    return seen && NearColour(*seen, want, 8);
}

std::string Rect(const QJsonObject& window) {
    const QJsonObject r = window.value("rect").toObject();
    return std::to_string(r.value("x").toInt()) + "," + std::to_string(r.value("y").toInt()) + " " +
           std::to_string(r.value("width").toInt()) + "x" +
           std::to_string(r.value("height").toInt()) +
           (window.value("floating").toBool() ? " floating" : " tiled");
}

// The window `title` once sway shows it, and with `placed` once the program
// has had it placed (it has no border then); printed.
std::optional<QJsonObject> WaitForWindow(TSwaySession& sway, const std::string& title,
                                         bool placed = false) {
    std::optional<QJsonObject> window;
    TRealDesktop::WaitFor(
        [&] {
            window = sway.Window(title);
            return window && (!placed || window->value("border").toString() == "none");
        },
        15000);
    std::printf("[window] %s: %s\n", title.c_str(), window ? Rect(*window).c_str() : "none");
    return window;
}

class SwayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.Ready()) << sway_.Error();
        std::printf("[version] %s", sway_.Run({"sway", "--version"}).out.c_str());
        std::printf("[version] Qt %s\n", qVersion());
        QImage slide(64, 32, QImage::Format_RGB32);
        slide.fill(QColor::fromRgb(kRight));
        QPainter(&slide).fillRect(0, 0, 32, 32, QColor::fromRgb(kLeft));
        const std::string path = sway_.Root() + "/slide.png";
        ASSERT_TRUE(slide.save(QString::fromStdString(path)));
        // Started in the tray with the first slide stretched over each
        // output; the clock where it was left.
        sway_.WriteSettings({{"Autoplay", "dword:00000002"},
                             {"Style", "dword:00000002"},
                             {"Current", "dword:00000000"},
                             {"ShowClock", "dword:00000001"},
                             {"ClockX", "dword:0000003c"},
                             {"ClockY", "dword:00000050"}},
                            {path});
        program_ = sway_.Launch("vantoria", {TSwaySession::VantoriaPath()},
                                {{"QT_QPA_PLATFORM", "wayland"}});
    }
    void TearDown() override {
        if (HasFailure()) {
            const QString shot = QString::fromStdString(::testing::TempDir()) + "sway-failure.png";
            if (sway_.Shot("HEADLESS-1").save(shot)) {
                std::printf("screen saved as %s\n", qPrintable(shot));
            }
            std::printf("--- vantoria\n%s--- sway\n%s", sway_.Log("vantoria").c_str(),
                        sway_.Log("sway").c_str());
        }
    }

    TSwaySession sway_{kOutputs, "output * bg #303030 solid_color\n"};
    pid_t program_ = -1;
};

TEST_F(SwayDesktopTest, PicturePerOutputClockAtItsPlaceTrayMenuOnContextMenu) {
    // Each output shows the whole slide, composed for it.
    for (std::size_t i = 0; i < kOutputs.size(); ++i) {
        const auto [w, h] = kOutputs[i];
        const std::string name = TSwaySession::OutputName(i);
        EXPECT_TRUE(Shows(sway_, "slide's left half", name, w / 4, h / 2, kLeft));
        EXPECT_TRUE(Shows(sway_, "slide's right half", name, 3 * w / 4, h / 2, kRight));
    }

    // The clock floats at its saved place, off the middle of the screen.
    const auto clock = WaitForWindow(sway_, "Clock", true);
    ASSERT_TRUE(clock);
    EXPECT_TRUE(clock->value("floating").toBool());
    const QJsonObject rect = clock->value("rect").toObject();
    EXPECT_EQ(rect.value("x").toInt(), kClockX);
    EXPECT_EQ(rect.value("y").toInt(), kClockY);
    EXPECT_EQ(rect.value("width").toInt(), kClockSize);
    EXPECT_TRUE(Shows(sway_, "middle of the screen", "HEADLESS-1", 360, 300, kLeft));
    // Round its face (the square's corner) the wallpaper shows.
    EXPECT_TRUE(
        Shows(sway_, "outside the clock's face", "HEADLESS-1", kClockX + 2, kClockY + 2, kLeft));

    // swaybar's right click: ContextMenu on our item opens the menu.
    const std::string items =
        sway_
            .Run({"busctl", "--user", "get-property", "org.kde.StatusNotifierWatcher",
                  "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                  "RegisteredStatusNotifierItems"})
            .out;
    const std::size_t quote = items.find('"'), slash = items.find('/', quote);
    ASSERT_NE(slash, std::string::npos) << "no item in swaybar's tray: " << items;
    const std::string service = items.substr(quote + 1, slash - quote - 1);
    const std::string path = items.substr(slash, items.find('"', slash) - slash);
    const auto call = [&](const char* method) {
        return sway_.Run({"busctl", "--user", "call", service, path, "org.kde.StatusNotifierItem",
                          method, "ii", "700", "590"});
    };
    ASSERT_EQ(call("ContextMenu").exitCode, 0);
    const auto menu = WaitForWindow(sway_, "Vantoria menu", true);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->value("floating").toBool());
    const QJsonObject m = menu->value("rect").toObject();
    // Drawn on top: its bottom margin, on the slide and the clock alike.
    EXPECT_TRUE(Shows(sway_, "menu's margin", "HEADLESS-1",
                      m.value("x").toInt() + m.value("width").toInt() / 2,
                      m.value("y").toInt() + m.value("height").toInt() - 4, 0xFFFFFF));

    // swaybar's left click: Activate brings the main window back.
    ASSERT_EQ(call("Activate").exitCode, 0);
    EXPECT_TRUE(WaitForWindow(sway_, "Vantoria"));
}

}  // namespace
