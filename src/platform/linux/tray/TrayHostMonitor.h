#pragma once

#include <QDBusServiceWatcher>
#include <QTimer>

#include "platform/TrayHost.h"

// The tray hosts of a Linux session: the StatusNotifierWatcher's name owner
// and its IsStatusNotifierHostRegistered, followed through the bus's and the
// watcher's signals; the XEmbed tray selection of the X display, looked at
// once a second (its owner changes without telling anyone but the icons).
class TLinuxTrayHostMonitor : public TTrayHostMonitor {
    Q_OBJECT
public:
    explicit TLinuxTrayHostMonitor(QObject* parent = nullptr);

    THost Host() const override;

private slots:
    void AskHostRegistered();

private:
    bool HostRegisteredNow();
    void SetStatusNotifierHost(bool registered);
    void CheckXEmbed();
    void Update();

    QDBusServiceWatcher watcher_;
    QTimer xembedPoll_;
    bool statusNotifierHost_ = false;
    bool xembed_ = false;
    THost host_ = thNone;
    // Answers to an older question are dropped when a newer one is out.
    unsigned questions_ = 0;
};
