// The real GNOME Shell 43 (X11 mode on a private Xvfb, dconf on a private
// session bus, an empty system bus in place of logind's) drawing the program's
// pictures: letter box and tiles where the geometry puts them, light and dark
// pictures, and the original back on screen after Reset to Default, the close
// request, and a kill -9 followed by a run that changes nothing; a dconf lock
// leaves the screen as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <memory>

#include "platform/linux/RunTool.h"
#include "support/TempDir.h"
#include "support/desktop/ProgramOnDesktop.h"

namespace {

// The originals: two colours side by side, zoomed to the screen.
const std::vector<TPixelCheck> kLight{
    {200, 300, 0x00A000}, {600, 300, 0xFFFF00}, {100, 550, 0x00A000}, {700, 550, 0xFFFF00}};
const std::vector<TPixelCheck> kDark{
    {200, 300, 0xFF00FF}, {600, 300, 0x00FFFF}, {100, 550, 0xFF00FF}, {700, 550, 0x00FFFF}};

std::string Halves(const std::string& path, QColor left, QColor right) {
    QImage image(80, 60, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 40, 60, left);
    p.fillRect(40, 0, 40, 60, right);
    p.end();
    image.save(QString::fromStdString(path));
    return "file://" + path;
}

class GnomeShellDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        light = Halves(pictures.File("light.png"), QColor(0x00, 0xA0, 0x00), Qt::yellow);
        dark = Halves(pictures.File("dark.png"), Qt::magenta, Qt::cyan);
    }

    void Set(TRealDesktop& d, const std::string& schema, const std::string& key,
             const std::string& value) {
        EXPECT_EQ(d.Run({"gsettings", "set", schema, key, value}).exitCode, 0) << key;
    }

    // gnome-shell on a private 800x600 display, out of its overview, showing
    // `original`.
    std::unique_ptr<TRealDesktop> StartGnome(const std::vector<TPixelCheck>& original,
                                             std::map<std::string, std::string> env = {},
                                             bool setOriginal = true) {
        env["XDG_CURRENT_DESKTOP"] = "GNOME";
        env["XDG_SESSION_TYPE"] = "x11";
        auto d = std::make_unique<TRealDesktop>(
            TRealDesktopOptions{.width = 800, .height = 600, .systemBus = true, .env = env});
        if (!d->Ready()) {
            ADD_FAILURE() << d->Error();
            return nullptr;
        }
        d->PrintVersion({"gnome-shell", "--version"});
        if (setOriginal) {
            const char* bg = "org.gnome.desktop.background";
            Set(*d, bg, "picture-uri", "'" + light + "'");
            Set(*d, bg, "picture-uri-dark", "'" + dark + "'");
            Set(*d, bg, "picture-options", "'zoom'");
        }
        Set(*d, "org.gnome.desktop.notifications", "show-banners", "false");
        d->Launch("gnome-shell", {"gnome-shell", "--x11"});
        if (!d->WaitForLog("gnome-shell", "GNOME Shell started", 60000)) {
            d->DumpLogs();
            ADD_FAILURE() << "gnome-shell did not start";
            return nullptr;
        }
        // It starts in the overview; leaving it is ignored until the shell
        // is ready for it, so ask until it reads back false.
        const bool left = TRealDesktop::WaitFor(
            [&] {
                d->Run({"gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o",
                        "/org/gnome/Shell", "-m", "org.freedesktop.DBus.Properties.Set",
                        "org.gnome.Shell", "OverviewActive", "<false>"});
                return d->Run({"gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o",
                               "/org/gnome/Shell", "-m", "org.freedesktop.DBus.Properties.Get",
                               "org.gnome.Shell", "OverviewActive"})
                           .out.find("<false>") != std::string::npos;
            },
            30000);
        if (!left || !d->WaitForPixels("gnome-shell shows the original", original, 30000)) {
            d->DumpLogs();
            ADD_FAILURE() << "gnome-shell never showed the original";
            return nullptr;
        }
        return d;
    }

    TTempDir pictures;
    std::string light, dark;
};

}  // namespace

TEST_F(GnomeShellDesktopTest, PicturesLightAndDarkAndTheOriginalOnScreen) {
    auto d = StartGnome(kLight);
    ASSERT_TRUE(d);
    {
        TProgramOnDesktop program(*d, kLight);
        program.LetterBoxResetAndOrderlyExit();
    }
    // Under a dark colour scheme the shell draws picture-uri-dark: the
    // program's pictures and the dark original must both be there.
    Set(*d, "org.gnome.desktop.interface", "color-scheme", "'prefer-dark'");
    ASSERT_TRUE(d->WaitForPixels("dark original", kDark));
    TProgramOnDesktop program(*d, kDark);
    // GNOME Shell 43 on Xvfb draws tiles magnified, whatever their size:
    // the placement checked here is the centred one.
    program.TileKillNineThenQuietRun(true);
    if (HasFailure()) {
        d->DumpLogs();
    }
}

