#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

// One instance per log-on session: the guard is held from Acquire until the
// process ends, however it ends.
class TInstanceGuard {
public:
    virtual ~TInstanceGuard() = default;
    // False when another instance of this session holds the guard.
    virtual bool Acquire() = 0;
};

// The instance's answer to a command from another process: whether it was
// done, and lines of text for the caller (facts, or the reason it was not).
struct TCommandReply {
    bool ok = false;
    std::string text;
};

// The close request "vantoriamsg": any process of the same user can ask the
// running instance to end in order. Termination signals of the platform
// arrive the same way. The same channel carries the program's commands by
// name; "quit" is the close request itself, answered once the
// instance has ended in order.
class TCloseRequestChannel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // `command` is the line without its end; `args` are the paths that came
    // with it (bytes, never empty), for the commands that take some.
    using TCommandHandler = std::function<TCommandReply(const std::string& command,
                                                        const std::vector<std::string>& args)>;

    // Starts listening; false (with the reason in the log) when that fails.
    virtual bool Listen() = 0;
    // Runs the commands other than "quit"; without one they are refused.
    void SetCommandHandler(TCommandHandler handler) { commandHandler_ = std::move(handler); }

    // Asked by a command handler for a command whose outcome is known only
    // later (a picture the desktop has still to take): the caller is then
    // answered through the function returned, not by what the handler
    // returns. Empty where the channel cannot wait, or outside a handler.
    using TLaterReply = std::function<void(const TCommandReply& reply)>;
    virtual TLaterReply AnswerLater() { return {}; }

signals:
    void closeRequested();

protected:
    TCommandHandler commandHandler_;
};
