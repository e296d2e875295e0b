#include <QAction>
#include <QGuiApplication>
#include <QScreen>

#include "app/Main.h"
#include "clock/ClockGeometry.h"
#include "clock/OvcTimerPool.h"
#include "clock/frmClockPlugin.h"
#include "platform/DesktopAccessory.h"
#include "platform/MessageService.h"
#include "platform/ScreenInfo.h"
#include "settings/Settings.h"

namespace {

// The saved place where it is on a screen, the first place otherwise; in the
// units windows are placed in, which are the desk's device pixels divided by
// the scale Qt draws at.
QPoint ClockPlace(TScreenInfo* screen, int savedX, int savedY) {
    std::vector<clockgeo::TArea> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    const qreal ratio = primary ? primary->devicePixelRatio() : 1.0;
    if (screen) {
        for (const TMonitor& m : screen->Monitors()) {
            screens.push_back({qRound(m.x / ratio), qRound(m.y / ratio), qRound(m.width / ratio),
                               qRound(m.height / ratio)});
        }
    }
    const clockgeo::TPoint place =
        clockgeo::ClockPlace({savedX, savedY}, TfrmClock::kClientSize, screens,
                             -settings::kClockX.fresh, settings::kClockY.fresh);
    return QPoint(place.x, place.y);
}

}  // namespace

void TfrmMain::SetClockVisible(bool visible) {
    try {
        if (visible) {
            actShowClock->setChecked(true);
            actShowClock->setText(tr("Hide Clock"));
            if (frmClock) {
                // Shown where it is now, even after a drag.
                frmClock->ShowAgain();
                return;
            }
            // The clock has no owner window: it stays on the desktop while the
            // main window is hidden in the tray.
            // On a desktop that keeps surfaces of its own beneath the
            // windows, the clock is drawn there.
            auto* clock = new TfrmClock(FServices.accessories
                                            ? FServices.accessories->NewAccessorySurface("clock")
                                            : nullptr);
            frmClock = clock;
            clock->ShowClockAction = actShowClock;
            QPointer<TfrmMain> self(this);
            clock->OnFormDestroy = [self](const QPoint& pos) {
                if (self) {
                    self->FSettings.FClockX = pos.x();
                    self->FSettings.FClockY = pos.y();
                }
            };
            if (FServices.messages) {
                TMessageService* messages = FServices.messages;
                TOvcTimerPool::Instance().SetExceptionReport(
                    [self, messages](const std::string& what) {
                        if (self) {
                            messages->ReportException(what);
                        }
                    });
            }
            const QPoint place = ClockPlace(FServices.screen, FSettings.FClockX, FSettings.FClockY);
            clock->ShowOnDesktop(place);
        } else {
            actShowClock->setChecked(false);
            actShowClock->setText(tr("Show Clock"));
            if (frmClock) {
                // Destroyed after the current event (this may be the clock's
                // own menu); its position comes back then.
                TfrmClock* clock = frmClock;
                frmClock = nullptr;
                FReleasedClocks.emplace_back(clock);
                clock->deleteLater();
            }
        }
    } catch (...) {
        // A clock that cannot be had (no timer, no window) is simply not shown.
    }
}

TfrmClock* TfrmMain::Clock() const {
    return frmClock.data();
}

void TfrmMain::ReleaseClock() {
    // Destroys every clock now, so that its position is in the fields before
    // the settings are written at exit.
    for (QPointer<TfrmClock>& released : FReleasedClocks) {
        delete released.data();
    }
    FReleasedClocks.clear();
    delete frmClock.data();
    frmClock = nullptr;
}
