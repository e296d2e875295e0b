// The real program drawing the wallpaper itself on headless sway
// (VANTORIA_DESKTOP=layer-shell), judged by what grim reads: the slide on
// every output, the clock on the bottom layer at its saved place with the
// wallpaper round its face, covered by a window opened over it, dragged with
// the left button, hidden from its right-button menu at the pointer, its new
// place saved; sway's own background back after the close request and after kill -9.
#include <linux/input-event-codes.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "clock/ClockFace.h"
#include "clock/OvcClock.h"
#include "support/desktop/SwaySession.h"
#include "support/desktop/VirtualPointer.h"

namespace {

constexpr std::uint32_t kLeft = 0xD02020;   // the slide's left half
constexpr std::uint32_t kRight = 0x2040D0;  // and its right half
constexpr std::uint32_t kCover = 0x20A040;  // the window opened over the clock
const std::vector<TSwayOutput> kOutputs{{800, 600}, {640, 480}};
constexpr int kClockSize = 136;

struct TSpot {
    int x, y;
};

// Four points of the face's rim, beyond the longest hand's reach.
constexpr TSpot kRim[] = {{68, 5}, {131, 68}, {68, 131}, {5, 68}};

class LayerShellProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.Ready()) << sway_.Error();
        std::printf("[version] %s", sway_.Run({"sway", "--version"}).out.c_str());
        const QImage shot = sway_.Shot("HEADLESS-1");
        ASSERT_FALSE(shot.isNull()) << "grim reads no picture of sway";
        background_ = shot.pixel(400, 300) & 0xFFFFFFu;
        QImage slide(64, 32, QImage::Format_RGB32);
        slide.fill(QColor::fromRgb(kRight));
        QPainter(&slide).fillRect(0, 0, 32, 32, QColor::fromRgb(kLeft));
        slide_ = sway_.Root() + "/slide.png";
        ASSERT_TRUE(slide.save(QString::fromStdString(slide_)));
        face_ = StretchNearest(ClockFacePicture(), kClockSize, kClockSize);
    }
    void TearDown() override {
        if (HasFailure()) {
            std::printf("--- vantoria\n%s--- sway\n%s", sway_.Log("vantoria").c_str(),
                        sway_.Log("sway").c_str());
        }
    }

    pid_t Start(bool clock, int x, int y) {
        char place[64];
        std::snprintf(place, sizeof place, "dword:%08x", static_cast<unsigned>(x));
        const std::string clockX = place;
        std::snprintf(place, sizeof place, "dword:%08x", static_cast<unsigned>(y));
        sway_.WriteSettings({{"Autoplay", "dword:00000002"},
                             {"Style", "dword:00000002"},
                             {"Current", "dword:00000000"},
                             {"ShowClock", clock ? "dword:00000001" : "dword:00000000"},
                             {"ClockX", clockX},
                             {"ClockY", place}},
                            {slide_});
        return sway_.Launch("vantoria", {TSwaySession::VantoriaPath()},
                            {{"QT_QPA_PLATFORM", "wayland"}, {"VANTORIA_DESKTOP", "layer-shell"}});
    }

    // Waits until every check holds on `output`, then prints each.
    bool Shows(const std::string& what, const std::string& output,
               const std::vector<std::pair<TSpot, std::uint32_t>>& checks) {
        QImage shot;
        const auto holds = [&] {
            for (const auto& [at, want] : checks) {
                if (!shot.valid(at.x, at.y) ||
                    !NearColour(shot.pixel(at.x, at.y) & 0xFFFFFFu, want, 8)) {
                    return false;
                }
            }
            return true;
        };
        const bool ok = TRealDesktop::WaitFor(
            [&] {
                shot = sway_.Shot(output);
                return holds();
            },
            15000);
        for (const auto& [at, want] : checks) {
            std::printf("[pixels] %s: %s %d,%d want %s | seen %s\n", what.c_str(), output.c_str(),
                        at.x, at.y, HexColour(want).c_str(),
                        shot.valid(at.x, at.y)
                            ? HexColour(shot.pixel(at.x, at.y) & 0xFFFFFFu).c_str()
                            : "nothing");
        }
        return ok;
    }

    // The face's rim at x, y, and the wallpaper just outside the face.
    std::vector<std::pair<TSpot, std::uint32_t>> Clock(int x, int y) const {
        std::vector<std::pair<TSpot, std::uint32_t>> checks;
        for (const TSpot& rim : kRim) {
            checks.push_back({{x + rim.x, y + rim.y}, face_.pixel(rim.x, rim.y) & 0xFFFFFFu});
        }
        checks.push_back({{x + 2, y + 2}, kLeft});
        checks.push_back({{x + kClockSize - 3, y + kClockSize - 3}, kLeft});
        return checks;
    }

    std::vector<std::pair<TSpot, std::uint32_t>> Rim(int x, int y, std::uint32_t colour) const {
        std::vector<std::pair<TSpot, std::uint32_t>> checks;
        for (const TSpot& rim : kRim) {
            checks.push_back({{x + rim.x, y + rim.y}, colour});
        }
        return checks;
    }

    bool Slide() {
        bool all = true;
        for (std::size_t i = 0; i < kOutputs.size(); ++i) {
            const auto [w, h] = kOutputs[i];
            all = Shows("slide", TSwaySession::OutputName(i),
                        {{{w / 4, h / 2}, kLeft}, {{3 * w / 4, h / 2}, kRight}}) &&
                  all;
        }
        return all;
    }

    bool Background() {
        bool all = true;
        for (std::size_t i = 0; i < kOutputs.size(); ++i) {
            const auto [w, h] = kOutputs[i];
            all = Shows("sway's own background", TSwaySession::OutputName(i),
                        {{{w / 4, h / 2}, background_}, {{3 * w / 4, h / 2}, background_}}) &&
                  all;
        }
        return all;
    }

    std::string Setting(const std::string& name) {
        std::ifstream in(sway_.ConfigHome() + "/vantoria/user.reg", std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        const std::size_t at = text.find("\"" + name + "\"=");
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\r', at) - at);
    }

    TSwaySession sway_{kOutputs};
    std::uint32_t background_ = 0;
    std::string slide_;
    QImage face_;
};

