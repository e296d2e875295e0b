#include "support/desktop/ProgramOnDesktop.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <map>

namespace {

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
// The letter box's fill colour: #3366CC, stored as 0x00BBGGRR.
constexpr std::uint32_t kFill = 0x3366CC;
constexpr const char* kFillSetting = "dword:00cc6633";

// Centres of the main window's buttons in its layout: the pager at (4, 4),
// its page 22 pixels lower, the groups and 23-pixel buttons in them.
const std::map<std::string, std::pair<int, int>> kButtons{
    {"actNext", {4 + 3 + 2 + 23 * 2 + 11, 4 + 22 + 3 + 2 + 11}},
    {"actResetDefault", {4 + 127 + 2 + 23 * 2 + 11, 4 + 22 + 3 + 2 + 11}},
};

QImage Stripes(int width, int height, const std::vector<std::uint32_t>& colours) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    const int stripe = width / int(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i) {
        p.fillRect(int(i) * stripe, 0, stripe, height, QColor::fromRgb(colours[i]));
    }
    return image;
}

}  // namespace

TProgramOnDesktop::TProgramOnDesktop(TRealDesktop& desktop, std::vector<TPixelCheck> original)
    : d_(desktop), original_(std::move(original)) {
    // Names a shell or a script would interpret: they must reach the desktop untouched.
    const std::string folder = d_.Root() + "/slides $(x) 'q'";
    std::filesystem::create_directories(folder);
    letterBox_ = folder + "/wide \"red\".png";
    tile_ = folder + "/tile;red`blue`.png";
    centre_ = folder + "/-centre.png";
    Stripes(400, 100, {kRed}).save(QString::fromStdString(letterBox_));
    Stripes(100, 100, {kRed, kBlue}).save(QString::fromStdString(tile_));
    Stripes(200, 100, {kRed, kBlue}).save(QString::fromStdString(centre_));
}

std::vector<TPixelCheck> TProgramOnDesktop::LetterBoxChecks() const {
    return LetterBoxChecks(0, 0, d_.Width(), d_.Height());
}

std::vector<TPixelCheck> TProgramOnDesktop::LetterBoxChecks(int left, int top, int w, int h) {
    // A 400x100 picture letter-boxed: as wide as the screen, a quarter as
    // high, centred; the bands above and below in the fill colour.
    const int band = (h - w / 4) / 2;
    const int x = left + w * 3 / 4;
    std::vector<TPixelCheck> checks{
        {x, band / 2, kFill},  {x, band - 8, kFill},     {x, band + 8, kRed},     {x, h / 2, kRed},
        {w - 20, h / 2, kRed}, {x, h - band + 8, kFill}, {x, h - band / 2, kFill}};
    for (TPixelCheck& check : checks) {
        check.y += top;
    }
    checks[4].x += left;
    return checks;
}

std::vector<TPixelCheck> TProgramOnDesktop::LetterBoxChecks(
    const std::vector<TMonitorSpec>& monitors) {
    std::vector<TPixelCheck> checks;
    for (const TMonitorSpec& m : monitors) {
        const std::vector<TPixelCheck> one = LetterBoxChecks(m.x, m.y, m.width, m.height);
        checks.insert(checks.end(), one.begin(), one.end());
    }
    return checks;
}

std::vector<TPixelCheck> TProgramOnDesktop::TileChecks() const {
    // A 100x100 picture, red on the left half and blue on the right, tiled
    // from the top left corner.
    return {{525, 425, kRed},  {575, 425, kBlue}, {725, 525, kRed},
            {775, 525, kBlue}, {425, 125, kRed},  {475, 175, kBlue}};
}

std::vector<TPixelCheck> TProgramOnDesktop::CentreChecks() const {
    // A 200x100 picture, red on the left half and blue on the right, in the
    // middle of the screen at its own size.
    const int x = d_.Width() / 2, y = d_.Height() / 2;
    return {{x - 90, y - 40, kRed},
            {x - 10, y + 40, kRed},
            {x + 10, y - 40, kBlue},
            {x + 90, y + 40, kBlue}};
}

