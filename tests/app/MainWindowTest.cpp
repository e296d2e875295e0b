// The main window as the user meets it: its make-up, the command table with
// its buttons, shortcuts and popup menu, the enabling rule, the Options
// hand-over to the settings dialog, Reset to Default, minimising to the tray
// (and to the taskbar where there is no tray) and moving the borderless window.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <memory>
#include <vector>

#include "../dialogs/ModalHelper.h"
#include "app/CommandTable.h"
#include "app/Main.h"
#include "dialogs/RadioGroup.h"
#include "dialogs/SettingsBox.h"
#include "platform/TrayService.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/MainDialogs.h"
#include "support/Recorders.h"
#include "support/TempDir.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
            WriteFileBytes(dir.File(name), "x");
            files.push_back(dir.File(name));
        }
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        services.tray = &tray;
        dialogs.settings = [this] { return ShowSettingsDialog(&messages); };
        services.dialogs = &dialogs;
        frm = std::make_unique<TfrmMain>(services);
    }
    void TearDown() override {
        frm.reset();
        RegSetStore(nullptr);
    }
    void ShowActive() {
        frm->show();
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    }
    QToolButton* Button(const char* action) {
        return frm->findChild<QToolButton*>(QStringLiteral("btn_") + QLatin1String(action));
    }

    TTempDir dir;
    std::vector<std::string> files;
    std::shared_ptr<TMemoryRegistryStore> store;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1920, 1080, 32}};
    TRecordingApplier applier;
    TRecordingTray tray;
    TAnsweringDialogs dialogs;
    TMainServices services;
    std::unique_ptr<TfrmMain> frm;
};

QImage Picture(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}

}  // namespace

TEST_F(MainWindow, IsABorderlessPanelWithACaptionBarAndThreeCaptionedGroups) {
    EXPECT_EQ(frm->size(), QSize(347, 98));
    EXPECT_TRUE(frm->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(frm->windowTitle(), "Vantoria");
    auto* caption = frm->findChild<QLabel*>("AdvToolBarPager1Caption");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), "Vantoria 2.2");

    const std::vector<std::pair<const char*, std::vector<const char*>>> groups{
        {"Navigation", {"actFirst", "actPrev", "actNext", "actLast", "actRun"}},
        {"Settings",
         {"actLoadList", "actSetup", "actResetDefault", "actRemoveWallPaper", "actShowClock",
          "actAbout"}},
        {"Close", {"actExit", "actMinimize"}},
    };
    int n = 1;
    for (const auto& [title, actions] : groups) {
        const QString bar = QStringLiteral("AdvToolBar%1").arg(n++);
        auto* label = frm->findChild<QLabel*>(bar + "Caption");
        ASSERT_NE(label, nullptr) << title;
        EXPECT_EQ(label->text(), title);
        int i = 0;
        for (const char* name : actions) {
            QToolButton* b = Button(name);
            ASSERT_NE(b, nullptr) << name;
            EXPECT_EQ(b->parentWidget()->objectName(), bar) << name;
            EXPECT_EQ(b->geometry(), QRect(2 + 23 * i++, 2, 23, 22)) << name;
            EXPECT_EQ(b->defaultAction()->objectName(), name);
            EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
        }
    }
    EXPECT_NE(Button("actExit")->toolTip().indexOf("Close Vantoria application"), -1);
}

