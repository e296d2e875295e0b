#pragma once

#include <QDBusServiceWatcher>
#include <QSet>
#include <QTimer>

#include "platform/TrayHost.h"

// The tray hosts of a Linux session: the StatusNotifierWatcher's name owner
// and its IsStatusNotifierHostRegistered, followed through the bus's and the
// watcher's signals; the XEmbed tray selection of the X display, looked at
// once a second (its owner changes without telling anyone but the icons).
//
// Plasma's watcher lives in kded and keeps answering that a host is
// registered after plasmashell, the host, is gone. Hosts that own a bus name
// of their own (org.kde.StatusNotifierHost-*, as Plasma's does) are therefore
// followed by name: once such a host has been seen, the last of them going
// away means no host. Panels whose host is the watcher itself (xfce4-panel)
// own no such name, and the watcher's answer stands.
class TLinuxTrayHostMonitor : public TTrayHostMonitor {
    Q_OBJECT
public:
    explicit TLinuxTrayHostMonitor(QObject* parent = nullptr);

    THost Host() const override;

private slots:
    void AskHostRegistered();
    void NameOwnerChanged(const QString& name, const QString& oldOwner, const QString& owner);

private:
    bool HostRegisteredNow();
    void SetStatusNotifierHost(bool registered);
    void CheckXEmbed();
    void Update();

    QDBusServiceWatcher watcher_;
    QSet<QString> hostNames_;
    bool namedHostsSeen_ = false;
    QTimer xembedPoll_;
    bool statusNotifierHost_ = false;
    bool xembed_ = false;
    THost host_ = thNone;
    // Answers to an older question are dropped when a newer one is out.
    unsigned questions_ = 0;
};
