// sway's back-end against the real sway, headless, with what it does seen
// from outside: the swaybg it starts for every change, and its arguments.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include <QColor>
#include <QImage>

#include "platform/linux/RunTool.h"
#include "platform/linux/desktop/sway/SwayDesktopBackend.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> CommandLine(pid_t pid) {
    const std::string raw = ReadFileBytes("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\0') {
            args.push_back(raw.substr(start, i - start));
            start = i + 1;
        }
    }
    return args;
}

std::string ProcessName(pid_t pid) {
    std::string comm = ReadFileBytes("/proc/" + std::to_string(pid) + "/comm");
    while (!comm.empty() && comm.back() == '\n') {
        comm.pop_back();
    }
    return comm;
}

// The live processes called `name` whose environment holds `variable`. sway
// starts swaybg detached, so it is found by the runtime folder it inherits.
std::vector<pid_t> Processes(const std::string& name, const std::string& variable) {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || ProcessName(pid) != name) {
            continue;
        }
        const std::string stat = ReadFileBytes("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.compare(close, 4, ") Z ") == 0) {
            continue;
        }
        const std::string environ = ReadFileBytes("/proc/" + std::to_string(pid) + "/environ");
        if (environ.find(std::string(1, '\0') + variable + std::string(1, '\0')) !=
                std::string::npos ||
            environ.rfind(variable + std::string(1, '\0'), 0) == 0) {
            found.push_back(pid);
        }
    }
    if (proc) {
        closedir(proc);
    }
    return found;
}

// A headless sway with its own configuration and runtime folder. As root,
// sway refuses to start unless it runs in a user namespace of its own.
class SwayBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string runtime = dir_.Path() + "/runtime";
        std::filesystem::create_directories(runtime);
        // sway runs as another user in its namespace when started by root.
        chmod(runtime.c_str(), 0777);
        chmod(dir_.Path().c_str(), 0755);
        original_ = dir_.Path() + "/original picture.png";
        WriteFileBytes(original_, PngBytes());
        WriteFileBytes(dir_.Path() + "/config", "set $pic \"" + original_ +
                                                    "\"\n"
                                                    "# the desktop's own background\n"
                                                    "output * {\n"
                                                    "    bg $pic fill\n"
                                                    "}\n" +
                                                    extraConfig_);
        sway_ = fork();
        if (sway_ == 0) {
            chdir(dir_.Path().c_str());
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            setenv("WLR_BACKENDS", "headless", 1);
            setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
            setenv("WLR_RENDERER", "pixman", 1);
            setenv("WLR_HEADLESS_OUTPUTS", std::to_string(outputs_).c_str(), 1);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            const std::string config = dir_.Path() + "/config";
            if (geteuid() == 0) {
                execlp("unshare", "unshare", "--user", "sway", "-c", config.c_str(), nullptr);
            } else {
                execlp("sway", "sway", "-c", config.c_str(), nullptr);
            }
            _exit(127);
        }
        for (int i = 0; i < 200 && socket_.empty(); ++i) {
            std::this_thread::sleep_for(25ms);
            for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
                if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) {
                    socket_ = entry.path().string();
                }
            }
        }
        ASSERT_FALSE(socket_.empty()) << "sway did not start (scripts/install-deps installs it)";
        runtimeVariable_ = "XDG_RUNTIME_DIR=" + runtime;
    }

    void TearDown() override {
        if (sway_ > 0) {
            kill(sway_, SIGTERM);
            for (int i = 0; i < 100 && waitpid(sway_, nullptr, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(20ms);
            }
            if (kill(sway_, SIGKILL) == 0) {
                waitpid(sway_, nullptr, 0);
            }
        }
    }

    static std::string PngBytes() {
        // A 1x1 red PNG.
        static const unsigned char png[] = {
            0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
            0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
            0x00, 0x90, 0x77, 0x53, 0xde, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x08,
            0xd7, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xdd, 0x8d,
            0xb0, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
        return std::string(reinterpret_cast<const char*>(png), sizeof png);
    }

    std::vector<pid_t> Running() const { return Processes("swaybg", runtimeVariable_); }

    // Waits until the headless output (`output`, or all), as grim grabs it,
    // shows `colour` at its middle; prints what it saw.
    bool ScreenShows(QColor colour, const std::string& output = "") {
        const std::string runtime = dir_.Path() + "/runtime";
        std::string wayland;
        for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                wayland = name;
            }
        }
        const std::string shot = dir_.Path() + "/shot.png";
        QColor seen;
        for (int i = 0; i < 100; ++i) {
            std::vector<std::string> grim{"env", "XDG_RUNTIME_DIR=" + runtime,
                                          "WAYLAND_DISPLAY=" + wayland, "grim"};
            if (!output.empty()) {
                grim.insert(grim.end(), {"-o", output});
            }
            grim.push_back(shot);
            RunTool(grim);
            const QImage image(QString::fromStdString(shot));
            seen =
                image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
            if (seen == colour) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        std::printf("[pixels] sway output %s middle: want %s seen %s\n", output.c_str(),
                    colour.name().toStdString().c_str(), seen.name().toStdString().c_str());
        return seen == colour;
    }

    // The arguments of the one swaybg sway runs once it has settled after a
    // change; the previous one (`before`) must have gone.
    std::vector<std::string> Swaybg(pid_t before = 0) {
        for (int i = 0; i < 200; ++i) {
            const std::vector<pid_t> running = Running();
            if (running.size() == 1 && running.front() != before) {
                last_ = running.front();
                return CommandLine(last_);
            }
            std::this_thread::sleep_for(25ms);
        }
        ADD_FAILURE() << "no new swaybg";
        return {};
    }

    TTempDir dir_;
    int outputs_ = 1;
    std::string extraConfig_;
    pid_t sway_ = -1;
    std::string runtimeVariable_;
    pid_t last_ = 0;
    std::string socket_;
    std::string original_;
};

