// The real program in the tray of the real xfce4-panel: as a
// StatusNotifierItem (a click is the host's Activate and shows the window,
// the menu works), as an XEmbed icon for a program that sees no watcher on
// its bus, and through a panel restart that takes longer than a moment.
#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <memory>

#include "support/TempDir.h"
#include "support/desktop/TrayOnDesktop.h"

namespace {

// The default panel along the top edge, its tray at the right.
const TrayOnDesktop::TArea kTray{512, 0, 512, 40};
// The program paints the bare root window: with no xfdesktop running, the
// XFCE back-end would only warn.
const std::map<std::string, std::string> kPlainX11{{"XDG_CURRENT_DESKTOP", ""}};

class PanelTrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        slide = pictures.File("slide.png");
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(0x3050C0);
        ASSERT_TRUE(image.save(QString::fromStdString(slide)));
        TRealDesktopOptions options;
        options.env = {{"XDG_CURRENT_DESKTOP", "XFCE"}, {"XFCE_PANEL_MIGRATE_DEFAULT", "1"}};
        d = std::make_unique<TRealDesktop>(options);
        ASSERT_TRUE(d->Ready()) << d->Error();
        d->PrintVersion({"xfce4-panel", "--version"});
        d->Launch("openbox", {"openbox"});
        StartPanel();
    }
    void TearDown() override {
        if (HasFailure() && d) {
            d->DumpLogs();
        }
    }
    void StartPanel() {
        panel = d->Launch("xfce4-panel", {"xfce4-panel", "--sm-client-disable"});
        ASSERT_TRUE(d->WaitForBusName("org.kde.StatusNotifierWatcher", 30000));
    }

    TTempDir pictures;
    std::string slide;
    std::unique_ptr<TRealDesktop> d;
    TProcessId panel = -1;
};

}  // namespace

TEST_F(PanelTrayTest, StatusNotifierItemAndXEmbedIconsWork) {
    ASSERT_NO_FATAL_FAILURE(TrayOnDesktop::ClickShowsWindowMenuExits(*d, kTray, slide, kPlainX11));
    // A program on a bus of its own finds no watcher: Qt docks an XEmbed
    // icon, whose double click shows the window.
    const std::string bus = "unix:path=" + d->RuntimeDir() + "/xembed-bus";
    d->Launch("xembed-bus", {"dbus-daemon", "--session", "--nofork", "--address=" + bus});
    ASSERT_NO_FATAL_FAILURE(TrayOnDesktop::ClickShowsWindowMenuExits(
        *d, kTray, slide, {{"XDG_CURRENT_DESKTOP", ""}, {"DBUS_SESSION_BUS_ADDRESS", bus}}, 2));
}

TEST_F(PanelTrayTest, ASlowPanelRestartKeepsTheProgramInTheTray) {
    d->WriteSettings({{"Autoplay", "dword:00000002"}, {"ShowClock", "dword:00000000"}}, {slide});
    const TProcessId run = d->StartVantoria(kPlainX11);
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] { return TrayOnDesktop::FindIcon(*d, kTray).has_value(); }, 30000));
    d->Stop(panel);
    // Longer than a moment, shorter than the grace time: nothing pops up.
    EXPECT_FALSE(TRealDesktop::WaitFor([&] { return TrayOnDesktop::WindowShown(*d, run); }, 6000));
    ASSERT_NO_FATAL_FAILURE(StartPanel());
    EXPECT_TRUE(TRealDesktop::WaitFor(
        [&] { return TrayOnDesktop::FindIcon(*d, kTray).has_value(); }, 20000))
        << "the icon did not come back to the restarted panel";
    EXPECT_FALSE(TrayOnDesktop::WindowShown(*d, run));
    ASSERT_TRUE(d->SendCloseRequest());
    EXPECT_EQ(d->WaitForExit(run), 0);
}

// StartInTray, on trayer (an XEmbed tray) at the bottom right: the program
// starts with its icon in the tray and no window, without showing a slide.
TEST(StartInTray, TheIconAndNoWindow) {
    TRealDesktop d;
    ASSERT_TRUE(d.Ready()) << d.Error();
    d.Launch("openbox", {"openbox"});
    d.Launch("trayer", {"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                        "--height", "24", "--SetDockType", "false"});
    ASSERT_TRUE(TRealDesktop::WaitFor(
        [&] {
            return d.Run({"xdotool", "search", "--name", "^panel$"}).exitCode == 0;
        },
        20000));
    d.WriteSettings({{"StartInTray", "dword:00000001"}, {"ShowClock", "dword:00000000"}});
    const TProcessId run = d.StartVantoria(kPlainX11);
    const TrayOnDesktop::TArea tray{d.Width() / 2, d.Height() - 24, d.Width() / 2, 24};
    EXPECT_TRUE(
        TRealDesktop::WaitFor([&] { return TrayOnDesktop::FindIcon(d, tray).has_value(); }, 20000))
        << "no icon in trayer";
    EXPECT_FALSE(TrayOnDesktop::WindowShown(d, run));
    ASSERT_TRUE(d.SendCloseRequest());
    EXPECT_EQ(d.WaitForExit(run), 0);
}