TEST_F(MainWindow, CommandsCarryTheirCaptionsHintsShortcutsAndPictures) {
    const auto& table = CommandTable();
    ASSERT_EQ(frm->Actions().size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        QAction* a = frm->Actions()[i];
        EXPECT_EQ(a->objectName(), table[i].name);
        EXPECT_EQ(a->text(), table[i].caption);
        EXPECT_EQ(a->toolTip(), QString(table[i].hint).isEmpty() ? a->text() : table[i].hint);
        EXPECT_EQ(a->shortcut(), QKeySequence(table[i].shortcut ? table[i].shortcut : ""));
        ASSERT_FALSE(a->icon().isNull()) << table[i].name << ": the command pictures are built in";
        EXPECT_EQ(Picture(a->icon()), Picture(CommandImage(table[i].image))) << table[i].name;
    }
    EXPECT_EQ(frm->actRun->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_EQ(frm->actResetDefault->shortcut(), QKeySequence("Ctrl+D")) << "Ctrl+R is Run's";
    EXPECT_EQ(frm->actLoadList->shortcut(), QKeySequence("Ctrl+Alt+L"));
    // Every command picture is a different drawing.
    for (int i = 0; i < 15; ++i)
        for (int k = i + 1; k < 15; ++k)
            EXPECT_NE(Picture(CommandImage(i)), Picture(CommandImage(k))) << i << " " << k;
}

// The icons drawn at build time are the SVG pictures as Qt's SVG engine draws
// them, at every size the tool bar, menus, window manager and tray ask for.
TEST(DrawnIcons, AreTheSvgPicturesAtEverySizeShown) {
    struct TRow {
        QIcon drawn;
        QString svg;
        QList<QSize> sizes;
    };
    std::vector<TRow> rows;
    for (int i = 0; i < 15; ++i) {
        rows.push_back({CommandImage(i),
                        QStringLiteral(":/images/%1.svg").arg(i, 2, 10, QChar('0')),
                        {{16, 16}, {32, 32}}});
    }
    rows.push_back(
        {ProgramWindowIcon(), ":/images/vantoria.svg", {{16, 16}, {32, 32}, {64, 64}, {128, 128}}});
    rows.push_back({ProgramTrayIcon(),
                    ":/images/vantoria.svg",
                    {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {44, 44}, {48, 48}, {64, 64}}});
    for (const TRow& row : rows) {
        EXPECT_EQ(row.drawn.availableSizes(), row.sizes) << row.svg.toStdString();
        const QIcon svg(row.svg);
        for (const QSize& size : row.sizes) {
            EXPECT_EQ(row.drawn.pixmap(size).toImage(), svg.pixmap(size).toImage())
                << row.svg.toStdString() << " at " << size.width();
        }
    }
    EXPECT_TRUE(CommandImage(15).isNull());
}

TEST_F(MainWindow, PopupMenuListsTheCommandsWithShowVantoriaAsDefault) {
    ASSERT_EQ(tray.menu, frm->PopupMenu) << "the tray opens the main window's menu";
    const QStringList expected{
        "Show Vantoria",       "Run Slide Show",   "Shuffle",    "Hide Clock", "-",
        "First Slide",         "PrevSlide",        "Next Slide", "Last Slide", "-",
        "Keep this wallpaper", "Reset to Default", "Load List",  "-",          "Options",
        "More Options...",     "About Vantoria",   "-",          "Exit"};
    frm->SetClockVisible(true);
    QStringList items;
    for (QAction* a : frm->PopupMenu->actions())
        items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items, expected);
    EXPECT_EQ(frm->PopupMenu->defaultAction(), frm->actRestore);
    EXPECT_TRUE(frm->actShowClock->isChecked());
}