std::string Argument(const std::vector<std::string>& args, const std::string& flag) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == flag) {
            return args[i + 1];
        }
    }
    return "<missing " + flag + ">";
}

std::string LinkTarget(const std::string& link) {
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

}  // namespace

TEST_F(SwayBackendTest, ShowsEachPictureAndPutsTheConfiguredOneBack) {
    TSwayDesktopBackend sway(socket_, {dir_.Path() + "/links"});
    EXPECT_EQ(Argument(Swaybg(), "-i"), original_);
    EXPECT_EQ(sway.CurrentWallpaperFile(), original_) << sway.LastError();
    EXPECT_EQ(sway.CurrentPlacement(), dpOther);  // fill
    const std::string state = sway.SaveState();

    EXPECT_TRUE(ScreenShows(Qt::red));
    const std::string plain = dir_.Path() + "/vantoria.bmp";
    QImage blue(4, 4, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(QString::fromStdString(plain), "BMP"));
    ASSERT_TRUE(sway.SetPlacement(dpTile));
    ASSERT_TRUE(sway.SetWallpaperFile(plain, false)) << sway.LastError();
    std::vector<std::string> args = Swaybg(last_);
    EXPECT_EQ(Argument(args, "-i"), plain);
    EXPECT_EQ(Argument(args, "-m"), "tile");
    EXPECT_TRUE(ScreenShows(Qt::blue));
    EXPECT_EQ(sway.CurrentWallpaperFile(), plain);
    EXPECT_EQ(sway.CurrentPlacement(), dpTile);

    // The same name again is shown anew: sway starts another swaybg.
    sway.SetPlacement(dpStretch);
    ASSERT_TRUE(sway.SetWallpaperFile(plain, false)) << sway.LastError();
    EXPECT_EQ(Argument(Swaybg(last_), "-m"), "stretch");
    // A picture that stays up: swaybg could read it.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Running(), std::vector<pid_t>{last_});

    ASSERT_TRUE(sway.SetWallpaperFile("", true)) << sway.LastError();
    args = Swaybg(last_);
    EXPECT_EQ(Argument(args, "-c"), "#000000");
    EXPECT_EQ(Argument(args, "-i"), "<missing -i>");
    EXPECT_EQ(sway.CurrentWallpaperFile(), "");

    ASSERT_TRUE(sway.RestoreState(state)) << sway.LastError();
    args = Swaybg(last_);
    EXPECT_EQ(Argument(args, "-i"), original_);
    EXPECT_EQ(Argument(args, "-m"), "fill");
    EXPECT_EQ(sway.CurrentWallpaperFile(), original_);
    EXPECT_TRUE(ScreenShows(Qt::red));
}