TEST_F(GnomeShellDesktopTest, DconfLockLeavesTheScreenAsItWas) {
    // An administrator's dconf database with the background locked, reached
    // through this session's own profile.
    const std::string keyfiles = pictures.File("db.d");
    std::filesystem::create_directories(keyfiles + "/locks");
    WriteFileBytes(keyfiles + "/background", "[org/gnome/desktop/background]\npicture-uri='" +
                                                 light + "'\npicture-options='zoom'\n");
    WriteFileBytes(keyfiles + "/locks/background",
                   "/org/gnome/desktop/background/picture-uri\n"
                   "/org/gnome/desktop/background/picture-uri-dark\n"
                   "/org/gnome/desktop/background/picture-options\n");
    const std::string db = pictures.File("locked");
    ASSERT_EQ(RunTool({"dconf", "compile", db, keyfiles}).exitCode, 0);
    WriteFileBytes(pictures.File("profile"), "user-db:user\nfile-db:" + db + "\n");

    auto d = StartGnome(kLight, {{"DCONF_PROFILE", pictures.File("profile")}}, false);
    ASSERT_TRUE(d);
    TProgramOnDesktop program(*d, kLight);
    program.ForbiddenChangesLeaveTheScreen("policy forbids wallpaper changes");
    if (HasFailure()) {
        d->DumpLogs();
    }
}

// Each change reaches the shell as one 24-bit file, the composed bitmap moved
// to the name the shell shows, which reloads it; nothing else is left in the
// data folder.
TEST_F(GnomeShellDesktopTest, EachChangeIsOneFileTheShellShows) {
    auto d = StartGnome(kLight);
    ASSERT_TRUE(d);
    const std::vector<std::uint32_t> colours{0xFF0000, 0x0000FF};
    std::vector<std::string> slides;
    for (const std::uint32_t colour : colours) {
        slides.push_back(pictures.File(std::to_string(colour) + ".png"));
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(QColor::fromRgb(colour));
        ASSERT_TRUE(image.save(QString::fromStdString(slides.back())));
    }
    d->WriteSettings({{"Autoplay", "dword:00000000"},
                      {"Style", "dword:00000002"},
                      {"Stretch", "dword:00000000"},
                      {"Current", "dword:00000000"},
                      {"ShowClock", "dword:00000000"}},
                     slides);
    const TProcessId run = d->StartVantoria();
    TProgramOnDesktop program(*d, kLight);
    const auto everywhere = [](std::uint32_t colour) {
        return std::vector<TPixelCheck>{{100, 300, colour}, {400, 300, colour}, {700, 550, colour}};
    };
    // The first Next shows either slide; each Next after it the other.
    ASSERT_TRUE(program.Click(run, "actNext")) << "the main window never showed";
    std::size_t shown = colours.size();
    const bool first = TRealDesktop::WaitFor(
        [&] {
            for (std::size_t i = 0; i < colours.size(); ++i) {
                if (d->Shows(everywhere(colours[i]))) {
                    shown = i;
                    return true;
                }
            }
            return false;
        },
        30000);
    if (!first) {
        d->DumpLogs();
    }
    ASSERT_TRUE(first);
    for (int change = 0; change < 3; ++change) {
        if (change > 0) {
            ASSERT_TRUE(program.Click(run, "actNext"));
            shown = (shown + 1) % colours.size();
        }
        if (!d->WaitForPixels("slide " + std::to_string(change), everywhere(colours[shown]))) {
            d->DumpLogs();
            ADD_FAILURE() << "change " << change << " not on screen";
            return;
        }
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(d->DataFolder())) {
            if (entry.path().extension() == ".bmp") {
                files.push_back(entry.path().string());
            }
        }
        ASSERT_EQ(files.size(), 1u) << "change " << change;
        const std::string head = ReadFileBytes(files[0]).substr(0, 30);
        ASSERT_EQ(head.size(), 30u);
        EXPECT_EQ(head[28], 24) << "bits per pixel";
    }
    ASSERT_TRUE(d->SendCloseRequest());
    EXPECT_EQ(d->WaitForExit(run), 0);
    EXPECT_TRUE(d->WaitForPixels("the original after the close request", kLight));
    if (HasFailure()) {
        d->DumpLogs();
    }
}