bool TProgramOnDesktop::Click(TProcessId program, const std::string& action) {
    const TToolRun found = d_.Run(
        {"xdotool", "search", "--sync", "--onlyvisible", "--pid", std::to_string(program)}, 20000);
    if (found.exitCode != 0 || found.out.empty()) {
        return false;
    }
    const std::string window = found.out.substr(0, found.out.find('\n'));
    const auto [x, y] = kButtons.at(action);
    // Out of the way of every check, then the button as a user clicks it.
    d_.Run({"xdotool", "windowmove", "--sync", window, "0", "0"}, 10000);
    return d_.Run({"xdotool", "mousemove", "--window", window, std::to_string(x), std::to_string(y),
                   "click", "1"},
                  10000)
               .exitCode == 0;
}

void TProgramOnDesktop::LetterBoxResetAndOrderlyExit() {
    std::vector<std::pair<std::string, std::string>> settings{
        {"Autoplay", "dword:00000000"}, {"Style", "dword:00000002"},
        {"Stretch", "dword:00000001"},  {"Color", kFillSetting},
        {"Current", "dword:00000000"},  {"ShowClock", "dword:00000000"}};
    d_.WriteSettings(settings, {letterBox_});
    const TProcessId run = d_.StartVantoria();
    ASSERT_TRUE(Click(run, "actNext")) << "the main window never showed";
    ASSERT_TRUE(d_.WaitForPixels("letter box: bands in the fill colour, picture in the middle",
                                 LetterBoxChecks()));
    EXPECT_TRUE(std::filesystem::exists(d_.RecordPath()));
    ASSERT_TRUE(Click(run, "actResetDefault"));
    EXPECT_TRUE(d_.WaitForPixels("original after Reset to Default", original_));
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(run), 0);
    EXPECT_TRUE(d_.WaitForPixels("original after Reset and the close request", original_));

    // Shown at start this time, and ended by the close request alone.
    settings[0].second = "dword:00000002";
    d_.WriteSettings(settings, {letterBox_});
    const TProcessId second = d_.StartVantoria();
    ASSERT_TRUE(d_.WaitForPixels("letter box shown at start", LetterBoxChecks()));
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(second), 0);
    EXPECT_TRUE(d_.WaitForPixels("original after the close request", original_));
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath())) << "the original is back: no record";
}

void TProgramOnDesktop::TileKillNineThenQuietRun(bool centre) {
    d_.WriteSettings({{"Autoplay", "dword:00000002"},
                      {"Style", centre ? "dword:00000001" : "dword:00000000"},
                      {"Current", "dword:00000000"},
                      {"ShowClock", "dword:00000000"}},
                     {centre ? centre_ : tile_});
    const std::vector<TPixelCheck> checks = centre ? CentreChecks() : TileChecks();
    const TProcessId victim = d_.StartVantoria();
    ASSERT_TRUE(d_.WaitForPixels(centre ? "centred picture" : "tiled picture", checks));
    d_.Kill9(victim);
    EXPECT_TRUE(d_.Shows(checks)) << "the killed program's picture stays";
    ASSERT_TRUE(std::filesystem::exists(d_.RecordPath()));

    // The next run changes nothing: no autoplay, no command.
    d_.WriteSettings({{"Autoplay", "dword:00000000"}, {"ShowClock", "dword:00000000"}});
    const TProcessId quiet = d_.StartVantoria();
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(quiet), 0);
    EXPECT_TRUE(d_.WaitForPixels("original after kill -9 and a quiet run", original_));
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath()));
}

void TProgramOnDesktop::WriteLetterBoxAtStart(bool keep) {
    d_.WriteSettings({{"Autoplay", "dword:00000002"},
                      {"Style", "dword:00000002"},
                      {"Stretch", "dword:00000001"},
                      {"Color", kFillSetting},
                      {"Current", "dword:00000000"},
                      {"ShowClock", "dword:00000000"},
                      {"KeepWallpaper", keep ? "dword:00000001" : "dword:00000000"}},
                     {letterBox_});
}

