// The program block: single instance, start-up, event loop, orderly end.

#include <QApplication>
#include <QLoggingCategory>
#include <memory>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/ProgramServices.h"
#include "app/RemoteCommands.h"
#include "platform/linux/instance/FlockInstanceGuard.h"
#include "platform/linux/instance/LocalSocketCloseRequest.h"
#include "platform/linux/instance/RuntimeDir.h"
#include "platform/qt/DialogPlacement.h"
#include "platform/qt/Translations.h"
#include "wallpaper/WallpaperApplier.h"

namespace {
constexpr const char* kInstanceName = "3F1C9B27-8D4E-4A6B-9C52-7E0D1A2B3C4D";
constexpr const char* kCloseRequest = "vantoriamsg";

// The window while its event loop runs, and the thread that runs it.
TfrmMain* g_running = nullptr;
std::thread::id g_guiThread;

// The X server can go away under the program (it crashed, or the session
// ended without a word); the toolkit then ends the process with exit(). The
// settings are saved and what can still run of the orderly end runs first:
// the original wallpaper is put back where the desktop survives, and its
// record stays for the next start where it does not.
void EndAfterLostDisplay() {
    if (std::this_thread::get_id() != g_guiThread) {
        return;  // the window belongs to the GUI thread, which may be busy
    }
    if (TfrmMain* w = std::exchange(g_running, nullptr)) {
        std::fprintf(stderr, "vantoria: the display is gone; saving the settings\n");
        w->FormDestroy();
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = HandleCommandLine(argc, argv, kCloseRequest)) {
        return *status;
    }

    // A second start in the same session ends at once, before anything of its
    // own shows, once it has brought the running window to the front: from a
    // desktop without a tray, starting it again is the way back to it.
    // The session has several names (its login session, its displays); the
    // instance holds all of them, so whichever a later start knows it by,
    // that start finds it.
    const TRuntimeEnvironment env = CurrentEnvironment();
    const TRuntimeDir runtime = VantoriaRuntimeDir(env, true);
    if (runtime.folder.empty()) {
        // Never run without the guard: two instances would fight over the
        // desktop and the close request could not reach either.
        std::fprintf(stderr, "vantoria: no private folder for the single-instance lock: %s\n",
                     runtime.problem.c_str());
        return 1;
    }
    const std::vector<std::string> keys = SessionKeys(env);
    std::vector<std::unique_ptr<TFlockInstanceGuard>> guards;
    for (const std::string& name : InstanceFileNames(kInstanceName, keys)) {
        guards.push_back(std::make_unique<TFlockInstanceGuard>(runtime.folder, name));
        if (!guards.back()->Acquire()) {
            guards.clear();
            return BringRunningInstanceForward(kCloseRequest);
        }
    }

    QApplication app(argc, argv);
    // No display name: the platform would append it to every caption
    // ("Error — Vantoria"), and the captions are to read as they are.
    QApplication::setApplicationName(QStringLiteral("Vantoria"));
    // The windows carry the desktop entry's id (the app id on Wayland; on X11
    // WM_CLASS "Vantoria", which the entry names as StartupWMClass), so that
    // the desktop links them to the launcher and shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vantoria.Vantoria"));
    QApplication::setQuitOnLastWindowClosed(false);
    PlaceDialogsCentred(app);
    // Menus, dialogs and messages in the user's language where Vantoria has it.
    InstallTranslations(app);

    TProgramServices services;

    // The event loop ends, whatever windows are open (quit() would first ask
    // them to close, and one that declines would keep a logging-off program
    // running); an end asked for before the loop runs is remembered.
    bool endRequested = false;
    const auto requestEnd = [&endRequested] {
        endRequested = true;
        QCoreApplication::exit(0);
    };
    TLocalSocketCloseRequest closeRequest(runtime.folder, InstanceFileNames(kCloseRequest, keys));
    QObject::connect(&closeRequest, &TCloseRequestChannel::closeRequested, &app, requestEnd,
                     Qt::QueuedConnection);
    closeRequest.Listen();

    std::unique_ptr<TfrmMain> frmMain;
    try {
        frmMain = std::make_unique<TfrmMain>(services.Main());
        QObject::connect(frmMain.get(), &TfrmMain::terminateRequested, &app, requestEnd,
                         Qt::QueuedConnection);
        // Commands from outside run the window's own commands.
        closeRequest.SetCommandHandler(
            [w = frmMain.get(), &closeRequest](const std::string& command) {
                return RunRemoteCommand(*w, command, &closeRequest);
            });
        frmMain->FormCreate();
        frmMain->StartUp();
        if (frmMain->Settings().FAutoplay > 0) {
            frmMain->ShowMainWindow = false;
        }
    } catch (...) {
        // A first start has no settings key yet; the window simply shows.
        if (frmMain) {
            frmMain->ShowMainWindow = true;
        }
    }
    if (!frmMain) {
        return 0;
    }
    if (frmMain->Settings().FStartInTray) {
        // A quiet start: into the tray, or minimised where there is none yet.
        frmMain->MinimizeApplication();
    } else if (frmMain->ShowMainWindow) {
        frmMain->show();
    }

    if (!endRequested) {
        g_guiThread = std::this_thread::get_id();
        g_running = frmMain.get();
        std::atexit(EndAfterLostDisplay);
        QApplication::exec();
        g_running = nullptr;
    }

    // From here the window is being taken down: commands are refused, and
    // "quit" is answered once the end is complete.
    closeRequest.SetCommandHandler([](const std::string&) {
        return TCommandReply{false, "Vantoria is ending"};
    });

    // The clock goes first: it hands its position to the settings saved next.
    frmMain->ReleaseClock();
    frmMain->FormDestroy();
    // "quit" is not answered "ok" over an original that did not go back.
    if (const std::string& problem = frmMain->Services().applier->FRestoreProblem;
        !problem.empty()) {
        closeRequest.SetQuitReply({false, problem});
    }
    frmMain.reset();
    return 0;
}
