// The real program on the harness's X display with no desktop of its own: a
// slide show changes the root window's picture, and the picture found at start
// comes back after the close request, also after a kill -9 and a new start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/linux/ScreenShot.h"
#include "support/TempDir.h"
#include "support/InstanceSocket.h"

// Xlib last: its macros break the test framework's headers.
#include <X11/Xlib.h>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Away from the top left corner, where the program's own window may show.
const std::vector<std::pair<int, int>> kProbe{{1023, 767}, {1010, 10}, {15, 750}, {300, 700}};
const std::set<std::string> kSlides{"FF0000", "0000FF", "FFFF00"};

// The slide colour a pixel shows, allowing for JPEG's small errors; "" for none.
std::string SlideColour(const std::string& hex) {
    if (hex.size() != 6) {
        return "";
    }
    for (const std::string& slide : kSlides) {
        bool near = true;
        for (int c = 0; c < 3; ++c) {
            const int a = std::stoi(hex.substr(2 * c, 2), nullptr, 16);
            const int b = std::stoi(slide.substr(2 * c, 2), nullptr, 16);
            near = near && std::abs(a - b) <= 8;
        }
        if (near) {
            return slide;
        }
    }
    return "";
}

class WallpaperEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("DISPLAY").empty() || Env("XDG_RUNTIME_DIR").empty()) {
            GTEST_SKIP() << "needs tests/support/harness (a private display and runtime folder)";
        }
        // The session's other clients: without one the X server resets
        // whenever the last program disconnects.
        session = XOpenDisplay(nullptr);
        ASSERT_NE(session, nullptr);
        exe = Env("VANTORIA_BINARY_DIR") + "/vantoria";
        record = Env("XDG_DATA_HOME") + "/vantoria/original-wallpaper";
        std::filesystem::remove_all(Env("XDG_CONFIG_HOME") + "/vantoria");
        std::filesystem::remove_all(Env("XDG_DATA_HOME") + "/vantoria");

        // The wallpaper found at start: green tiles from another setter.
        ASSERT_TRUE(MakePicture(dir.File("green.png"), {"-size", "8x8", "xc:#00FF00"}));
        ASSERT_EQ(RunTool({"xwallpaper", "--tile", dir.File("green.png")}).exitCode, 0);
        ASSERT_EQ(Shot(), std::vector<std::string>(kProbe.size(), "00FF00"));

        // Three slides, one with a name no shell or script may interpret.
        const std::vector<std::pair<std::string, std::string>> slides{
            {dir.File("red.png"), "xc:#FF0000"},
            {dir.File("it's \"blue\" $(touch pwned) `x`.jpg"), "xc:#0000FF"},
            {dir.File("yellow.bmp"), "xc:#FFFF00"}};
        std::string list;
        for (const auto& [path, colour] : slides) {
            ASSERT_TRUE(MakePicture(path, {"-size", "40x30", colour, "-type", "TrueColor"}));
            list += path + "\n";
        }
        WriteFileBytes(dir.File("show.vpl"), list);
        std::filesystem::create_directories(Env("XDG_CONFIG_HOME") + "/vantoria");
        WriteFileBytes(Env("XDG_CONFIG_HOME") + "/vantoria/user.reg",
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"
                       "\"Autoplay\"=dword:00000001\r\n"
                       "\"Playlist\"=\"" +
                           dir.File("show.vpl") +
                           "\"\r\n"
                           "\"ChangeTime\"=dword:0000000a\r\n"
                           "\"Style\"=dword:00000002\r\n"
                           "\"Stretch\"=dword:00000000\r\n"
                           "\"Current\"=dword:00000000\r\n"
                           "\"ShowClock\"=dword:00000000\r\n");
    }
    void TearDown() override {
        for (auto* p : started) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
        if (session) {
            XCloseDisplay(session);
        }
    }

    std::vector<std::string> Shot() { return RootPixels(dir.Path(), kProbe); }

    QProcess* Start() {
        auto* p = new QProcess;
        started.push_back(p);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QString::fromStdString(exe), {});
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // Waits until the whole screen shows one of the slides (style Stretch).
    bool WaitForSlide(QProcess* p) {
        for (int i = 0; i < 60; ++i) {
            if (p->state() == QProcess::NotRunning) {
                return false;
            }
            const std::vector<std::string> shot = Shot();
            lastShot.clear();
            for (const std::string& pixel : shot) {
                lastShot += pixel + " ";
            }
            if (shot.size() == kProbe.size() && !SlideColour(shot[0]).empty()) {
                bool uniform = true;
                for (const std::string& pixel : shot) {
                    uniform = uniform && SlideColour(pixel) == SlideColour(shot[0]);
                }
                if (uniform) {
                    return true;
                }
            }
            QThread::msleep(500);
        }
        return false;
    }

    void SendCloseRequest() {
        const std::string path = InstanceSocketPath();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::write(fd, "vantoriamsg", 11), 11);
        ::close(fd);
    }

    TTempDir dir;
    Display* session = nullptr;
    std::string exe, record;
    std::string lastShot;  // the pixels WaitForSlide saw last
    std::vector<QProcess*> started;
};

}  // namespace

TEST_F(WallpaperEndToEndTest, SlideShowChangesTheRootAndTheCloseRequestPutsTheOriginalBack) {
    QProcess* p = Start();
    ASSERT_TRUE(WaitForSlide(p)) << "the root window never showed a slide: " << lastShot;
    EXPECT_TRUE(std::filesystem::exists(record));
    EXPECT_TRUE(std::filesystem::exists(Env("XDG_DATA_HOME") + "/vantoria/vantoria.bmp"));

    SendCloseRequest();
    ASSERT_TRUE(p->waitForFinished(20000)) << "did not end";
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(Shot(), std::vector<std::string>(kProbe.size(), "00FF00"));
    EXPECT_FALSE(std::filesystem::exists(record)) << "the original is back: no record is kept";
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
}

TEST_F(WallpaperEndToEndTest, KillNineThenRestartStillPutsTheOriginalBack) {
    QProcess* victim = Start();
    ASSERT_TRUE(WaitForSlide(victim)) << lastShot;
    ::kill(pid_t(victim->processId()), SIGKILL);
    victim->waitForFinished(5000);
    // The killed program's picture stays; so does the record of the original.
    const std::vector<std::string> left = Shot();
    ASSERT_FALSE(left.empty());
    EXPECT_FALSE(SlideColour(left[0]).empty()) << left[0];
    ASSERT_TRUE(std::filesystem::exists(record));

    QProcess* next = Start();
    ASSERT_TRUE(WaitForSlide(next)) << lastShot;
    SendCloseRequest();
    ASSERT_TRUE(next->waitForFinished(20000)) << "did not end";
    EXPECT_EQ(Shot(), std::vector<std::string>(kProbe.size(), "00FF00"));
    EXPECT_FALSE(std::filesystem::exists(record));
}
