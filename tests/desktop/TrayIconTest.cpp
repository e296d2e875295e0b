// The tray icon against a real tray host (trayer, an XEmbed tray) on a
// private X server: one icon exactly while in the tray, its tooltip, its
// buttons, a slowly restarting host, and the taskbar when no host is there
// until one comes.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <memory>

#include "app/Main.h"
#include "desktop/CoolTrayIcon.h"
#include "platform/linux/tray/TrayHostMonitor.h"
#include "registry/MemoryRegistryStore.h"
#include "support/Recorders.h"

namespace {

// The icons of this program embedded in trayer's panel, with their places on
// the screen, read from the X server's window tree.
std::vector<QPoint> IconsInTray() {
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!xwininfo.waitForFinished(10000)) {
        return {};
    }
    const QString app = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString ourClass = QStringLiteral("(\"%1\" ").arg(app);
    static const QRegularExpression place(QStringLiteral(R"(\s\+(-?\d+)\+(-?\d+)\s*$)"));
    std::vector<QPoint> icons;
    int panelIndent = -1;
    for (const QString& line :
         QString::fromLocal8Bit(xwininfo.readAllStandardOutput()).split('\n')) {
        const int indent = int(line.indexOf(QRegularExpression(QStringLiteral("\\S"))));
        if (indent < 0) {
            continue;
        }
        if (line.contains(QStringLiteral("(\"panel\" \"trayer\")"))) {
            panelIndent = indent;
            continue;
        }
        if (panelIndent >= 0 && indent <= panelIndent && line.contains(QStringLiteral("0x"))) {
            panelIndent = -1;
        }
        if (panelIndent >= 0 && line.contains(ourClass)) {
            const auto m = place.match(line);
            if (m.hasMatch()) {
                icons.emplace_back(m.captured(1).toInt(), m.captured(2).toInt());
            }
        }
    }
    return icons;
}

// Whether trayer's panel is on the screen.
bool TrayerPanelShown() {
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    return xwininfo.waitForFinished(10000) &&
           xwininfo.readAllStandardOutput().contains("(\"panel\" \"trayer\")");
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, ms);
}

class TrayIcon : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            GTEST_SKIP() << "trayer and xdotool are needed (scripts/install-deps)";
        }
        RegSetStore(std::make_shared<TMemoryRegistryStore>());
        StartHost();
        hosts = std::make_unique<TLinuxTrayHostMonitor>();
        tray =
            std::make_unique<TCoolTrayIcon>(QIcon(QStringLiteral(":/images/vantoria.svg")), *hosts);
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        services.tray = tray.get();
        frm = std::make_unique<TfrmMain>(services);
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    void TearDown() override {
        frm.reset();
        tray.reset();
        hosts.reset();
        StopHost();
        RegSetStore(nullptr);
    }
    void StartHost() {
        host = std::make_unique<QProcess>();
        host->start(QStringLiteral("trayer"),
                    {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height",
                     "24", "--SetDockType", "false"});
        ASSERT_TRUE(host->waitForStarted());
        ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
        ASSERT_TRUE(WaitFor([] { return TrayerPanelShown(); }));
    }
    void StopHost() {
        if (host) {
            host->terminate();
            host->waitForFinished(5000);
            host.reset();
        }
    }
    static void Xdotool(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        ASSERT_TRUE(p.waitForFinished(10000));
    }
    void Click(const QPoint& icon, const QString& button, int times = 1) {
        const QPoint at = icon + QPoint(8, 8);
        Xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "--repeat",
                 QString::number(times), "--delay", "80", button});
    }

    std::unique_ptr<QProcess> host;
    std::unique_ptr<TLinuxTrayHostMonitor> hosts;
    std::unique_ptr<TCoolTrayIcon> tray;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1024, 768, 32}};
    TRecordingApplier applier;
    TMainServices services;
    std::unique_ptr<TfrmMain> frm;
};

}  // namespace

TEST_F(TrayIcon, MinimisePutsExactlyOneIconInTheTrayAndRestoreTakesItAway) {
    EXPECT_TRUE(IconsInTray().empty()) << "no icon while the window is shown";
    frm->actMinimize->trigger();
    frm->actMinimize->trigger();
    ASSERT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    EXPECT_FALSE(frm->isVisible());
    frm->actRestore->trigger();
    EXPECT_TRUE(WaitFor([] { return IconsInTray().empty(); }));
    EXPECT_TRUE(frm->isVisible());
}

