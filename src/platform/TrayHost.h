#pragma once

#include <QObject>

// The session's tray host, watched as hosts come and go: a panel that is
// started late, restarted or killed. A StatusNotifierItem host counts only
// once a host has registered with the watcher; an XEmbed tray once its
// selection has an owner.
class TTrayHostMonitor : public QObject {
    Q_OBJECT
public:
    enum THost { thNone, thStatusNotifier, thXEmbed };
    using QObject::QObject;

    // The host an icon would go to now; a StatusNotifierItem host wins over
    // an XEmbed tray, as it does for Qt.
    virtual THost Host() const = 0;

signals:
    // Host() changed.
    void hostChanged();
};
