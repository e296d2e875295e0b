// A stand-in for systemd-logind and the desktop's screen savers, for tests
// that cannot reach the real services. It serves org.freedesktop.login1 on
// one bus and org.freedesktop.ScreenSaver and org.gnome.ScreenSaver on
// another, writes every call it receives to stdout ("call INTERFACE.MEMBER
// PATH ARGS"), and emits the services' signals on commands read from stdin,
// one a line (see Command below). It prints "ready" once its names are owned.
// With --kde-locker it also owns org.kde.screensaver, as KDE's locker does
// beside org.freedesktop.ScreenSaver; without it, it is a screen saver whose
// ActiveChanged may mean a blank screen only (light-locker, say).
//
//   session_standin --system ADDRESS [--session ADDRESS] [--session-id ID]
//                   [--no-pid-session] [--remove-when-watched] [--kde-locker]

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <string>

namespace {

const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

void Print(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// logind's object paths escape every character but letters and digits, and a
// leading digit.
QString SessionPath(const QString& id) {
    QString path = kManagerPath + QStringLiteral("/session/");
    for (const QChar c : id) {
        const bool alnum = c.unicode() < 128 && c.isLetterOrNumber();
        if (alnum && !(c.isDigit() && path.endsWith(QLatin1Char('/')))) {
            path += c;
        } else {
            path += QStringLiteral("_%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        }
    }
    return path;
}

QString ArgText(const QVariant& v) {
    if (v.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return v.value<QDBusObjectPath>().path();
    }
    return v.toString();
}

class TLogind : public QDBusVirtualObject {
public:
    TLogind(QDBusConnection bus, QString id, bool pidSessions)
        : bus_(std::move(bus)), id_(std::move(id)), pidSessions_(pidSessions) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        QStringList args;
        for (const QVariant& a : m.arguments())
            args << ArgText(a);
        Print(QStringLiteral("call %1.%2 %3 %4")
                  .arg(m.interface(), m.member(), m.path(), args.join(QLatin1Char(' '))));
        const QString own = SessionPath(id_);
        QDBusMessage reply;
        if (m.path() == kManagerPath && m.interface() == kManager &&
            m.member() == QLatin1String("GetSessionByPID")) {
            reply = pidSessions_ ? m.createReply(QVariant::fromValue(QDBusObjectPath(own)))
                                 : m.createErrorReply(
                                       QStringLiteral("org.freedesktop.login1.NoSessionForPID"),
                                       QStringLiteral("PID does not belong to any known session"));
        } else if (m.path() == kManagerPath && m.interface() == kManager &&
                   m.member() == QLatin1String("GetSession")) {
            reply = args.value(0) == id_
                        ? m.createReply(QVariant::fromValue(QDBusObjectPath(own)))
                        : m.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"),
                                             QStringLiteral("No session by that ID"));
        } else if (m.path() == own && m.interface() == kProperties &&
                   m.member() == QLatin1String("GetAll") && args.value(0) == kSession) {
            reply = m.createReply(QVariant(Properties()));
        } else if (m.path() == own && m.interface() == kProperties &&
                   m.member() == QLatin1String("Get") && args.value(0) == kSession &&
                   Properties().contains(args.value(1))) {
            reply =
                m.createReply(QVariant::fromValue(QDBusVariant(Properties().value(args.value(1)))));
        } else {
            reply = m.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("unknown"));
        }
        connection.send(reply);
        if (removeWhenWatched && m.member() == QLatin1String("GetAll")) {
            // The session ends while the program is still starting.
            Signal(kManagerPath, kManager, QStringLiteral("SessionRemoved"),
                   {id_, QVariant::fromValue(QDBusObjectPath(own))});
        }
        return true;
    }

    QVariantMap Properties() const {
        return {{QStringLiteral("Id"), id_},
                {QStringLiteral("Active"), active},
                {QStringLiteral("LockedHint"), lockedHint},
                {QStringLiteral("State"), QStringLiteral("active")}};
    }

    void Signal(const QString& path, const QString& interface, const QString& name,
                const QVariantList& args = {}) {
        QDBusMessage s = QDBusMessage::createSignal(path, interface, name);
        s.setArguments(args);
        bus_.send(s);
    }

    void PropertyChanged(const QString& name, bool value, bool announceValue) {
        QVariantMap changed;
        QStringList invalidated;
        if (announceValue) {
            changed.insert(name, value);
        } else {
            invalidated << name;
        }
        Signal(SessionPath(id_), kProperties, QStringLiteral("PropertiesChanged"),
               {kSession, changed, invalidated});
    }

    QDBusConnection bus_;
    QString id_;
    bool pidSessions_;
    bool active = true;
    bool lockedHint = false;
    bool removeWhenWatched = false;
};

void Command(TLogind& logind, QDBusConnection& session, const QString& line) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString what = words.value(0);
    const bool on = words.value(1) == QLatin1String("1");
    const QString own = SessionPath(logind.id_);
    const QString other = SessionPath(logind.id_ + QLatin1Char('0'));
    auto saver = [&session, on](const char* path, const char* interface) {
        QDBusMessage s =
            QDBusMessage::createSignal(QString::fromLatin1(path), QString::fromLatin1(interface),
                                       QStringLiteral("ActiveChanged"));
        s << on;
        session.send(s);
    };
    if (what == QLatin1String("lock")) {
        logind.Signal(own, kSession, QStringLiteral("Lock"));
    } else if (what == QLatin1String("unlock")) {
        logind.Signal(own, kSession, QStringLiteral("Unlock"));
    } else if (what == QLatin1String("lock-other")) {
        logind.Signal(other, kSession, QStringLiteral("Lock"));
    } else if (what == QLatin1String("lock-wrong-interface")) {
        logind.Signal(own, QStringLiteral("org.freedesktop.login1.User"), QStringLiteral("Lock"));
    } else if (what == QLatin1String("active") || what == QLatin1String("active-invalidated")) {
        logind.active = on;
        logind.PropertyChanged(QStringLiteral("Active"), on, what == QLatin1String("active"));
    } else if (what == QLatin1String("active-other")) {
        QVariantMap changed{{QStringLiteral("Active"), on}};
        logind.Signal(other, kProperties, QStringLiteral("PropertiesChanged"),
                      {kSession, changed, QStringList()});
    } else if (what == QLatin1String("lockedhint")) {
        logind.lockedHint = on;
        logind.PropertyChanged(QStringLiteral("LockedHint"), on, true);
    } else if (what == QLatin1String("removed")) {
        logind.Signal(kManagerPath, kManager, QStringLiteral("SessionRemoved"),
                      {logind.id_, QVariant::fromValue(QDBusObjectPath(own))});
    } else if (what == QLatin1String("removed-other")) {
        logind.Signal(kManagerPath, kManager, QStringLiteral("SessionRemoved"),
                      {logind.id_ + QLatin1Char('0'), QVariant::fromValue(QDBusObjectPath(other))});
    } else if (what == QLatin1String("fdo")) {
        saver("/ScreenSaver", "org.freedesktop.ScreenSaver");
    } else if (what == QLatin1String("fdo-alt")) {
        saver("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver");
    } else if (what == QLatin1String("gnome")) {
        saver("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver");
    } else if (what == QLatin1String("gnome-wrong-path")) {
        saver("/org/gnome/Other", "org.gnome.ScreenSaver");
    } else if (what == QLatin1String("quit")) {
        QCoreApplication::quit();
        return;
    } else {
        Print(QStringLiteral("unknown command ") + line);
        return;
    }
    Print(QStringLiteral("done ") + line);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    auto option = [&args](const char* name) {
        const int i = args.indexOf(QLatin1String(name));
        return i >= 0 ? args.value(i + 1) : QString();
    };
    const QString systemAddress = option("--system");
    const QString sessionAddress = option("--session");
    QString id = option("--session-id");
    if (id.isEmpty()) {
        id = QStringLiteral("7");
    }