void TProgramOnDesktop::KeepWallpaperThenResetNextRun() {
    WriteLetterBoxAtStart(true);
    const TProcessId run = d_.StartVantoria();
    ASSERT_TRUE(d_.WaitForPixels("letter box shown at start", LetterBoxChecks()));
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(run), 0);
    EXPECT_TRUE(
        d_.WaitForPixels("the kept letter box after the close request", LetterBoxChecks(), 3000));
    EXPECT_TRUE(std::filesystem::exists(d_.RecordPath())) << "the record of the original went";

    d_.WriteSettings({{"Autoplay", "dword:00000000"}, {"ShowClock", "dword:00000000"}},
                     {letterBox_});
    const TProcessId next = d_.StartVantoria();
    ASSERT_TRUE(Click(next, "actResetDefault")) << "the main window never showed";
    EXPECT_TRUE(d_.WaitForPixels("original after Reset to Default in the next run", original_));
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(next), 0);
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath())) << "the original is back: no record";
}

void TProgramOnDesktop::MonitorsLetterBoxAndOrderlyExit() {
    WriteLetterBoxAtStart();
    const TProcessId run = d_.StartVantoria();
    ASSERT_TRUE(d_.WaitForPixels("a letter box of its own on every monitor",
                                 LetterBoxChecks(d_.Monitors())));
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(run), 0);
    EXPECT_TRUE(d_.WaitForPixels("every monitor's original after the close request", original_));
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath()));
}

void TProgramOnDesktop::MonitorsKillNineThenQuietRun(const std::vector<TMonitorSpec>& plugged,
                                                     const std::function<bool()>& afterPlug) {
    const std::vector<TMonitorSpec> desk = d_.Monitors();
    WriteLetterBoxAtStart();
    const TProcessId victim = d_.StartVantoria();
    ASSERT_TRUE(
        d_.WaitForPixels("a letter box of its own on every monitor", LetterBoxChecks(desk)));
    if (!plugged.empty()) {
        ASSERT_TRUE(d_.SetMonitors(plugged)) << d_.Error();
        if (!afterPlug || afterPlug()) {
            ASSERT_TRUE(d_.WaitForPixels("the monitor plugged in gets its own letter box",
                                         LetterBoxChecks({plugged.back()})));
        }
    }
    d_.Kill9(victim);
    ASSERT_TRUE(std::filesystem::exists(d_.RecordPath()));
    d_.WriteSettings({{"Autoplay", "dword:00000000"}, {"ShowClock", "dword:00000000"}});
    const TProcessId quiet = d_.StartVantoria();
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(quiet), 0);
    EXPECT_TRUE(
        d_.WaitForPixels("every monitor's original after kill -9 and a quiet run", original_));
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath()));
}

void TProgramOnDesktop::ForbiddenChangesLeaveTheScreen(const std::string& warning) {
    d_.WriteSettings({{"Autoplay", "dword:00000002"},
                      {"Style", "dword:00000000"},
                      {"Current", "dword:00000000"},
                      {"ShowClock", "dword:00000000"}},
                     {tile_});
    const TProcessId run = d_.StartVantoria();
    const std::string name = d_.NameOf(run);
    ASSERT_TRUE(d_.WaitForLog(name, warning, 20000)) << "no warning with \"" << warning << "\"";
    ASSERT_TRUE(d_.SendCloseRequest());
    EXPECT_EQ(d_.WaitForExit(run), 0);
    EXPECT_TRUE(d_.WaitForPixels("locked: the original stays", original_, 2000));
    const std::string log = d_.Log(name);
    EXPECT_EQ(log.find(warning), log.rfind(warning)) << "one warning only:\n" << log;
    EXPECT_FALSE(std::filesystem::exists(d_.RecordPath()));
}
