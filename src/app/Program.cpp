// The program block: single instance, start-up, event loop, orderly end.

#include <QApplication>
#include <QLoggingCategory>
#include <memory>

#include "app/Main.h"
#include "app/ProgramServices.h"
#include "platform/linux/instance/FlockInstanceGuard.h"
#include "platform/linux/instance/LocalSocketCloseRequest.h"
#include "platform/linux/instance/RuntimeDir.h"

namespace {
constexpr const char* kInstanceName = "3F1C9B27-8D4E-4A6B-9C52-7E0D1A2B3C4D";
constexpr const char* kCloseRequest = "vantoriamsg";
}  // namespace

int main(int argc, char** argv) {
    // A second start in the same session ends at once, before anything shows.
    const std::string runtimeDir = VantoriaRuntimeDir();
    TFlockInstanceGuard guard(runtimeDir, kInstanceName);
    if (!guard.Acquire()) {
        return 0;
    }

    QApplication app(argc, argv);
    // No display name: the platform would append it to every caption
    // ("Error — Vantoria"), and the captions are to read as they are.
    QApplication::setApplicationName(QStringLiteral("Vantoria"));
    QApplication::setQuitOnLastWindowClosed(false);

    TProgramServices services;

    // The event loop ends, whatever windows are open (quit() would first ask
    // them to close, and one that declines would keep a logging-off program
    // running); an end asked for before the loop runs is remembered.
    bool endRequested = false;
    const auto requestEnd = [&endRequested] {
        endRequested = true;
        QCoreApplication::exit(0);
    };
    TLocalSocketCloseRequest closeRequest(runtimeDir, kCloseRequest);
    QObject::connect(&closeRequest, &TCloseRequestChannel::closeRequested, &app, requestEnd,
                     Qt::QueuedConnection);
    closeRequest.Listen();

    std::unique_ptr<TfrmMain> frmMain;
    try {
        frmMain = std::make_unique<TfrmMain>(services.Main());
        QObject::connect(frmMain.get(), &TfrmMain::terminateRequested, &app, requestEnd,
                         Qt::QueuedConnection);
        services.Attach(*frmMain);
        frmMain->FormCreate();
        frmMain->StartUp();
        if (frmMain->FAutoplay > 0) {
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
    if (frmMain->ShowMainWindow) {
        frmMain->show();
    }

    if (!endRequested) {
        QApplication::exec();
    }

    // The clock goes first: it hands its position to the settings saved next.
    frmMain->ReleaseClock();
    frmMain->FormDestroy();
    frmMain.reset();
    services.Detach();
    return 0;
}
