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

Q_LOGGING_CATEGORY(lcSession, "vantoria.session.linux", QtWarningMsg)

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

struct TScreenSaver {
    const char* service;
    const char* path;
    const char* interface;
};
// KDE and others export the freedesktop interface under both paths.
constexpr TScreenSaver kScreenSavers[] = {
    {"org.freedesktop.ScreenSaver", "/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
};

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
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        struct stat st {};
        started = !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &st) == 0 &&
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
                             this, SLOT(OnScreenSaverActiveChanged(bool))) ||
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
                                SLOT(OnScreenSaverActiveChanged(bool)));
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

void TLinuxSessionMonitor::OnScreenSaverActiveChanged(bool active) {
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