TEST_F(TrayIcon, TooltipFollowsTheHint) {
    tray->SetHint("Vantoria a.jpg");
    frm->actMinimize->trigger();
    ASSERT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    EXPECT_EQ(tray->ToolTip(), "Vantoria a.jpg");
    tray->SetHint("Vantoria b.jpg");
    EXPECT_EQ(tray->ToolTip(), "Vantoria b.jpg") << "while in the tray the tip changes at once";
}

TEST_F(TrayIcon, RightClickOpensTheMenuLeftClickDoesNothingDoubleClickRestores) {
    frm->actMinimize->trigger();
    ASSERT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    const QPoint icon = IconsInTray()[0];

    Click(icon, "1");
    Click(icon, "3");
    ASSERT_TRUE(WaitFor([this] { return frm->PopupMenu->isVisible(); }));
    // The left click came first and changed nothing.
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(IconsInTray().size(), 1u);
    frm->PopupMenu->close();
    ASSERT_TRUE(WaitFor([this] { return !frm->PopupMenu->isVisible(); }));

    Click(icon, "1", 2);
    EXPECT_TRUE(WaitFor([this] { return frm->isVisible(); }));
    EXPECT_TRUE(WaitFor([] { return IconsInTray().empty(); }));
    EXPECT_TRUE(frm->ShowMainWindow);
}

TEST_F(TrayIcon, ASlowHostRestartBringsTheIconBackAndAHostGoneForGoodTheWindow) {
    frm->actMinimize->trigger();
    ASSERT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    StopHost();
    ASSERT_TRUE(WaitFor([] { return IconsInTray().empty(); }));
    // A panel that takes its time to restart pops nothing up meanwhile.
    QTest::qWait(6000);
    EXPECT_FALSE(frm->isVisible());
    StartHost();
    EXPECT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    ASSERT_TRUE(WaitFor([this] { return tray->HostAvailable(); }));
    EXPECT_TRUE(tray->IconVisible());
    EXPECT_FALSE(frm->isVisible()) << "a restart does not change the state";

    // Gone for good: after the grace time the window is the way back.
    StopHost();
    EXPECT_TRUE(WaitFor([this] { return frm->isVisible(); }, TCoolTrayIcon::kHostGraceMs + 8000));
    EXPECT_FALSE(tray->IconVisible());
    EXPECT_TRUE(frm->ShowMainWindow);
}

TEST_F(TrayIcon, RestartingTheHostWhileTheWindowIsShownAddsNoIcon) {
    StopHost();
    StartHost();
    // A minimise afterwards shows that the new host works.
    EXPECT_TRUE(IconsInTray().empty());
    frm->actMinimize->trigger();
    EXPECT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
}

TEST_F(TrayIcon, WithoutATrayHostMinimiseKeepsATaskbarEntryUntilATrayComes) {
    StopHost();
    ASSERT_TRUE(WaitFor([this] { return !tray->HostAvailable(); }));
    frm->actMinimize->trigger();
    EXPECT_TRUE(frm->isVisible());
    EXPECT_TRUE(WaitFor([this] { return frm->isMinimized(); }));
    EXPECT_FALSE(tray->IconVisible());
    frm->actRestore->trigger();
    EXPECT_TRUE(WaitFor([this] { return !frm->isMinimized() && frm->isVisible(); }));

    // A start before the panel: the minimised window joins the tray that comes.
    frm->actMinimize->trigger();
    ASSERT_TRUE(WaitFor([this] { return frm->isMinimized(); }));
    StartHost();
    EXPECT_TRUE(WaitFor([] { return IconsInTray().size() == 1; }));
    EXPECT_TRUE(WaitFor([this] { return !frm->isVisible(); }));
    EXPECT_FALSE(frm->ShowMainWindow);
}

TEST(TrayTip, HintsAreCutAt127BytesNeverInsideACharacter) {
    const std::string exact(127, 'a');
    EXPECT_EQ(TCoolTrayIcon::TipText(exact), exact);
    EXPECT_EQ(TCoolTrayIcon::TipText(exact + "b"), exact);
    // "é" is two bytes in UTF-8; cut after its first byte it would turn the
    // whole tip into Latin-1 garbage.
    const std::string utf8 = std::string(126, 'a') + "\xC3\xA9" + "z";
    EXPECT_EQ(TCoolTrayIcon::TipText(utf8), std::string(126, 'a'));
    // Bytes that are not UTF-8 are cut where they are.
    const std::string latin1 = std::string(126, 'a') + "\xE9\xE9";
    EXPECT_EQ(TCoolTrayIcon::TipText(latin1), std::string(126, 'a') + "\xE9");
}
