#include "platform/linux/session/SessionMonitor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

#include "platform/linux/files/UserFolders.h"

Q_LOGGING_CATEGORY(lcSession, "vantoria.session.linux", QtWarningMsg)

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// What the desktops' screen savers and lockers tell, and what of it counts
// as a lock here. A screen that only blanks is no session change; a lock is.
//
// - logind (systemd-logind, elogind), on the system bus, for the session:
//   Lock / Unlock are requests to the session's locker (loginctl
//   lock-session, suspend hooks); LockedHint is the locker's own word that
//   the screen is locked; Active turns false while another session has the
//   seat. All three are taken: Lock and a true LockedHint as a lock, Active
//   false as switching away.
// - GNOME Shell: org.gnome.ScreenSaver at /org/gnome/ScreenSaver sends
//   ActiveChanged(b) when its shield comes up or goes down, which it also
//   does to blank an idle screen while locking is off (or still within the
//   lock delay). It has no "locked" signal or query; the Shell sets logind's
//   LockedHint when the screen is really locked. So ActiveChanged is not
//   watched; LockedHint tells.
// - KDE Plasma: kscreenlocker owns org.freedesktop.ScreenSaver (at
//   /ScreenSaver and /org/freedesktop/ScreenSaver) together with
//   org.kde.screensaver, and sends ActiveChanged(true) only once the screen
//   is locked and ActiveChanged(false) when it is unlocked (blanking is the
//   power manager's, which sends nothing). It sets LockedHint as well. So
//   ActiveChanged counts, but only from the owner of org.kde.screensaver.
// - XFCE with xfce4-screensaver: org.xfce.ScreenSaver at
//   /org/xfce/ScreenSaver sends ActiveChanged(b) for the saver, whether or
//   not it locks; it locks on logind's Lock. Not watched: logind tells.
// - XFCE or LXDE with light-locker: it owns org.freedesktop.ScreenSaver and
//   sends ActiveChanged when the screen saver starts, which may be long
//   before it locks; it locks by switching to the display manager's greeter,
//   which logind reports as this session's Active turning false. Its
//   ActiveChanged is therefore ignored (it owns no org.kde.screensaver).
// - xscreensaver: nothing on D-Bus; its state is the _SCREENSAVER_STATUS
//   property of the root window (BLANK or LOCK). xscreensaver-systemd
//   relays logind's Lock to it, which is seen here as logind's Lock.
struct TScreenSaver {
    const char* service;
    const char* path;
    const char* interface;
};
constexpr TScreenSaver kScreenSavers[] = {
    {"org.freedesktop.ScreenSaver", "/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
};
// The name KDE's locker owns beside org.freedesktop.ScreenSaver.
const QString kKdeLocker = QStringLiteral("org.kde.screensaver");

// Start-up waits at most this long for logind; a slow bus must not hold the
// program's window back for the library's default of 25 seconds.
constexpr int kCallTimeoutMs = 2000;

QVariant Unwrap(const QVariant& value) {
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        return value.value<QDBusVariant>().variant();
    }
    return value;
}

std::optional<bool> BoolValue(const QVariant& raw) {
    const QVariant value = Unwrap(raw);
    if (value.typeId() != QMetaType::Bool) {
        return std::nullopt;
    }
    return value.toBool();
}

QString ObjectPathOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return {};
    }
    return reply.arguments().constFirst().value<QDBusObjectPath>().path();
}

QDBusConnection SessionBusIfStarted() {
    bool started = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    if (!started) {
        // The per-user bus of systemd sits in the runtime folder and is
        // found without an address.
        const std::string runtime = UserFolder(ProcessEnvironment(), TUserFolder::Runtime);
        struct stat st {};
        started = !runtime.empty() && ::stat((runtime + "/bus").c_str(), &st) == 0 &&
                  S_ISSOCK(st.st_mode);
    }
    if (started) {
        return QDBusConnection::sessionBus();
    }
    // A connection by a name that was never opened: not connected.
    return QDBusConnection(QStringLiteral("vantoria-no-session-bus"));
}

}  // namespace

TLinuxSessionMonitor::TLinuxSessionMonitor(QDBusConnection systemBus, QDBusConnection sessionBus,
                                           quint32 pid, QString xdgSessionId, QObject* parent)
    : QObject(parent),
      system_(std::move(systemBus)),
      session_(std::move(sessionBus)),
      pid_(pid),
      xdgSessionId_(std::move(xdgSessionId)) {}

TLinuxSessionMonitor::~TLinuxSessionMonitor() {
    Disconnect();
}

