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
#include "playlist/EditorServices.h"
#include "playlist/PlaylistFile.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/FolderUtils.h"
#include "wallpaper/FreeFormats.h"
#include "wallpaper/WallpaperApplier.h"

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

// A path in a message, as --status writes it.
std::string Quoted(const std::string& path) {
    return "\"" + Escaped(path) + "\"";
}

// The pictures `paths` name: a file when its name carries a picture's
// extension, a folder's pictures directly in it (in name order, as the
// editor's Add Folder imports them). What names no picture a playlist file
// can keep is told in `notes`, one line each.
std::vector<std::string> PicturesNamed(const std::vector<std::string>& paths,
                                       std::vector<std::string>& notes) {
    static const std::vector<std::string> masks = BuildMasks(GetAllFormatMasks());
    std::vector<std::string> pictures;
    for (const std::string& path : paths) {
        std::vector<std::string> found;
        if (path.front() != '/') {
            notes.push_back(Quoted(path) + " is not an absolute path");
        } else if (DirectoryExists(path)) {
            found = FindImageFiles(path, masks);
            if (found.empty()) {
                notes.push_back("the folder " + Quoted(path) + " holds no pictures");
            }
        } else if (!FileExistsTest(path)) {
            notes.push_back(Quoted(path) + " does not exist");
        } else if (!HasPictureExtension(path, masks)) {
            notes.push_back(Quoted(path) + " is not a picture");
        } else {
            found.push_back(path);
        }
        for (std::string& picture : found) {
            if (PlaylistCanStore(picture)) {
                pictures.push_back(std::move(picture));
            } else {
                notes.push_back(
                    Quoted(picture) +
                    ": its name holds a line break, which a playlist file cannot store");
            }
        }
    }
    return pictures;
}

// A name for a playlist that has no file yet, in the data folder (made when
// missing), that no file there has: "playlist.vpl", else "playlist-2.vpl"
// and on. Empty, with the reason in `why`, when there is none.
std::string NewPlaylistFile(const std::string& folder, std::string& why) {
    if (folder.empty()) {
        why =
            "the playlist has no file to be saved in yet; save it once in the playlist "
            "editor (Load List)";
        return {};
    }
    if (const std::string problem = MakePrivateFolder(folder); !problem.empty()) {
        why = "the playlist has no file to be saved in yet, and " + Escaped(problem);
        return {};
    }
    for (int n = 1; n <= 1000; ++n) {
        const std::string path = folder + (n == 1 ? std::string("/playlist.vpl")
                                                  : "/playlist-" + std::to_string(n) + ".vpl");
        if (!FileExistsTest(path)) {
            return path;
        }
    }
    why = "the playlist has no file to be saved in yet, and " + Quoted(folder) +
          " holds no free playlist name";
    return {};
}

// --add: the pictures join the end of the playlist, which is saved before
// the show takes it, so that a list that cannot be saved changes nothing. A
// list without a file yet (a fresh start) gets a new one in the data folder,
// named in the settings, so the next start loads it.
TCommandReply AddPictures(TfrmMain& frmMain, const std::vector<std::string>& paths) {
    std::vector<std::string> notes;
    std::vector<std::string> pictures = PicturesNamed(paths, notes);
    if (pictures.empty()) {
        std::string why = "nothing to add: " + notes.front();
        if (notes.size() > 1) {
            why += " (and " + std::to_string(notes.size() - 1) + " more)";
        }
        return {false, why};
    }
    std::string file = frmMain.Settings().FPlayListFile;
    const bool newFile = file.empty();
    if (newFile) {
        std::string why;
        file = NewPlaylistFile(frmMain.Services().dataFolder, why);
        if (file.empty()) {
            return {false, why};
        }
    }
    std::vector<std::string> entries = frmMain.SlideShow().Playlist();
    entries.insert(entries.end(), pictures.begin(), pictures.end());
    try {
        WritePlaylistFile(file, entries);
    } catch (const EPlaylistFileError& e) {
        return {false, e.what()};
    }
    frmMain.SlideShow().SetPlaylist(std::move(entries));
    frmMain.ActionList1Update();
    if (newFile) {
        frmMain.Settings().FPlayListFile = file;
        frmMain.SaveSettings();
    }
    // The count first, on a line of its own; then what was passed over.
    std::string text = std::to_string(pictures.size()) + "\n";
    for (const std::string& note : notes) {
        text += "skipped: " + note + "\n";
    }
    return {true, text};
}

// --set: one picture now, beside the show: the playlist and the position
// stay, and the next slide comes from the playlist again. The caller hears
// once the desktop has it, or why not.
TCommandReply SetPicture(TfrmMain& frmMain, const std::vector<std::string>& paths,
                         TCloseRequestChannel* channel) {
    if (paths.size() != 1) {
        return {false, "one picture at a time"};
    }
    const std::string& path = paths.front();
    if (path.front() != '/') {
        return {false, Quoted(path) + " is not an absolute path"};
    }
    if (DirectoryExists(path)) {
        return {false, Quoted(path) + " is a folder, not a picture"};
    }
    if (!FileExistsTest(path)) {
        return {false, Quoted(path) + " does not exist"};
    }
    TWallpaperApplier& applier = *frmMain.Services().applier;
    applier.FLastRefusal.clear();
    frmMain.SlideShow().ShownOutside(path);
    frmMain.SetWallpaper(path);
    if (applier.Changing()) {
        if (channel) {
            if (TCloseRequestChannel::TLaterReply later = channel->AnswerLater()) {
                frmMain.WhenChangesEnd([later](const std::string& failure) {
                    later(failure.empty() ? TCommandReply{true, {}}
                                          : TCommandReply{false, failure});
                });
            }
        }
        return {true, {}};
    }
    // Ended at once: refused, the picture before it is still the one shown.
    if (frmMain.SlideShow().ShownFile() != path) {
        return {false, applier.FLastRefusal.empty() ? "the desktop did not take the picture"
                                                    : applier.FLastRefusal};
    }
    return {true, {}};
}

}  // namespace

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
        {"add", nullptr,
         "PATH...: add pictures, or the pictures in a folder, to the playlist\n"
         "               and save it; prints how many were added"},
        {"set", nullptr, "FILE: show this picture now; the playlist and the show's place stay"},
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
                               const std::vector<std::string>& args,
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
    const bool takesPaths = name == "add" || name == "set";
    if (!command || (!token.empty() && name != "show") || takesPaths != !args.empty()) {
        return {false, takesPaths ? "no path given" : "unknown command"};
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
    if (name == "add") {
        return AddPictures(frmMain, args);
    }
    if (name == "set") {
        return SetPicture(frmMain, args, channel);
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
    // A picture from outside the playlist (--set) is no entry, but on screen.
    const bool outside = entry < 0 && !show.ShownFile().empty();
    text += "file=" + (shown || outside ? Escaped(show.ShownFile()) : std::string()) + "\n";
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
