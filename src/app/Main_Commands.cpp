// The command set: one action per row of the command table, the popup menu
// built from them, and what each command does.

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "app/CommandTable.h"
#include "app/Main.h"
#include "platform/MessageService.h"
#include "platform/Translate.h"
#include "wallpaper/WallpaperApplier.h"

void TfrmMain::CreateActions() {
    QAction** targets[] = {
        &actFirst,           &actNext,     &actPrev,  &actLast,    &actRun,  &actSetup,
        &actResetDefault,    &actLoadList, &actAbout, &actRestore, &actExit, &actMinimize,
        &actRemoveWallPaper, &actShowClock};
    const auto& table = CommandTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TCommandRow& row = table[i];
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(row.name));
        action->setText(tr(row.caption));
        action->setToolTip(tr(row.hint));
        action->setStatusTip(tr(row.hint));
        if (row.shortcut) {
            action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        action->setProperty("imageIndex", row.image);
        action->setIcon(CommandImage(row.image));
        *targets[i] = action;
        ActionList1.push_back(action);
        addAction(action);  // shortcuts act while the main window is active
    }
    actShowClock->setCheckable(true);
    actShuffle = new QAction(tr("Shuffle"), this);
    actShuffle->setObjectName(QStringLiteral("actShuffle"));
    actShuffle->setStatusTip(tr("Show the playlist in a random order"));
    actShuffle->setCheckable(true);
    actMoreOptions = new QAction(tr("More Options..."), this);
    actMoreOptions->setObjectName(QStringLiteral("actMoreOptions"));
    actKeepWallpaper = new QAction(tr("Keep this wallpaper"), this);
    actKeepWallpaper->setObjectName(QStringLiteral("actKeepWallpaper"));
    actKeepWallpaper->setStatusTip(
        tr("Stop the show and leave this picture on the desktop when Vantoria ends"));

    const std::pair<QAction*, void (TfrmMain::*)()> handlers[] = {
        {actFirst, &TfrmMain::actFirstExecute},
        {actNext, &TfrmMain::actNextExecute},
        {actPrev, &TfrmMain::actPrevExecute},
        {actLast, &TfrmMain::actLastExecute},
        {actRun, &TfrmMain::actRunExecute},
        {actSetup, &TfrmMain::actSetupExecute},
        {actResetDefault, &TfrmMain::actResetDefaultExecute},
        {actLoadList, &TfrmMain::actLoadListExecute},
        {actAbout, &TfrmMain::actAboutExecute},
        {actRestore, &TfrmMain::actRestoreExecute},
        {actExit, &TfrmMain::actExitExecute},
        {actMinimize, &TfrmMain::actMinimizeExecute},
        {actRemoveWallPaper, &TfrmMain::actRemoveWallPaperExecute},
        {actShowClock, &TfrmMain::actShowClockExecute},
        {actShuffle, &TfrmMain::actShuffleExecute},
        {actMoreOptions, &TfrmMain::actMoreOptionsExecute},
        {actKeepWallpaper, &TfrmMain::actKeepWallpaperExecute},
    };
    for (const auto& [action, handler] : handlers) {
        connect(action, &QAction::triggered, this, [this, handler] {
            RunCommand([this, handler] { (this->*handler)(); });
            ActionList1Update();
        });
    }
    // The popup menu shows the checked state; a click flips it through the handler.
    connect(actShowClock, &QAction::triggered, this,
            [this] { actShowClock->setChecked(FSettings.FShowClock); });

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    for (QAction* a :
         {actRestore, actRun, actShuffle, actShowClock, static_cast<QAction*>(nullptr), actFirst,
          actPrev, actNext, actLast, static_cast<QAction*>(nullptr), actKeepWallpaper,
          actResetDefault, actLoadList, static_cast<QAction*>(nullptr), actSetup, actMoreOptions,
          actAbout, static_cast<QAction*>(nullptr), actExit}) {
        if (a) {
            PopupMenu->addAction(a);
        } else {
            PopupMenu->addSeparator();
        }
    }
    PopupMenu->setDefaultAction(actRestore);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(mapToGlobal(pos)); });
    connect(PopupMenu, &QMenu::aboutToShow, this, &TfrmMain::ActionList1Update);
    ActionList1Update();
}

void TfrmMain::RunCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        FServices.messages->ReportException(e.what());
    } catch (...) {
        FServices.messages->ReportException(TrText("TfrmMain", "Unknown error"));
    }
}

namespace {
// A move that fails leaves the show at its first entry, silently.
template <typename F>
void Navigate(TSlideShow& show, F move) {
    try {
        move();
    } catch (...) {
        show.SetPosition(0);
    }
}
}  // namespace

void TfrmMain::actFirstExecute() {
    Navigate(FShow, [this] { FirstSlide(); });
}
void TfrmMain::actNextExecute() {
    Navigate(FShow, [this] { NextSlide(); });
}
void TfrmMain::actPrevExecute() {
    Navigate(FShow, [this] { PrevSlide(); });
}
void TfrmMain::actLastExecute() {
    Navigate(FShow, [this] { LastSlide(); });
}

void TfrmMain::actShuffleExecute() {
    FSettings.FOrder = FSettings.FOrder == 1 ? 0 : 1;
    FShow.SetShuffle(FSettings.FOrder == 1);
    try {
        settings::EnsureKey();
        settings::Write(settings::kOrder, FSettings.FOrder);
    } catch (...) {
        // Kept in the working copy; the settings are written again at the end.
    }
}

void TfrmMain::actMoreOptionsExecute() {
    TSettings chosen = FSettings;
    if (!FServices.dialogs || !FServices.dialogs->ShowMoreOptions(chosen)) {
        return;
    }
    FSettings.FOrder = chosen.FOrder;
    FSettings.FKeepWallpaper = chosen.FKeepWallpaper;
    FSettings.FStartInTray = chosen.FStartInTray;
    FSettings.FRecursive = chosen.FRecursive;
    FShow.SetShuffle(FSettings.FOrder == 1);
    FShow.SetRecursive(FSettings.FRecursive);
    SaveSettings();
}

void TfrmMain::actKeepWallpaperExecute() {
    StopSlideShow();
    FKeepThisRun = true;
}

void TfrmMain::actRunExecute() {
    if (FShow.Running()) {
        SetRunning(false);
        return;
    }
    NextSlide();
    SetRunning(true);
    MinimizeApplication();
}

void TfrmMain::actSetupExecute() {
    try {
        StopSlideShow();
        SaveSettings();
        const bool confirmed = FServices.dialogs && FServices.dialogs->ShowSettings();
        LoadSettings();
        update();
        QCoreApplication::processEvents();
        if (confirmed && !FShow.Empty()) {
            ShowCurrentSlide();
        }
    } catch (...) {
        // Options ends silently on any failure.
    }
}

void TfrmMain::actResetDefaultExecute() {
    try {
        ResetToDefault();
    } catch (...) {
    }
}

void TfrmMain::actLoadListExecute() {
    EditPlaylist();
}

void TfrmMain::actAboutExecute() {
    try {
        if (FServices.dialogs) {
            FServices.dialogs->ShowAbout();
        }
    } catch (...) {
    }
}

void TfrmMain::actRestoreExecute() {
    RestoreApplication();
}

void TfrmMain::actExitExecute() {
    close();
}

void TfrmMain::actMinimizeExecute() {
    MinimizeApplication();
}

void TfrmMain::actShowClockExecute() {
    FSettings.FShowClock = !FSettings.FShowClock;
    SetClockVisible(FSettings.FShowClock);
}
