// The layer-shell drawer on the real sway, headless, with two outputs of
// different sizes (one at scale 2), judged by what grim reads of each output.
// sway's own background must show again whenever our surfaces go, by an
// orderly end or by kill -9. (sway 1.7 stacks a newer background surface
// below an older one, so with a swaybg of its own running ours would not
// show: there sway's own back-end, which tells swaybg, stays the one chosen.)
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>

#include "platform/linux/RunTool.h"
#include "platform/linux/desktop/layershell/LayerShellDesktopBackend.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"

namespace {

using namespace std::chrono_literals;

constexpr QRgb kBackground = 0xff3f3f3f;  // sway's own background, where no surface is
constexpr TColor kFill = 0x0000ffff;      // yellow, as 0x00BBGGRR
constexpr QRgb kFillSeen = 0xffffff00;
constexpr QRgb kLeft = 0xffff0000;  // the picture: left half red, right half blue
constexpr QRgb kRight = 0xff0000ff;

struct TOutputCase {
    std::string name;
    int width;  // in device pixels
    int height;
};

// The picture composed by the program's composer, letter-boxed to each output.
class TLetterBox final : public TPictureDraw {
public:
    explicit TLetterBox(std::string source) : source_(std::move(source)) {}
    bool Draw(int width, int height, TPictureParts& parts) override {
        TComposeRequest request;
        request.source = source_;
        request.mode = fmLetterBox;
        request.fillColor = kFill;
        request.monitors = {TMonitor{"", 0, 0, width, height, true}};
        return TComposer().Run(request, TScreenParts{TPixelSize{width, height}, &parts});
    }

private:
    std::string source_;
};

class LayerShellDrawerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("VANTORIA_DRAWER_CHILD")) {
            return;  // the painter that is killed: sway runs in the parent
        }
        runtime_ = dir_.File("runtime");
        std::filesystem::create_directories(runtime_);
        std::filesystem::permissions(runtime_, std::filesystem::perms::all);
        std::filesystem::permissions(dir_.Path(), std::filesystem::perms::owner_all |
                                                      std::filesystem::perms::group_read |
                                                      std::filesystem::perms::group_exec |
                                                      std::filesystem::perms::others_read |
                                                      std::filesystem::perms::others_exec);
        std::ofstream(dir_.File("config")) << "output HEADLESS-1 mode 800x600\n"
                                              "output HEADLESS-2 mode 640x480 scale 2\n";
        picture_ = dir_.File("picture.png");
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(kRight);
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                image.setPixel(x, y, kLeft);
            }
        }
        ASSERT_TRUE(image.save(QString::fromStdString(picture_)));
        sway_ = fork();
        if (sway_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // no sway left behind by a test killed itself
            setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
            setenv("WLR_BACKENDS", "headless", 1);
            setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
            setenv("WLR_RENDERER", "pixman", 1);
            setenv("WLR_HEADLESS_OUTPUTS", "2", 1);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            const std::string config = dir_.File("config");
            if (geteuid() == 0) {  // sway refuses root outside a user namespace
                execlp("unshare", "unshare", "--user", "sway", "-c", config.c_str(), nullptr);
            } else {
                execlp("sway", "sway", "-c", config.c_str(), nullptr);
            }
            _exit(127);
        }
        for (int i = 0; i < 200 && socket_.empty(); ++i) {
            std::this_thread::sleep_for(25ms);
            for (const auto& entry : std::filesystem::directory_iterator(runtime_)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                    socket_ = entry.path().string();
                }
            }
        }
        ASSERT_FALSE(socket_.empty()) << "sway did not start (scripts/install-deps installs it)";
        for (const TOutputCase& o : outputs_) {
            ASSERT_TRUE(Shows(o, {{o.width / 2, o.height / 2, kBackground}}))
                << "sway's own background";
        }
    }

    void TearDown() override {
        for (const pid_t pid : {child_, sway_}) {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    }

    struct TPoint {
        int x, y;
        QRgb colour;
    };

    // The letter box of a 2:1 picture on an output: bands of the fill colour
    // above and below, the picture's rows exactly from `top`.
    static std::vector<TPoint> LetterBox(const TOutputCase& o) {
        const int top = (o.height - o.width / 2) / 2;
        return {{o.width / 2, top / 2, kFillSeen},
                {o.width / 4, top - 1, kFillSeen},
                {o.width / 4, top, kLeft},
                {o.width / 4, o.height / 2, kLeft},
                {3 * o.width / 4, o.height / 2, kRight},
                {3 * o.width / 4, o.height - top - 1, kRight},
                {3 * o.width / 4, o.height - top, kFillSeen},
                {o.width - 1, o.height - 1, kFillSeen}};
    }

    // Waits, serving the event loop, until grim reads `points` on output `o`;
    // prints what it saw.
    bool Shows(const TOutputCase& o, const std::vector<TPoint>& points) {
        const std::string shot = dir_.File("shot.png");
        std::string seen;
        for (int i = 0; i < 60; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            std::filesystem::remove(shot);
            RunTool({"env", "XDG_RUNTIME_DIR=" + runtime_, "WAYLAND_DISPLAY=" + socket_, "grim",
                     "-o", o.name, shot});
            const QImage image(QString::fromStdString(shot));
            bool all = image.width() == o.width && image.height() == o.height;
            seen = std::to_string(image.width()) + "x" + std::to_string(image.height());
            for (const TPoint& p : points) {
                const QRgb at = image.isNull() ? 0 : image.pixel(p.x, p.y);
                char text[64];
                std::snprintf(text, sizeof text, " (%d,%d)=%06x/%06x", p.x, p.y, at & 0xffffff,
                              p.colour & 0xffffff);
                seen += text;
                all = all && at == p.colour;
            }
            if (all) {
                std::printf("[pixels] %s:%s\n", o.name.c_str(), seen.c_str());
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        std::printf("[pixels] %s (wanted/seen differ):%s\n", o.name.c_str(), seen.c_str());
        return false;
    }

    bool Paint(TLayerShellDesktopBackend& drawer) {
        TLetterBox draw(picture_);
        return drawer.PaintPicture(draw, kFill, picture_);
    }

    TTempDir dir_;
    std::string runtime_, socket_, picture_;
    pid_t sway_ = 0, child_ = 0;
    std::vector<TOutputCase> outputs_{{"HEADLESS-1", 800, 600}, {"HEADLESS-2", 640, 480}};
};

// Two outputs, one more plugged in while the picture shows, then the orderly end.
TEST_F(LayerShellDrawerTest, EachOutputItsLetterBoxThenTheBackgroundBack) {
    if (std::getenv("VANTORIA_DRAWER_CHILD")) {
        GTEST_SKIP();
    }
    auto drawer = std::make_unique<TLayerShellDesktopBackend>(socket_);
    ASSERT_TRUE(drawer->Available()) << drawer->LastError();
    int changes = 0;
    drawer->WatchOutputs([&changes] { ++changes; });
    ASSERT_TRUE(Paint(*drawer)) << drawer->LastError();
    for (const TOutputCase& o : outputs_) {
        EXPECT_TRUE(Shows(o, LetterBox(o)));
    }
    EXPECT_EQ(drawer->CurrentWallpaperFile(), picture_);

    // sway's new headless output: the drawer asks for the picture anew.
    std::string ipc;
    for (const auto& entry : std::filesystem::directory_iterator(runtime_)) {
        if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) {
            ipc = entry.path().string();
        }
    }
    const TToolResult created = RunTool({"swaymsg", "-s", ipc, "create_output"});
    ASSERT_EQ(created.exitCode, 0) << created.out;
    QElapsedTimer waited;
    waited.start();
    while (changes == 0 && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    ASSERT_GT(changes, 0) << "the new output was not told";
    std::vector<TLayerShellDesktopBackend::TOutputSize> sizes = drawer->Outputs();
    ASSERT_EQ(sizes.size(), 3u);
    const TOutputCase plugged{sizes.back().name, sizes.back().width, sizes.back().height};
    ASSERT_TRUE(Paint(*drawer)) << drawer->LastError();
    EXPECT_TRUE(Shows(plugged, LetterBox(plugged)));

    drawer.reset();  // the program's end
    for (const TOutputCase& o : {outputs_[0], outputs_[1], plugged}) {
        EXPECT_TRUE(Shows(o, {{o.width / 2, o.height / 2, kBackground}, {0, 0, kBackground}}));
    }
}

// The painter killed: sway drops its surfaces and its background shows.
TEST_F(LayerShellDrawerTest, KillNineGivesTheBackgroundBack) {
    if (const char* socket = std::getenv("VANTORIA_DRAWER_CHILD")) {
        TLayerShellDesktopBackend drawer(socket);
        picture_ = std::getenv("VANTORIA_DRAWER_PICTURE");
        ASSERT_TRUE(drawer.Available() && Paint(drawer)) << drawer.LastError();
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1000);
        }
    }
    child_ = fork();
    if (child_ == 0) {
        setenv("VANTORIA_DRAWER_CHILD", socket_.c_str(), 1);
        setenv("VANTORIA_DRAWER_PICTURE", picture_.c_str(), 1);
        execl("/proc/self/exe", "drawer", "--gtest_filter=*KillNine*", nullptr);
        _exit(127);
    }
    for (const TOutputCase& o : outputs_) {
        ASSERT_TRUE(Shows(o, LetterBox(o)));
    }
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
    child_ = 0;
    for (const TOutputCase& o : outputs_) {
        EXPECT_TRUE(Shows(o, {{o.width / 2, o.height / 2, kBackground}}));
    }
}

