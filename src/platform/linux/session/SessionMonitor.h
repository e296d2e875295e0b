#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/SessionNotifier.h"

class QDBusObjectPath;

// Session changes on Linux, from the services that know of them:
// - systemd-logind on the system bus: the program's own session (found from
//   its process, else from XDG_SESSION_ID) with its Lock and Unlock requests,
//   its LockedHint and Active states (switching to another session and back)
//   and its removal (log-off);
// - KDE's locker on the session bus, whose org.freedesktop.ScreenSaver
//   ActiveChanged tells of locking (other screen savers' ActiveChanged may
//   only mean a blank screen and is ignored; SessionMonitor.cpp has what
//   each desktop sends).
// Where none of these is reachable the monitor reports nothing.
class TLinuxSessionMonitor : public QObject, public TSessionNotifier {
    Q_OBJECT
public:
    // xdgSessionId: the session named by the environment, used when logind
    // knows no session for pid; may be empty.
    TLinuxSessionMonitor(QDBusConnection systemBus, QDBusConnection sessionBus, quint32 pid,
                         QString xdgSessionId, QObject* parent = nullptr);
    ~TLinuxSessionMonitor() override;

    bool Register(TChangeHandler onChange) override;
    void Unregister() override;

    // The session logind reported for the program; empty when none.
    const QString& SessionPath() const { return sessionPath_; }
    const QString& SessionId() const { return sessionId_; }
    bool LogindWatched() const { return logindWatched_; }
    bool ScreenSaversWatched() const { return screenSaversWatched_; }

    // What the services reported, turned into session changes.
    void ReportLockRequest(bool lock);
    void ReportLockedHint(bool locked);
    void ReportActive(bool active);
    void ReportRemoved();

private slots:
    void OnLogindLock();
    void OnLogindUnlock();
    void OnSessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated);
    void OnSessionRemoved(const QString& id, const QDBusObjectPath& path);
    void OnScreenSaverActiveChanged(bool active, const QDBusMessage& signal);

private:
    bool FindSession();
    bool WatchLogind();
    bool WatchScreenSavers();
    void ReadSessionState();
    void ApplySessionProperties(const QVariantMap& properties);
    void Emit(std::uint32_t code);
    void Disconnect();

    QDBusConnection system_;
    QDBusConnection session_;
    quint32 pid_;
    QString xdgSessionId_;
    TChangeHandler onChange_;
    QString sessionPath_;
    QString sessionId_;
    bool logindWatched_ = false;
    bool screenSaversWatched_ = false;
    bool removed_ = false;
    std::optional<bool> active_;
    std::optional<bool> lockedHint_;
};

// The monitor on the buses of this process: the system bus where one runs,
// and the session bus only where one has been started for the session (an
// absent session bus is never launched for it).
std::unique_ptr<TSessionNotifier> MakeLinuxSessionMonitor();
