#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/Services.h"
#include "settings/Settings.h"
#include "slideshow/SlideShow.h"

class QAction;
class QMenu;
struct TWMWTSSessionChange;
class TfrmClock;

// The main window: holds the program's state for its whole life (the slide
// show with its playlist, the working copy of the settings) and carries the
// commands and the start-up and shutdown sequences.
class TfrmMain : public QWidget, private TSlideShowHost {
    Q_OBJECT
public:
    explicit TfrmMain(const TMainServices& services, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Start-up and shutdown.
    void FormCreate();
    void StartUp();
    void PrepareState();
    void FormDestroy();

    // Settings: the working copy, read from and written to the stored ones.
    void LoadSettings();
    void SaveSettings();
    void SaveAutoplay();
    TSettings& Settings() { return FSettings; }
    const TSettings& Settings() const { return FSettings; }

    // Slide show: each a short hand-over to the show.
    void ShowCurrentSlide();
    void FirstSlide();
    void LastSlide();
    void NextSlide();
    void PrevSlide();
    void StartSlideShow();
    void StopSlideShow();
    void SetRunning(bool on);
    void SlideTimerTimer();
    TSlideShow& SlideShow() { return FShow; }
    const TSlideShow& SlideShow() const { return FShow; }

    // Wallpaper.
    void SetWallpaper(const std::string& fileName);
    // Calls `ended` once the changes on their way to the desktop have ended,
    // with why the last one did not show its picture (empty when it did).
    void WhenChangesEnd(std::function<void(const std::string& failure)> ended);
    void ResetToDefault();
    // The desk's monitors changed: the picture on screen is composed anew
    // for the new layout, once a burst of changes has settled.
    void MonitorsChanged();
    bool MonitorChangePending() const { return FMonitorTimer.isActive(); }

    // The desktop clock: the window while it is wanted, else none.
    void SetClockVisible(bool visible);
    void ReleaseClock();
    TfrmClock* Clock() const;

    // Minimise to the tray and back.
    void MinimizeApplication();
    void RestoreApplication();
    // The window brought to the front for a user who asked from elsewhere
    // (a second start, --show), with the launcher's activation token where
    // one came; `done` hears "" or why the desktop did not let it forward.
    void BringToFront(const std::string& token, std::function<void(const std::string&)> done);
    // Whether the main window is shown when the event loop starts, and while
    // the program is not in the tray.
    bool ShowMainWindow = true;
    // Minimised by the program and not yet back. A Wayland window is never
    // told that it is minimised (the toolkit forgets it at the next
    // configure), so the program remembers it until the window is active again.
    bool Minimised() const { return isMinimized() || FMinimised; }

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
    // Shuffle on or off: the show's order, kept in the settings at once.
    void actShuffleExecute();
    // More Options: shuffle, the picture kept at the end, the quiet start.
    void actMoreOptionsExecute();
    // Keep this wallpaper: the show stops, and the picture on the desktop
    // stays there when Vantoria ends (this run only).
    void actKeepWallpaperExecute();
    // The main window at the place it had when Vantoria last ended, when
    // that place is on a screen now.
    void RestoreWindowPlace();
    void ActionList1Update();

    // The Load List command: the playlist goes to the editor and, when it is
    // confirmed, comes back with its file name and import folder.
    void EditPlaylist();

    // Changes of the log-on session: lock, switch and the like stop the
    // show; log-off ends the program in order.
    void WMWTSSessionChange(TWMWTSSessionChange& message);
    // A mouse press on the toolbar pager outside its buttons: asks the window
    // manager to move the window; false where none can (the pager then drags
    // the window itself).
    bool AdvToolBarPager1MouseDown(Qt::MouseButton button, const QPoint& pos);

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
    // Beyond the command table: the order of the show, in the popup menu
    // (the tray's, and the main window's own on a right click).
    QAction* actShuffle = nullptr;
    QAction* actMoreOptions = nullptr;
    QAction* actKeepWallpaper = nullptr;
    QMenu* PopupMenu = nullptr;
    const std::vector<QAction*>& Actions() const { return ActionList1; }

    const TMainServices& Services() const { return FServices; }

signals:
    // The application is asked to end (Exit, close request, log-off).
    void terminateRequested();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    // What the show asks of the window.
    void ShowPicture(const std::string& path) override;
    void RunningChanged(bool running) override;
    void ReportEmpty() override;
    void ReportSkipped(const std::string& path, const std::string& text) override;

    void CreateActions();
    void BuildWindow();
    void SetRunAction(bool running);
    // Runs a command; an exception that escapes it reaches the error report.
    void RunCommand(const std::function<void()>& command);

    TMainServices FServices;
    TSettings FSettings;
    TSlideShow FShow{*this};
    std::vector<std::function<void(const std::string&)>> FChangeWaiters;
    std::vector<QAction*> ActionList1;
    // Collects a burst of monitor changes into one MonitorsChanged.
    QTimer FMonitorTimer;
    // The clock window while it is wanted, and clocks released but not yet
    // destroyed (their position still has to come back).
    QPointer<TfrmClock> frmClock;
    std::vector<QPointer<TfrmClock>> FReleasedClocks;
    bool FCreated = false;
    bool FMinimised = false;
    bool FDestroyed = false;
    // Keep this wallpaper was chosen in this run.
    bool FKeepThisRun = false;
};
