#include <QAction>

#include "app/Main.h"

void TfrmMain::SetClockVisible(bool visible) {
    actShowClock->setChecked(visible);
    actShowClock->setText(visible ? QStringLiteral("Hide Clock") : QStringLiteral("Show Clock"));
}

void TfrmMain::ReleaseClock() {}