TEST_F(LayerShellProgramTest, ClockOnTheBottomLayerAndTheBackgroundBack) {
    if (std::getenv("VANTORIA_COVER_WINDOW")) {
        GTEST_SKIP();
    }
    constexpr int kX = 60, kY = 80;
    pid_t program = Start(true, kX, kY);
    ASSERT_TRUE(Slide());
    ASSERT_TRUE(Shows("clock at its place", "HEADLESS-1", Clock(kX, kY)));
    EXPECT_FALSE(sway_.Window("Clock")) << "the clock is a window of sway's";

    // A window opened over it covers it; closed, the clock shows again.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const pid_t cover =
        sway_.Launch("cover", {self, "--gtest_filter=*CoverWindow*"},
                     {{"QT_QPA_PLATFORM", "wayland"}, {"VANTORIA_COVER_WINDOW", "1"}});
    EXPECT_TRUE(Shows("window over the clock", "HEADLESS-1", Rim(kX, kY, kCover)));
    sway_.Stop(cover);
    EXPECT_TRUE(Shows("clock uncovered", "HEADLESS-1", Clock(kX, kY)));

    // Dragged by its face with the left button: it follows, past the drag
    // distance. The pointer is the test's own: headless sway has none.
    TVirtualPointer pointer(sway_.RuntimeDir() + "/" + sway_.Env("WAYLAND_DISPLAY"),
                            kOutputs[0].width + kOutputs[1].width, kOutputs[0].height);
    ASSERT_TRUE(pointer.Ready()) << "sway offers no virtual pointer";
    constexpr int kDx = 100, kDy = 60;
    // The program takes the new device's pointer while it is over the wallpaper.
    ASSERT_TRUE(pointer.MoveTo(400, 400));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(pointer.MoveTo(kX + 68, kY + 30));
    ASSERT_TRUE(pointer.Button(BTN_LEFT, true));
    for (int step = 1; step <= 10; ++step) {
        pointer.MoveTo(kX + 68 + kDx * step / 10, kY + 30 + kDy * step / 10);
    }
    ASSERT_TRUE(pointer.Button(BTN_LEFT, false));
    EXPECT_TRUE(Shows("clock dragged", "HEADLESS-1", Clock(kX + kDx, kY + kDy)));
    EXPECT_TRUE(Shows("clock's old place", "HEADLESS-1", Rim(kX, kY, kLeft)));

    // Its right-button menu opens at the pointer, a floating window of sway's.
    // sway floats it first in the middle of the output, then moves it.
    const TSpot click{kX + kDx + 70, kY + kDy + 30};
    ASSERT_TRUE(pointer.MoveTo(click.x, click.y));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(pointer.Button(BTN_RIGHT, true));
    pointer.Button(BTN_RIGHT, false);
    std::optional<QJsonObject> menu;
    QJsonObject r;
    const auto atPointer = [&] {
        return menu && menu->value("floating").toBool() &&
               QRect(r.value("x").toInt(), r.value("y").toInt(), r.value("width").toInt(),
                     r.value("height").toInt())
                   .contains(click.x, click.y);
    };
    TRealDesktop::WaitFor(
        [&] {
            menu = sway_.Window("Vantoria clock menu");
            r = menu ? menu->value("rect").toObject() : QJsonObject();
            return atPointer();
        },
        15000);
    ASSERT_TRUE(menu) << "no menu";
    std::printf("[window] clock menu: %d,%d %dx%d %s\n", r.value("x").toInt(), r.value("y").toInt(),
                r.value("width").toInt(), r.value("height").toInt(),
                menu->value("floating").toBool() ? "floating" : "tiled");
    ASSERT_TRUE(atPointer()) << "the menu is not a floating window at the pointer";

    // Its one item, "Hide Clock", clicked after the pointer has moved along
    // it as a hand does: the menu closes and the clock's surface goes, the
    // wallpaper where its face was.
    const int itemX = r.value("x").toInt() + 4, itemW = r.value("width").toInt() - 8;
    const int itemY = r.value("y").toInt() + r.value("height").toInt() / 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int step = 0; step <= 10; ++step) {
        ASSERT_TRUE(pointer.MoveTo(itemX + itemW * step / 10, itemY));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(pointer.Button(BTN_LEFT, true));
    pointer.Button(BTN_LEFT, false);
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return !sway_.Window("Vantoria clock menu"); }, 5000));
    EXPECT_TRUE(Shows("clock hidden", "HEADLESS-1", Rim(kX + kDx, kY + kDy, kLeft)));

    // The close request: sway's own background, the clock's new place saved.
    ASSERT_EQ(sway_.Run({TSwaySession::VantoriaPath(), "--quit"}).exitCode, 0);
    EXPECT_TRUE(TRealDesktop::WaitFor([&] { return waitpid(program, nullptr, WNOHANG) == program; },
                                      20000));
    EXPECT_TRUE(Background());
    EXPECT_EQ(Setting("ClockX"), "\"ClockX\"=dword:000000a0");
    EXPECT_EQ(Setting("ClockY"), "\"ClockY\"=dword:0000008c");

    // Killed: sway drops its surfaces, and its background shows again.
    program = Start(true, kX, kY);
    ASSERT_TRUE(Slide());
    EXPECT_TRUE(Shows("clock at its place", "HEADLESS-1", Clock(kX, kY)));
    kill(-program, SIGKILL);
    EXPECT_TRUE(Background());
    EXPECT_TRUE(Shows("no clock", "HEADLESS-1", Rim(kX, kY, background_)));
}

// The window opened over the clock: a plain top-level of one colour, run by
// the test above as a program of its own.
TEST(LayerShellProgramHelper, CoverWindow) {
    if (!std::getenv("VANTORIA_COVER_WINDOW")) {
        GTEST_SKIP();
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("cover"));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kCover));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.show();
    QApplication::exec();
}

}  // namespace