// Two outputs of different sizes side by side.
class SwayTwoOutputsTest : public SwayBackendTest {
protected:
    SwayTwoOutputsTest() {
        outputs_ = 2;
        extraConfig_ =
            "output HEADLESS-1 mode 800x600 position 0 0\n"
            "output HEADLESS-2 mode 640x480 position 800 0\n";
    }
};

TEST_F(SwayTwoOutputsTest, EachOutputItsPictureThenTheConfiguredOneOnBoth) {
    TSwayDesktopBackend sway(socket_, {dir_.Path() + "/links"});
    EXPECT_NE(sway.MonitorFiles(), nullptr);
    ASSERT_TRUE(ScreenShows(Qt::red, "HEADLESS-2"));
    const std::string state = sway.SaveState();
    std::vector<TMonitorFile> files;
    for (const auto& [name, colour, x] :
         {std::tuple{"HEADLESS-1", Qt::green, 0}, std::tuple{"HEADLESS-2", Qt::blue, 800}}) {
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(colour);
        // A name sway would interpret, reached through a link of the output's own.
        const std::string file = dir_.Path() + "/" + name + " $(x).bmp";
        ASSERT_TRUE(picture.save(QString::fromStdString(file), "BMP"));
        // The second, under XWayland's name for it, is found by its place.
        files.push_back({TMonitor{x == 0 ? name : "XWAYLAND1", x, 0, 640, 480, x == 0}, file});
    }
    sway.SetPlacement(dpStretch);
    ASSERT_TRUE(sway.SetMonitorWallpaperFiles(files, false)) << sway.LastError();
    EXPECT_TRUE(ScreenShows(Qt::green, "HEADLESS-1"));
    EXPECT_TRUE(ScreenShows(Qt::blue, "HEADLESS-2"));
    EXPECT_EQ(sway.CurrentWallpaperFile(), files[0].file);

    ASSERT_TRUE(sway.RestoreState(state)) << sway.LastError();
    EXPECT_TRUE(ScreenShows(Qt::red, "HEADLESS-1"));
    EXPECT_TRUE(ScreenShows(Qt::red, "HEADLESS-2"));
}

TEST_F(SwayBackendTest, NoPathIsEverInterpreted) {
    TSwayDesktopBackend sway(socket_, {dir_.Path() + "/not plain/links", dir_.Path() + "/links"});
    Swaybg();
    const std::string pwned = dir_.Path() + "/pwned";
    for (const std::string& name :
         {std::string("it's \"a\" $(touch pwned) `touch pwned`.png"),
          std::string("a;exec touch pwned,b.png"), std::string("two  spaces\\ and\nline.png"),
          std::string("$HOME ~ * [x] {y} #z \xff\xfe.png")}) {
        const std::string hostile = dir_.Path() + "/" + name;
        WriteFileBytes(hostile, PngBytes());
        ASSERT_TRUE(sway.SetWallpaperFile(hostile, false)) << name << ": " << sway.LastError();
        const std::string shown = Argument(Swaybg(last_), "-i");
        EXPECT_TRUE(TSwayDesktopBackend::IsPlainPath(shown)) << shown;
        EXPECT_EQ(shown.rfind(dir_.Path() + "/links/", 0), 0u) << shown;
        EXPECT_EQ(LinkTarget(shown), hostile);
        EXPECT_EQ(sway.CurrentWallpaperFile(), hostile);
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(std::filesystem::exists(pwned));
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() + "/not plain"));

    // Without a private folder for the link, nothing is handed over.
    TSwayDesktopBackend noFolder(socket_, {dir_.Path() + "/not plain"});
    EXPECT_FALSE(noFolder.SetWallpaperFile(dir_.Path() + "/a b.png", false));
    EXPECT_NE(noFolder.LastError().find("characters"), std::string::npos);
}

