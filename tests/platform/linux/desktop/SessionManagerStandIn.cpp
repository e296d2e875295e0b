// A session manager for desktop daemons that wait for a running session
// (cinnamon-settings-daemon draws nothing before it): owns
// org.gnome.SessionManager on the session bus, says the session runs and
// accepts every client.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>

class TSessionManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")

public slots:
    bool IsSessionRunning() { return true; }
    QDBusObjectPath RegisterClient(const QString&, const QString&) {
        return QDBusObjectPath(
            QStringLiteral("/org/gnome/SessionManager/Client%1").arg(++clients_));
    }
    void UnregisterClient(const QDBusObjectPath&) {}
    void Setenv(const QString&, const QString&) {}
    uint Inhibit(const QString&, uint, const QString&, uint) { return ++clients_; }
    void Uninhibit(uint) {}
    bool IsInhibited(uint) { return false; }

private:
    int clients_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TSessionManager manager;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/gnome/SessionManager"), &manager,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.gnome.SessionManager"))) {
        return 1;
    }
    return app.exec();
}

#include "SessionManagerStandIn.moc"