    QDBusConnection system = QDBusConnection::connectToBus(systemAddress, QStringLiteral("system"));
    if (!system.isConnected() ||
        !system.registerService(QStringLiteral("org.freedesktop.login1"))) {
        Print(QStringLiteral("error: cannot serve logind on ") + systemAddress);
        return 1;
    }
    TLogind logind(system, id, !args.contains(QLatin1String("--no-pid-session")));
    logind.removeWhenWatched = args.contains(QLatin1String("--remove-when-watched"));
    system.registerVirtualObject(kManagerPath, &logind, QDBusConnection::SubPath);

    QDBusConnection session(QStringLiteral("none"));
    if (!sessionAddress.isEmpty()) {
        session = QDBusConnection::connectToBus(sessionAddress, QStringLiteral("session"));
        if (!session.isConnected() ||
            !session.registerService(QStringLiteral("org.freedesktop.ScreenSaver")) ||
            !session.registerService(QStringLiteral("org.gnome.ScreenSaver")) ||
            (args.contains(QLatin1String("--kde-locker")) &&
             !session.registerService(QStringLiteral("org.kde.screensaver")))) {
            Print(QStringLiteral("error: cannot serve the screen savers on ") + sessionAddress);
            return 1;
        }
    }

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        pending.append(buf, std::size_t(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const QString line = QString::fromStdString(pending.substr(0, end)).trimmed();
            pending.erase(0, end + 1);
            if (!line.isEmpty()) {
                Command(logind, session, line);
            }
        }
    });
    Print(QStringLiteral("ready"));
    return QCoreApplication::exec();
}
