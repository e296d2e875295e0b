// The main window's reactions to changes of the log-on session.

#include <QEvent>

#include "app/Main.h"
#include "desktop/UserSwitch.h"

void TfrmMain::WMWTSSessionChange(TWMWTSSessionChange& message) {
    try {
        switch (message.WParam) {
            case WTS_SESSION_LOGON:
                break;
            case WTS_SESSION_LOGOFF:
                // The event loop ends after the message in progress; the
                // orderly shutdown follows once the loop has returned.
                emit terminateRequested();
                break;
            default:
                // Lock, unlock, switching away and back, remote sessions and
                // codes yet unknown: the show stops and stays stopped.
                StopSlideShow();
                break;
        }
    } catch (...) {
        // A session change never takes the program down.
    }
    message.Result = 1;
}

void TfrmMain::customEvent(QEvent* event) {
    if (event->type() == TWTSSessionChangeEvent::EventType()) {
        WMWTSSessionChange(static_cast<TWTSSessionChangeEvent*>(event)->Message);
        return;
    }
    QWidget::customEvent(event);
}