bool TLinuxSessionMonitor::Register(TChangeHandler onChange) {
    Disconnect();
    onChange_ = std::move(onChange);
    removed_ = false;
    active_.reset();
    lockedHint_.reset();
    if (system_.isConnected() && FindSession()) {
        logindWatched_ = WatchLogind();
        if (logindWatched_) {
            // Read after subscribing, so that no change falls between.
            ReadSessionState();
        }
    }
    if (session_.isConnected()) {
        screenSaversWatched_ = WatchScreenSavers();
    }
    return logindWatched_ || screenSaversWatched_;
}

void TLinuxSessionMonitor::Unregister() {
    Disconnect();
    onChange_ = nullptr;
}

bool TLinuxSessionMonitor::FindSession() {
    sessionPath_.clear();
    sessionId_.clear();
    QDBusMessage byPid = QDBusMessage::createMethodCall(kLogind, kManagerPath, kManagerInterface,
                                                        QStringLiteral("GetSessionByPID"));
    byPid << pid_;
    sessionPath_ = ObjectPathOf(system_.call(byPid, QDBus::Block, kCallTimeoutMs));
    if (sessionPath_.isEmpty() && !xdgSessionId_.isEmpty()) {
        // A process started outside the session's own scope (by a user
        // service, say) is known to logind by no session.
        QDBusMessage byId = QDBusMessage::createMethodCall(kLogind, kManagerPath, kManagerInterface,
                                                           QStringLiteral("GetSession"));
        byId << xdgSessionId_;
        sessionPath_ = ObjectPathOf(system_.call(byId, QDBus::Block, kCallTimeoutMs));
        if (!sessionPath_.isEmpty()) {
            sessionId_ = xdgSessionId_;
        }
    }
    if (sessionPath_.isEmpty()) {
        qCInfo(lcSession, "logind knows no session of this process");
        return false;
    }
    return true;
}

bool TLinuxSessionMonitor::WatchLogind() {
    bool ok = system_.connect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Lock"),
                              this, SLOT(OnLogindLock()));
    ok = system_.connect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Unlock"), this,
                         SLOT(OnLogindUnlock())) &&
         ok;
    ok = system_.connect(kLogind, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"),
                         this,
                         SLOT(OnSessionPropertiesChanged(QString, QVariantMap, QStringList))) &&
         ok;
    ok = system_.connect(kLogind, kManagerPath, kManagerInterface, QStringLiteral("SessionRemoved"),
                         this, SLOT(OnSessionRemoved(QString, QDBusObjectPath))) &&
         ok;
    if (!ok) {
        qCWarning(lcSession, "cannot watch the logind session %s", qPrintable(sessionPath_));
    }
    return ok;
}

bool TLinuxSessionMonitor::WatchScreenSavers() {
    bool any = false;
    for (const TScreenSaver& saver : kScreenSavers) {
        any =
            session_.connect(QString::fromLatin1(saver.service), QString::fromLatin1(saver.path),
                             QString::fromLatin1(saver.interface), QStringLiteral("ActiveChanged"),
                             this, SLOT(OnScreenSaverActiveChanged(bool, QDBusMessage))) ||
            any;
    }
    return any;
}

void TLinuxSessionMonitor::Disconnect() {
    if (logindWatched_) {
        system_.disconnect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Lock"), this,
                           SLOT(OnLogindLock()));
        system_.disconnect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Unlock"), this,
                           SLOT(OnLogindUnlock()));
        system_.disconnect(kLogind, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"),
                           this,
                           SLOT(OnSessionPropertiesChanged(QString, QVariantMap, QStringList)));
        system_.disconnect(kLogind, kManagerPath, kManagerInterface,
                           QStringLiteral("SessionRemoved"), this,
                           SLOT(OnSessionRemoved(QString, QDBusObjectPath)));
        logindWatched_ = false;
    }
    if (screenSaversWatched_) {
        for (const TScreenSaver& saver : kScreenSavers) {
            session_.disconnect(QString::fromLatin1(saver.service), QString::fromLatin1(saver.path),
                                QString::fromLatin1(saver.interface),
                                QStringLiteral("ActiveChanged"), this,
                                SLOT(OnScreenSaverActiveChanged(bool, QDBusMessage)));
        }
        screenSaversWatched_ = false;
    }
}