TEST_F(MainWindow, SlideShowCommandsAreDisabledEverywhereOnAnEmptyList) {
    ShowActive();
    frm->ActionList1Update();
    for (QAction* a : {frm->actFirst, frm->actNext, frm->actPrev, frm->actLast, frm->actRun}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        EXPECT_FALSE(Button(a->objectName().toLatin1().constData())->isEnabled());
    }
    for (QAction* a :
         {frm->actLoadList, frm->actSetup, frm->actResetDefault, frm->actRemoveWallPaper,
          frm->actShowClock, frm->actAbout, frm->actExit, frm->actMinimize, frm->actRestore}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    for (QAction* a : frm->PopupMenu->actions()) {
        if (a == frm->actFirst || a == frm->actRun) {
            EXPECT_FALSE(a->isEnabled());
        }
    }
    // Their shortcuts do nothing either.
    QTest::keyClick(frm.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClick(frm.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(frm.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(applier.applied.empty());
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_TRUE(messages.shown.empty()) << "no 'playlist is empty' box from a disabled command";

    frm->SlideShow().SetPlaylist(files);
    frm->ActionList1Update();
    EXPECT_TRUE(Button("actFirst")->isEnabled());
    QTest::keyClick(frm.get(), Qt::Key_L, Qt::ControlModifier);
    ASSERT_EQ(applier.applied.size(), 1u);
    EXPECT_EQ(applier.applied[0], files[4]);
}

TEST_F(MainWindow, RunButtonShowsStopWhileTheShowRuns) {
    frm->SlideShow().SetPlaylist(files);
    frm->ActionList1Update();
    const QImage run = Picture(CommandImage(4));
    const QImage stop = Picture(CommandImage(11));
    EXPECT_EQ(Picture(Button("actRun")->icon()), run);
    frm->StartSlideShow();
    EXPECT_EQ(frm->actRun->text(), "Stop Slide Show");
    EXPECT_EQ(Picture(Button("actRun")->icon()), stop);
    frm->StopSlideShow();
    EXPECT_EQ(Picture(Button("actRun")->icon()), run);
}

TEST_F(MainWindow, OptionsConfirmedStopsTheShowAndAppliesTheFirstEntryWithTheNewStyle) {
    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(4);
    frm->Settings().FStyle = wsStretch;
    frm->Settings().FChangeTime = 90;
    frm->StartSlideShow();
    bool sawStoredValues = false;
    AnswerNextDialog([&sawStoredValues](QDialog* d) {
        auto* s = qobject_cast<TfrmSettings*>(d);
        // The dialog starts from the values in use, saved just before.
        sawStoredValues = s->edtTime->text() == "00:01:30" && s->edtStyle->ItemIndex() == 2;
        s->edtStyle->Item(1)->click();
        s->btnOK->click();
    });
    frm->actSetup->trigger();
    EXPECT_TRUE(sawStoredValues);
    EXPECT_FALSE(frm->SlideShow().Running()) << "the show is not restarted";
    EXPECT_EQ(frm->Settings().FStyle, wsCenter);
    ASSERT_EQ(applier.applied.size(), 1u);
    EXPECT_EQ(applier.applied[0], files[0]);
    EXPECT_EQ(applier.choices[0].style, wsCenter);
}

TEST_F(MainWindow, OptionsCancelledStopsTheShowAndChangesNothing) {
    frm->SlideShow().SetPlaylist(files);
    frm->Settings().FStyle = wsTile;
    frm->SlideShow().SetPosition(3);
    frm->StartSlideShow();
    AnswerNextDialog([](QDialog* d) {
        auto* s = qobject_cast<TfrmSettings*>(d);
        s->edtStyle->Item(2)->click();
        s->btnCancel->click();
    });
    frm->actSetup->trigger();
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(frm->Settings().FStyle, wsTile);
    EXPECT_EQ(frm->SlideShow().Position(), 3);
    EXPECT_TRUE(applier.applied.empty());
}

TEST_F(MainWindow, ResetToDefaultTouchesTheDesktopOnlyAfterAChange) {
    applier.FOriginalStyle = wsCenter;
    applier.FOriginalWallpaper = "/usr/share/backgrounds/original.png";
    frm->Settings().FStyle = wsStretch;
    frm->actResetDefault->trigger();
    EXPECT_EQ(frm->Settings().FStyle, wsCenter);
    EXPECT_TRUE(applier.applied.empty());

    frm->SlideShow().SetPlaylist(files);
    frm->ActionList1Update();
    frm->actFirst->trigger();
    frm->Settings().FStyle = wsStretch;
    frm->actResetDefault->trigger();
    ASSERT_EQ(applier.applied.size(), 2u);
    EXPECT_EQ(applier.applied[1], "/usr/share/backgrounds/original.png");
    EXPECT_EQ(applier.choices[1].style, wsCenter);
}

TEST_F(MainWindow, MinimiseGoesToTheTrayAndADoubleClickComesBack) {
    frm->show();
    frm->actMinimize->trigger();
    EXPECT_FALSE(frm->isVisible()) << "no window and no taskbar entry while in the tray";
    EXPECT_TRUE(tray.visible);
    EXPECT_FALSE(frm->ShowMainWindow);
    frm->actMinimize->trigger();
    EXPECT_TRUE(tray.visible) << "twice in a row: still the one icon";

    tray.DoubleClick();
    EXPECT_TRUE(frm->isVisible());
    EXPECT_FALSE(frm->isMinimized());
    EXPECT_FALSE(tray.visible);
    EXPECT_TRUE(frm->ShowMainWindow);

    // The platform's own minimise takes the same road.
    frm->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !frm->isVisible(); }));
    EXPECT_TRUE(tray.visible);
    frm->PopupMenu->defaultAction()->trigger();
    EXPECT_TRUE(frm->isVisible());
    EXPECT_FALSE(tray.visible);
}

TEST_F(MainWindow, WithoutATrayHostMinimiseGoesToTheTaskbar) {
    tray.host = false;
    frm->show();
    frm->actMinimize->trigger();
    EXPECT_TRUE(frm->isVisible()) << "hiding would leave no way back";
    EXPECT_TRUE(frm->isMinimized());
    EXPECT_FALSE(tray.visible);
    frm->actRestore->trigger();
    EXPECT_FALSE(frm->isMinimized());
    EXPECT_TRUE(frm->isVisible());
}

TEST_F(MainWindow, APressOnThePagerOutsideTheButtonsMovesTheWindow) {
    frm->move(100, 100);
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    QWidget* pager = frm->findChild<QWidget*>("AdvToolBarPager1");
    ASSERT_NE(pager, nullptr);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        const QPoint start = frm->pos();
        // On the caption bar, and on a group's caption below its buttons.
        for (QPoint at :
             {QPoint(60, 8),
              frm->findChild<QWidget*>("AdvToolBar2Caption")->mapTo(pager, QPoint(20, 5))}) {
            const QPoint before = frm->pos();
            QTest::mousePress(pager, button, {}, at);
            QTest::mouseMove(pager, at + QPoint(30, 20));
            QTest::mouseRelease(pager, button, {}, at + QPoint(30, 20));
            EXPECT_EQ(frm->pos(), before + QPoint(30, 20));
        }
        EXPECT_EQ(frm->pos(), start + QPoint(60, 40));
    }
    // A press on a button runs its command and does not move the window.
    const QPoint before = frm->pos();
    QTest::mouseClick(Button("actShowClock"), Qt::LeftButton);
    EXPECT_EQ(frm->pos(), before);
}

