// The real program in a GNOME session (GSettings with its keyfile back-end in
// the harness's private folders): a slide show from a playlist of hostile
// names takes over the wallpaper, light and dark, and the wallpaper found at
// start comes back exactly, also after a kill -9 and a new start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/TempDir.h"
#include "support/InstanceSocket.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

const char kSchema[] = "org.gnome.desktop.background";

std::string Get(const char* key) {
    QProcess p;
    p.start(QStringLiteral("gsettings"), {QStringLiteral("get"), kSchema, key});
    p.waitForFinished(10000);
    return p.readAllStandardOutput().trimmed().toStdString();
}

void Set(const char* key, const char* value) {
    QProcess p;
    p.start(QStringLiteral("gsettings"), {QStringLiteral("set"), kSchema, key, value});
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(p.exitCode(), 0) << key;
}

class GSettingsEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("XDG_RUNTIME_DIR").empty() || Env("GSETTINGS_BACKEND") != "keyfile") {
            GTEST_SKIP() << "needs tests/support/harness and GSETTINGS_BACKEND=keyfile";
        }
        exe = Env("VANTORIA_BINARY_DIR") + "/vantoria";
        data = Env("XDG_DATA_HOME") + "/vantoria";
        std::filesystem::remove_all(Env("XDG_CONFIG_HOME") + "/vantoria");
        std::filesystem::remove_all(data);
        Set("picture-uri", "'file:///usr/share/backgrounds/gnome/original.jpg'");
        Set("picture-uri-dark", "'file:///usr/share/backgrounds/gnome/original-d.jpg'");
        Set("picture-options", "'zoom'");

        // Slides in a folder and under names no shell or script may interpret.
        const std::string folder = dir.File("it's \"odd\" $(touch pwned) \\ \xc3\xa9");
        std::filesystem::create_directories(folder);
        const std::vector<std::pair<std::string, Qt::GlobalColor>> slides{
            {folder + "/a;b `c`.png", Qt::red},
            {folder + "/-blue\t.jpg", Qt::blue},
            {dir.File("yellow \xff.bmp"), Qt::yellow}};
        std::string list;
        for (const auto& [path, colour] : slides) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(colour);
            const std::string format = path.substr(path.size() - 3);
            ASSERT_TRUE(image.save(QString::fromLocal8Bit(path), format.c_str())) << path;
            list += path + "\r\n";
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
                           "\"Style\"=dword:00000001\r\n"
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
    }

    QProcess* Start() {
        auto* p = new QProcess;
        started.push_back(p);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->setWorkingDirectory(QString::fromStdString(dir.Path()));
        // The harness clears the session's desktop name: this one is GNOME.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("ubuntu:GNOME"));
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString(exe), {});
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // Waits until the desktop names the program's picture and that picture
    // holds a slide.
    bool WaitForSlide(QProcess* p) {
        // The desktop gets the bitmap under a name of its own.
        const std::string ours = "'file://" + data + "/vantoria";
        for (int i = 0; i < 60; ++i) {
            if (p->state() == QProcess::NotRunning) {
                return false;
            }
            const std::string uri = Get("picture-uri");
            if (uri.rfind(ours, 0) == 0 && Get("picture-uri-dark") == uri) {
                const QImage shown(
                    QUrl(QString::fromStdString(uri.substr(1, uri.size() - 2))).toLocalFile());
                const QColor centre = shown.isNull()
                                          ? QColor()
                                          : shown.pixelColor(shown.width() / 2, shown.height() / 2);
                // Within JPEG's small errors of one of the slides.
                for (const QColor slide : {QColor(Qt::red), QColor(Qt::blue), QColor(Qt::yellow)}) {
                    if (std::abs(centre.red() - slide.red()) <= 8 &&
                        std::abs(centre.green() - slide.green()) <= 8 &&
                        std::abs(centre.blue() - slide.blue()) <= 8) {
                        return true;
                    }
                }
            }
            QThread::msleep(250);
        }
        return false;
    }

    // Asks the running program to end in order.
    void SendCloseRequest() {
        const std::string path = InstanceSocketPath();
        for (int i = 0; i < 100; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
                ASSERT_EQ(::write(fd, "vantoriamsg", 11), 11);
                ::close(fd);
                return;
            }
            ::close(fd);
            QThread::msleep(100);
        }
        FAIL() << "the program never listened for the close request";
    }

    void ExpectOriginal() {
        EXPECT_EQ(Get("picture-uri"), "'file:///usr/share/backgrounds/gnome/original.jpg'");
        EXPECT_EQ(Get("picture-uri-dark"), "'file:///usr/share/backgrounds/gnome/original-d.jpg'");
        EXPECT_EQ(Get("picture-options"), "'zoom'");
    }

    TTempDir dir;
    std::string exe, data;
    std::vector<QProcess*> started;
};

}  // namespace

TEST_F(GSettingsEndToEndTest, SlideShowTakesOverAndTheOriginalComesBackAfterKillNine) {
    QProcess* victim = Start();
    ASSERT_TRUE(WaitForSlide(victim)) << Get("picture-uri");
    EXPECT_EQ(Get("picture-options"), "'centered'");
    ::kill(pid_t(victim->processId()), SIGKILL);
    victim->waitForFinished(5000);
    ASSERT_TRUE(std::filesystem::exists(data + "/original-wallpaper"));

    QProcess* next = Start();
    ASSERT_TRUE(WaitForSlide(next));
    SendCloseRequest();
    ASSERT_TRUE(next->waitForFinished(20000)) << "did not end";
    EXPECT_EQ(next->exitCode(), 0);
    ExpectOriginal();
    EXPECT_FALSE(std::filesystem::exists(data + "/original-wallpaper"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
}
