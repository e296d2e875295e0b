#pragma once

// Private D-Bus daemons and the session services' stand-in, for tests that
// must not touch the machine's own buses.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>

// A dbus-daemon of its own, owned by the test and stopped with it.
class TPrivateBus {
public:
    TPrivateBus();
    ~TPrivateBus();
    bool Started() const { return !address_.isEmpty(); }
    const QString& Address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// The stand-in for logind and the screen savers (session_standin), driven
// line by line.
class TSessionStandIn {
public:
    TSessionStandIn(const QString& systemAddress, const QString& sessionAddress,
                    const QStringList& extra = {});
    ~TSessionStandIn();
    bool Ready() const { return ready_; }
    // Sends a command and waits until the stand-in has carried it out.
    bool Command(const QString& line);
    // Waits until a line starting with prefix has been printed (at any time
    // since start); returns it, or an empty text after the timeout.
    QString WaitForLine(const QString& prefix, int timeoutMs = 10000);
    QStringList Lines() const { return lines_; }
    QStringList CallsOf(const QString& member);

private:
    void ReadLines();
    QProcess process_;
    QStringList lines_;
    QByteArray partial_;
    bool ready_ = false;
};

QString StandInPath();
QString ProgramPath();
