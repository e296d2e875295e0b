#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Services.h"
#include "app/Settings.h"

class QAction;
class QMenu;
struct TWMWTSSessionChange;
class TfrmClock;
class TfrmList;

// The main window: owns the program's state for its whole life (the playlist
// and the position in it, the working copy of the settings) and carries the
// slide show, the commands and the start-up and shutdown sequences.
class TfrmMain : public QWidget, public TSettings {
    Q_OBJECT
public:
    explicit TfrmMain(const TMainServices& services, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Start-up and shutdown.
    void FormCreate();
    void StartUp();
    void PrepareState();
    void FormDestroy();

    // Settings.
    void LoadSettings();
    void SaveSettings();
    void SaveAutoplay();

    // Slide show.
    void ShowCurrentSlide();
    void FirstSlide();
    void LastSlide();
    void NextSlide();
    void PrevSlide();
    void StartSlideShow();
    void StopSlideShow();
    void SetRunning(bool on);
    void SlideTimerTimer();

    // Wallpaper.
    void SetWallpaper(const std::string& fileName);
    void ResetToDefault();
    // The desk's monitors changed: the picture on screen is composed anew
    // for the new layout, once a burst of changes has settled.
    void MonitorsChanged();

    // The desktop clock.
    void SetClockVisible(bool visible);
    void ReleaseClock();
    // The clock window while it is wanted, and clocks released but not yet
    // destroyed (their position still has to come back).
    QPointer<TfrmClock> frmClock;
    std::vector<QPointer<TfrmClock>> FReleasedClocks;

    // Minimise to the tray and back.
    void MinimizeApplication();
    void RestoreApplication();

    // Command handlers.
    void actFirstExecute();
    void actNextExecute();
    void actPrevExecute();
    void actLastExecute();
    void actRunExecute();
    void actSetupExecute();
    void actResetDefaultExecute();
    void actLoadListExecute();
    void actAboutExecute();
    void actRestoreExecute();
    void actExitExecute();
    void actMinimizeExecute();
    void actRemoveWallPaperExecute();
    void actShowClockExecute();
    void ActionList1Update();

    // Changes of the log-on session: lock, switch and the like stop the
    // show; log-off ends the program in order.
    void WMWTSSessionChange(TWMWTSSessionChange& message);
    // A mouse press on the toolbar pager outside its buttons: asks the window
    // manager to move the window; false where none can (the pager then drags
    // the window itself).
    bool AdvToolBarPager1MouseDown(Qt::MouseButton button, const QPoint& pos);

    // The playlist in memory and the state of the show.
    std::vector<std::string> FPlayList;
    bool FRunning = false;
    // The playlist entry the show last put on the desktop, and its file;
    // -1 before any and after the desktop got another picture by Reset to
    // Default or Remove Wallpaper.
    std::int32_t FShownEntry = -1;
    std::string FShownFile;
    // Whether the main window is shown when the event loop starts, and while
    // the program is not in the tray.
    bool ShowMainWindow = true;

    QTimer SlideTimer;
    // Collects a burst of monitor changes into one MonitorsChanged.
    QTimer MonitorTimer;

    // The command set, in the order of the action list.
    QAction* actFirst = nullptr;
    QAction* actNext = nullptr;
    QAction* actPrev = nullptr;
    QAction* actLast = nullptr;
    QAction* actRun = nullptr;
    QAction* actSetup = nullptr;
    QAction* actResetDefault = nullptr;
    QAction* actLoadList = nullptr;
    QAction* actAbout = nullptr;
    QAction* actRestore = nullptr;
    QAction* actExit = nullptr;
    QAction* actMinimize = nullptr;
    QAction* actRemoveWallPaper = nullptr;
    QAction* actShowClock = nullptr;
    std::vector<QAction*> ActionList1;
    QMenu* PopupMenu = nullptr;

    const TMainServices& Services() const { return FServices; }

    // Dialog hand-overs, replaceable so that tests can answer for the user.
    // Each returns true when the dialog was confirmed.
    std::function<bool()> ShowSettingsDialogFn;
    std::function<void()> ShowAboutBoxFn;
    // The playlist editor for the Load List command; tests give one whose
    // dialogs answer for the user.
    std::function<std::unique_ptr<TfrmList>()> CreatePlaylistEditorFn;

    // The Load List command: the playlist goes to the editor and, when it is
    // confirmed, comes back with its file name and import folder.
    void EditPlaylist();

signals:
    // The application is asked to end (Exit, close request, log-off).
    void terminateRequested();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void CreateActions();
    void BuildWindow();
    void SetRunAction(bool running);
    // Runs a command; an exception that escapes it reaches the error report.
    void RunCommand(const std::function<void()>& command);

    TMainServices FServices;
    // Missing files whose box is open now.
    std::set<std::string> FMissingFileBoxes;
    bool FCreated = false;
    bool FDestroyed = false;
};
