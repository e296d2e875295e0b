#pragma once

#include <string>
#include <vector>

#include "platform/InstanceGuard.h"

class TfrmMain;

// The commands another process can give the running instance: each is an
// option of the command line ("vantoria --next") and a word on the instance's
// socket. They run the main window's own commands, so a command from outside
// does exactly what its button or menu item does.
struct TRemoteCommand {
    const char* name;    // the option without "--", and the word on the socket
    const char* action;  // objectName of the main window's command; nullptr for quit, status
    const char* help;    // one line for --help
};

const std::vector<TRemoteCommand>& RemoteCommands();
const TRemoteCommand* FindRemoteCommand(const std::string& name);

// Runs a command in the instance ("quit" is the close request and never
// reaches here). A command that is disabled in the window (the slide show
// commands while the playlist is empty), or given while a modal window is
// open, is refused with the reason; "status" is always answered. A command
// that hands a picture to the desktop is answered through `channel` once the
// desktop has taken it, or refused with the reason when it did not; "show"
// likewise once the window is in front. `line` is the command's name, for
// "show" perhaps followed by a space and the launcher's activation token.
TCommandReply RunRemoteCommand(TfrmMain& frmMain, const std::string& line,
                               TCloseRequestChannel* channel = nullptr);

// The facts --status prints, one "name=value" line each: state, entry (the
// number of the playlist entry on the desktop, 0 for none), file, entries,
// playlist, interval (seconds), window (shown, minimised, tray, or hidden
// where there is no tray to find it in), shuffle (on or off). Backslashes
// and control characters in paths are written as \\ and \xHH.
std::string StatusText(const TfrmMain& frmMain);