TEST_F(SwayBackendTest, DamagedRecordsAndAbsentSwayChangeNothing) {
    TSwayDesktopBackend sway(socket_, {dir_.Path() + "/links"});
    Swaybg();
    for (const std::string& record :
         {std::string("other\n"), std::string("sway-backgrounds\n*\n"),
          std::string("sway-backgrounds\n*\t%2Ftmp%2Fx.png%20fill%3Bexec%20touch%20pwned\n"),
          std::string("sway-backgrounds\n%2A%20HDMI\t%2Fx.png%20fill\n")}) {
        EXPECT_FALSE(sway.RestoreState(record)) << record;
        EXPECT_NE(sway.LastError().find("damaged"), std::string::npos);
    }
    EXPECT_EQ(Running(), std::vector<pid_t>{last_});

    TSwayDesktopBackend absent(dir_.Path() + "/no-socket", {dir_.Path()});
    EXPECT_FALSE(absent.SetWallpaperFile(original_, false));
    EXPECT_FALSE(absent.CurrentWallpaperFile().has_value());
    EXPECT_NE(absent.LastError().find("cannot reach sway"), std::string::npos);
    EXPECT_EQ(TSwayDesktopBackend(std::string(), {}).SaveState(), "");
}

TEST(SwayConfigTest, BackgroundsAsSwayReadsThem) {
    const TSwayConfig config = ParseSwayConfig(
        "set $dir /usr/share/backgrounds\n"
        "set $dir2 /srv\n"
        "output HDMI-A-1 resolution 1920x1080 bg $dir2/b.png fit #102030 scale 2\n"
        "  # output * bg /commented.png fill\n"
        "output \"Dell Inc. U2415\" {\n"
        "    background '/with space.jpg' center\n"
        "}\n"
        "output * bg \\\n"
        "    #334455 solid_color\n"
        "output DP-1 bg ~/x.png tile\n");
    ASSERT_EQ(config.backgrounds.size(), 4u);
    EXPECT_EQ(config.backgrounds[0].output, "HDMI-A-1");
    EXPECT_EQ(config.backgrounds[0].arguments, "$dir2/b.png fit #102030");
    EXPECT_EQ(config.backgrounds[1].output, "\"Dell Inc. U2415\"");
    EXPECT_EQ(config.backgrounds[1].arguments, "'/with space.jpg' center");
    EXPECT_EQ(config.backgrounds[2].arguments, "#334455 solid_color");

    EXPECT_EQ(SwayBackgroundFile(config.backgrounds[0].arguments, config.variables), "/srv/b.png");
    EXPECT_EQ(SwayBackgroundFile(config.backgrounds[1].arguments, config.variables),
              "/with space.jpg");
    EXPECT_EQ(SwayBackgroundFile(config.backgrounds[2].arguments, config.variables), "");
    EXPECT_EQ(SwayBackgroundFile(config.backgrounds[3].arguments, config.variables),
              std::string(getenv("HOME")) + "/x.png");
    // Command substitution in a configuration is never run here.
    EXPECT_EQ(SwayBackgroundFile("/a$(touch /tmp/vantoria-pwned).png fill", {}),
              "/a$(touch /tmp/vantoria-pwned).png");
    EXPECT_FALSE(std::filesystem::exists("/tmp/vantoria-pwned"));
}
