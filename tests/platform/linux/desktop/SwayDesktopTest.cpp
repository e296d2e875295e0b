// The real sway, headless, with swaybar's tray: the program's picture on
// every output, composed for each; the clock floating at its saved place,
// clear of the middle of the screen and of the tiling, and the wallpaper
// round its face; the tray menu opening on swaybar's ContextMenu and
// Activate bringing the main window back.
#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRect>
#include <cstdio>
#include <functional>
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

QRect RectOf(const QJsonObject& window) {
    const QJsonObject r = window.value("rect").toObject();
    return {r.value("x").toInt(), r.value("y").toInt(), r.value("width").toInt(),
            r.value("height").toInt()};
}

// The window `title` once sway shows it where `placed` (anywhere without),
// printed. sway lists a window it has only just mapped at its default place,
// before it has acted on the program's placing.
std::optional<QJsonObject> WaitForWindow(TSwaySession& sway, const std::string& title,
                                         const std::function<bool(const QRect&)>& placed = {}) {
    std::optional<QJsonObject> window;
    TRealDesktop::WaitFor(
        [&] {
            window = sway.Window(title);
            return window && (!placed || placed(RectOf(*window)));
        },
        15000);
    const QRect r = window ? RectOf(*window) : QRect();
    std::printf("[window] %s: %d,%d %dx%d %s\n", title.c_str(), r.x(), r.y(), r.width(), r.height(),
                !window                              ? "none"
                : window->value("floating").toBool() ? "floating"
                                                     : "tiled");
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
    const auto clock = WaitForWindow(
        sway_, "Clock", [](const QRect& r) { return r.topLeft() == QPoint(kClockX, kClockY); });
    ASSERT_TRUE(clock);
    EXPECT_TRUE(clock->value("floating").toBool());
    EXPECT_EQ(RectOf(*clock), QRect(kClockX, kClockY, kClockSize, kClockSize));
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
    const QPoint pointer(700, 590);
    const auto call = [&](const char* method) {
        return sway_.Run({"busctl", "--user", "call", service, path, "org.kde.StatusNotifierItem",
                          method, "ii", std::to_string(pointer.x()), std::to_string(pointer.y())});
    };
    // A keyboard, as users have, and a key for the focused clock: a menu that
    // Qt made a popup of the clock then would not be at the pointer.
    sway_.Launch("keyboard", {"wtype", "-s", "600000"});
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            const QJsonDocument seats = QJsonDocument::fromJson(
                QByteArray::fromStdString(sway_.Run({"swaymsg", "-t", "get_seats", "--raw"}).out));
            return seats.array().first().toObject().value("capabilities").toInt() & 2;
        },
        5000));
    sway_.Run({"wtype", "-k", "Shift_L"});
    // The click lands on the bar at sway's pointer, and the menu follows it:
    // floating over the pointer (kept on the output), drawn on top there.
    sway_.Run({"swaymsg", "seat", "seat0", "cursor", "set", std::to_string(pointer.x()),
               std::to_string(pointer.y())});
    ASSERT_EQ(call("ContextMenu").exitCode, 0);
    const auto menu =
        WaitForWindow(sway_, "Vantoria menu", [&](const QRect& r) { return r.contains(pointer); });
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->value("floating").toBool());
    const QRect m = RectOf(*menu);
    EXPECT_TRUE(m.contains(pointer));
    EXPECT_TRUE(
        Shows(sway_, "menu's margin", "HEADLESS-1", m.center().x(), m.bottom() - 3, 0xFFFFFF));
    // Its items work: the fourth, "Hide Clock", chosen with the keyboard.
    sway_.Run({"wtype", "-k", "Down", "-k", "Down", "-k", "Down", "-k", "Down", "-k", "Return"});
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return !sway_.Window("Clock"); }, 5000));
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return !sway_.Window("Vantoria menu"); }, 5000));

    // swaybar's left click: Activate brings the main window back.
    ASSERT_EQ(call("Activate").exitCode, 0);
    EXPECT_TRUE(WaitForWindow(sway_, "Vantoria"));
}

}  // namespace