void TLinuxSessionMonitor::ReadSessionState() {
    QDBusMessage getAll = QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties,
                                                         QStringLiteral("GetAll"));
    getAll << kSessionInterface;
    const QDBusMessage reply = system_.call(getAll, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    // The state found at start is the baseline; only its changes are news.
    if (const auto active = BoolValue(properties.value(QStringLiteral("Active")))) {
        active_ = *active;
    }
    if (const auto locked = BoolValue(properties.value(QStringLiteral("LockedHint")))) {
        lockedHint_ = *locked;
    }
    const QVariant id = Unwrap(properties.value(QStringLiteral("Id")));
    if (id.typeId() == QMetaType::QString && !id.toString().isEmpty()) {
        sessionId_ = id.toString();
    }
}

void TLinuxSessionMonitor::ApplySessionProperties(const QVariantMap& properties) {
    if (const auto active = BoolValue(properties.value(QStringLiteral("Active")))) {
        ReportActive(*active);
    }
    if (const auto locked = BoolValue(properties.value(QStringLiteral("LockedHint")))) {
        ReportLockedHint(*locked);
    }
}

void TLinuxSessionMonitor::OnLogindLock() {
    ReportLockRequest(true);
}

void TLinuxSessionMonitor::OnLogindUnlock() {
    ReportLockRequest(false);
}

void TLinuxSessionMonitor::OnSessionPropertiesChanged(const QString& interface,
                                                      const QVariantMap& changed,
                                                      const QStringList& invalidated) {
    if (interface != kSessionInterface) {
        return;
    }
    ApplySessionProperties(changed);
    // A property announced without its value is read anew.
    for (const QString& name : {QStringLiteral("Active"), QStringLiteral("LockedHint")}) {
        if (!invalidated.contains(name)) {
            continue;
        }
        QDBusMessage get = QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties,
                                                          QStringLiteral("Get"));
        get << kSessionInterface << name;
        auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(get, kCallTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, name](QDBusPendingCallWatcher* w) {
                    w->deleteLater();
                    const QDBusPendingReply<QDBusVariant> reply = *w;
                    if (reply.isError() || !onChange_) {
                        return;
                    }
                    ApplySessionProperties({{name, reply.value().variant()}});
                });
    }
}

void TLinuxSessionMonitor::OnSessionRemoved(const QString& id, const QDBusObjectPath& path) {
    const bool ours = (!sessionPath_.isEmpty() && path.path() == sessionPath_) ||
                      (!sessionId_.isEmpty() && id == sessionId_);
    if (ours) {
        ReportRemoved();
    }
}

void TLinuxSessionMonitor::OnScreenSaverActiveChanged(bool active, const QDBusMessage& signal) {
    // Only a locker whose ActiveChanged means locked: the one that also owns
    // KDE's locker name. Any other owner may only be blanking the screen.
    const QString sender = signal.service();
    QDBusMessage owner = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    owner << kKdeLocker;
    const QDBusMessage reply = session_.call(owner, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1 ||
        reply.arguments().constFirst().toString() != sender) {
        qCDebug(lcSession, "ActiveChanged(%d) from a screen saver that does not tell locking",
                int(active));
        return;
    }
    ReportLockRequest(active);
}

void TLinuxSessionMonitor::ReportLockRequest(bool lock) {
    // Every request counts, even a repeated one: a lock request that no
    // locker honoured must not hide the next real lock.
    Emit(lock ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK);
}

void TLinuxSessionMonitor::ReportLockedHint(bool locked) {
    const std::optional<bool> before = lockedHint_;
    lockedHint_ = locked;
    if (before == locked || (!before && !locked)) {
        return;
    }
    Emit(locked ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK);
}

void TLinuxSessionMonitor::ReportActive(bool active) {
    const std::optional<bool> before = active_;
    active_ = active;
    if (before == active || (!before && active)) {
        return;
    }
    // Another session took the seat, or this one got it back.
    Emit(active ? WTS_CONSOLE_CONNECT : WTS_CONSOLE_DISCONNECT);
}

void TLinuxSessionMonitor::ReportRemoved() {
    // The session ends once, however many services announce it.
    if (removed_) {
        return;
    }
    removed_ = true;
    Emit(WTS_SESSION_LOGOFF);
}

void TLinuxSessionMonitor::Emit(std::uint32_t code) {
    qCDebug(lcSession, "session change %u", unsigned(code));
    if (onChange_) {
        onChange_(code);
    }
}

std::unique_ptr<TSessionNotifier> MakeLinuxSessionMonitor() {
    return std::make_unique<TLinuxSessionMonitor>(QDBusConnection::systemBus(),
                                                  SessionBusIfStarted(), quint32(::getpid()),
                                                  qEnvironmentVariable("XDG_SESSION_ID"));
}
