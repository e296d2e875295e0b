#pragma once

#include <QObject>
#include <string>

// One instance per log-on session: the guard is held from Acquire until the
// process ends, however it ends.
class TInstanceGuard {
public:
    virtual ~TInstanceGuard() = default;
    // False when another instance of this session holds the guard.
    virtual bool Acquire() = 0;
};

// The close request "vantoriamsg": any process of the same user can ask the
// running instance to end in order. Termination signals of the platform
// arrive the same way.
class TCloseRequestChannel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts listening; false (with the reason in the log) when that fails.
    virtual bool Listen() = 0;

signals:
    void closeRequested();
};