// The compositor gone: the drawer stops, tells, and says so at the next change.
TEST_F(LayerShellDrawerTest, LostCompositorIsReported) {
    if (std::getenv("VANTORIA_DRAWER_CHILD")) {
        GTEST_SKIP();
    }
    TLayerShellDesktopBackend drawer(socket_);
    bool told = false;
    drawer.WatchOutputs([&told] { told = true; });
    ASSERT_TRUE(Paint(drawer)) << drawer.LastError();
    kill(sway_, SIGKILL);
    waitpid(sway_, nullptr, 0);
    sway_ = 0;
    QElapsedTimer waited;
    waited.start();
    while (!told && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    EXPECT_TRUE(told);
    EXPECT_FALSE(Paint(drawer));
    EXPECT_NE(drawer.LastError().find("Wayland connection was lost"), std::string::npos)
        << drawer.LastError();
    EXPECT_EQ(drawer.CurrentWallpaperFile(), "");
}

// A manual long run (--gtest_also_run_disabled_tests): resident size after the
// first 50 changes and after 2,000, every picture shown before the next.
TEST_F(LayerShellDrawerTest, DISABLED_TwoThousandChanges) {
    const auto resident = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0) {
                return std::stol(line.substr(6));
            }
        }
        return 0L;
    };
    TLayerShellDesktopBackend drawer(socket_);
    ASSERT_TRUE(drawer.Available()) << drawer.LastError();
    long start = 0;
    for (int i = 1; i <= 2000; ++i) {
        ASSERT_TRUE(Paint(drawer)) << drawer.LastError();
        for (int j = 0; j < 5; ++j) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (i == 50) {
            start = resident();
        }
    }
    const long end = resident();
    std::printf("[resident] after 50 changes %ld kB, after 2000 changes %ld kB\n", start, end);
    EXPECT_LT(end - start, 4096);
}

}  // namespace
