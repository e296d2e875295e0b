#include "BusFixture.h"

#include <QDeadlineTimer>
#include <QDir>

TPrivateBus::TPrivateBus() {
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    daemon_.setProcessChannelMode(QProcess::SeparateChannels);
    daemon_.start();
    if (!daemon_.waitForStarted(10000)) {
        return;
    }
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired()) {
        daemon_.waitForReadyRead(int(deadline.remainingTime()));
        out += daemon_.readAllStandardOutput();
    }
    address_ = QString::fromUtf8(out.left(out.indexOf('\n'))).trimmed();
}

TPrivateBus::~TPrivateBus() {
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
}

TSessionStandIn::TSessionStandIn(const QString& systemAddress, const QString& sessionAddress,
                                 const QStringList& extra) {
    QStringList args{QStringLiteral("--system"), systemAddress};
    if (!sessionAddress.isEmpty()) {
        args << QStringLiteral("--session") << sessionAddress;
    }
    args << extra;
    process_.setProgram(StandInPath());
    process_.setArguments(args);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    ready_ = process_.waitForStarted(10000) && !WaitForLine(QStringLiteral("ready")).isEmpty();
}

TSessionStandIn::~TSessionStandIn() {
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

void TSessionStandIn::ReadLines() {
    partial_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromUtf8(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

QString TSessionStandIn::WaitForLine(const QString& prefix, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        ReadLines();
        for (const QString& line : std::as_const(lines_)) {
            if (line.startsWith(prefix)) {
                return line;
            }
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            return {};
        }
        process_.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 200)));
    }
}

bool TSessionStandIn::Command(const QString& line) {
    const int before = int(lines_.count(QStringLiteral("done ") + line));
    process_.write((line + QLatin1Char('\n')).toUtf8());
    process_.waitForBytesWritten(5000);
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        ReadLines();
        if (lines_.count(QStringLiteral("done ") + line) > before) {
            return true;
        }
        process_.waitForReadyRead(200);
    }
    return false;
}

QStringList TSessionStandIn::CallsOf(const QString& member) {
    // The stand-in prints a call before it answers, so every call answered
    // so far is already in the pipe.
    while (process_.waitForReadyRead(20)) {
    }
    ReadLines();
    QStringList calls;
    for (const QString& line : lines_) {
        if (line.startsWith(QStringLiteral("call ")) &&
            line.section(QLatin1Char(' '), 1, 1).endsWith(QLatin1Char('.') + member)) {
            calls << line;
        }
    }
    return calls;
}

QString StandInPath() {
    return QDir(qEnvironmentVariable("VANTORIA_BINARY_DIR"))
        .filePath(QStringLiteral("tests/desktop/session_standin"));
}

QString ProgramPath() {
    return QDir(qEnvironmentVariable("VANTORIA_BINARY_DIR")).filePath(QStringLiteral("vantoria"));
}
