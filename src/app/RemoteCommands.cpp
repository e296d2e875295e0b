#include "app/RemoteCommands.h"

#include <QAction>
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "app/Main.h"
#include "platform/TrayService.h"
#include "wallpaper/WallpaperApplier.h"

const std::vector<TRemoteCommand>& RemoteCommands() {
    static const std::vector<TRemoteCommand> commands{
        {"next", "actNext", "show the next picture of the playlist (a running show stops)"},
        {"previous", "actPrev", "show the previous picture (a running show stops)"},
        {"first", "actFirst", "show the first picture (a running show stops)"},
        {"last", "actLast", "show the last picture (a running show stops)"},
        {"play", "actRun", "start the slide show, as Run Slide Show does"},
        {"stop", "actRun", "stop the slide show"},
        {"toggle", "actRun", "start the slide show, or stop it when it runs"},
        {"show", "actRestore", "bring the main window back"},
        {"hide", "actMinimize", "put the main window away into the tray"},
        {"reset", "actResetDefault", "put back the wallpaper found at start (Reset to Default)"},
        {"quit", nullptr, "end Vantoria in order, as the close request does"},
        {"status", nullptr, "print the state of the running instance"},
        {"shuffle", "actShuffle", "on|off: show the playlist in a random order, or in its own"},
    };
    return commands;
}

const TRemoteCommand* FindRemoteCommand(const std::string& name) {
    for (const TRemoteCommand& c : RemoteCommands()) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

TCommandReply RunRemoteCommand(TfrmMain& frmMain, const std::string& line,
                               TCloseRequestChannel* channel) {
    // "show" may carry the launcher's activation token as its one word.
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string token = space == std::string::npos ? std::string() : line.substr(space + 1);
    // "shuffle-on" and "shuffle-off" are the shuffle command with its choice.
    std::string name = word;
    int shuffle = -1;
    if (word == "shuffle-on" || word == "shuffle-off") {
        name = "shuffle";
        shuffle = word == "shuffle-on" ? 1 : 0;
    }
    const TRemoteCommand* command =
        name == "shuffle" && shuffle < 0 ? nullptr : FindRemoteCommand(name);
    if (!command || (!token.empty() && name != "show")) {
        return {false, "unknown command"};
    }
    if (name == "status") {
        return {true, StatusText(frmMain)};
    }
    // A modal window (Settings, the playlist editor, a message box) waits for
    // the user, and what it does on closing assumes nothing moved under it:
    // Settings confirmed would miss a show started meanwhile.
    if (const QWidget* modal = QApplication::activeModalWidget()) {
        const std::string title = modal->windowTitle().toStdString();
        return {false, (title.empty() ? std::string("a window") : "the window \"" + title + "\"") +
                           " is open in Vantoria; close it and try again"};
    }
    QAction* action = command->action
                          ? frmMain.findChild<QAction*>(QString::fromLatin1(command->action))
                          : nullptr;
    if (!action) {
        return {false, "unknown command"};
    }
    if ((name == "play" && frmMain.SlideShow().Running()) ||
        (name == "stop" && !frmMain.SlideShow().Running()) ||
        (shuffle >= 0 && frmMain.SlideShow().Shuffle() == (shuffle == 1))) {
        return {true, {}};
    }
    if (shuffle >= 0) {
        action->trigger();  // allowed with an empty playlist too
        return {true, {}};
    }
    frmMain.ActionList1Update();
    if (!action->isEnabled()) {
        return {false, "the playlist is empty"};
    }
    // The window comes forward when the desktop lets it: the caller hears
    // whether it did.
    if (name == "show") {
        struct TOutcome {
            std::optional<TCommandReply> reply;
            TCloseRequestChannel::TLaterReply later;
        };
        auto outcome = std::make_shared<TOutcome>();
        frmMain.BringToFront(token, [outcome](const std::string& failure) {
            const TCommandReply reply =
                failure.empty() ? TCommandReply{true, {}} : TCommandReply{false, failure};
            if (outcome->later) {
                std::exchange(outcome->later, nullptr)(reply);
            } else {
                outcome->reply = reply;
            }
        });
        frmMain.ActionList1Update();
        if (!outcome->reply && channel) {
            outcome->later = channel->AnswerLater();
        }
        return outcome->reply.value_or(TCommandReply{true, {}});
    }
    frmMain.Services().applier->FRestoreProblem.clear();
    action->trigger();
    // Reset to Default that could not put the original back says why.
    if (const std::string& problem = frmMain.Services().applier->FRestoreProblem;
        name == "reset" && !problem.empty()) {
        return {false, problem};
    }
    // A picture on its way to the desktop: the caller hears once it is there,
    // or why the desktop refused it.
    const bool handsOver = name == "next" || name == "previous" || name == "first" ||
                           name == "last" || name == "reset";
    if (handsOver && channel && frmMain.Services().applier->Changing()) {
        if (TCloseRequestChannel::TLaterReply later = channel->AnswerLater()) {
            frmMain.WhenChangesEnd([later](const std::string& failure) {
                later(failure.empty() ? TCommandReply{true, {}} : TCommandReply{false, failure});
            });
        }
    }
    return {true, {}};
}

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace

std::string StatusText(const TfrmMain& w) {
    // The entry on the desktop, as long as the playlist still holds it there.
    const TSlideShow& show = w.SlideShow();
    const std::vector<std::string>& list = show.Pictures();
    const std::int32_t entry = show.ShownEntry();
    const bool shown = entry >= 0 && std::size_t(entry) < list.size() &&
                       list[std::size_t(entry)] == show.ShownFile();
    std::string text;
    text += std::string("state=") + (show.Running() ? "running" : "stopped") + "\n";
    text += "entry=" + std::to_string(shown ? entry + 1 : 0) + "\n";
    text += "file=" + (shown ? Escaped(show.ShownFile()) : std::string()) + "\n";
    text += "entries=" + std::to_string(list.size()) + "\n";
    text += "playlist=" + Escaped(w.Settings().FPlayListFile) + "\n";
    text += "interval=" + std::to_string(w.Settings().FChangeTime) + "\n";
    // Where the user finds the window: on the screen, minimised in the
    // taskbar, behind the tray icon, or nowhere (hidden with no tray host).
    const char* window = w.isVisible() ? (w.Minimised() ? "minimised" : "shown")
                         : w.Services().tray && w.Services().tray->IconVisible() ? "tray"
                                                                                 : "hidden";
    text += std::string("window=") + window + "\n";
    text += std::string("shuffle=") + (show.Shuffle() ? "on" : "off") + "\n";
    return text;
}