// A dark desktop: the pages and groups take its colours, and the group
// captions stay readable on them.
TEST_F(MainWindow, FollowsADarkPalette) {
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    frm = std::make_unique<TfrmMain>(services);
    const QImage shot = frm->grab().toImage();
    QApplication::setPalette(light);
    const auto* caption = frm->findChild<QLabel*>(QStringLiteral("AdvToolBar1Caption"));
    ASSERT_NE(caption, nullptr);
    const QColor behind = shot.pixelColor(caption->mapTo(frm.get(), QPoint(2, 2)));
    EXPECT_LT(behind.lightness(), 128) << behind.name().toStdString();
    EXPECT_GE(caption->palette().color(QPalette::WindowText).lightness() - behind.lightness(), 100);
}

// The keyboard alone: every command of the window has a key of its own, Tab
// reaches the buttons and Enter presses the one in focus.
TEST_F(MainWindow, EveryCommandFromTheKeyboard) {
    QList<QKeySequence> keys;
    for (QAction* a : frm->Actions()) {
        if (a != frm->actRestore) {
            EXPECT_FALSE(a->shortcut().isEmpty()) << a->objectName().toStdString();
            EXPECT_FALSE(keys.contains(a->shortcut())) << a->objectName().toStdString();
            keys.append(a->shortcut());
        }
    }
    ShowActive();
    QToolButton* clock = Button("actShowClock");
    clock->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(clock->hasFocus());
    QSignalSpy pressed(frm->actShowClock, &QAction::triggered);
    QTest::keyClick(clock, Qt::Key_Return);
    EXPECT_TRUE(pressed.wait(2000));
}
