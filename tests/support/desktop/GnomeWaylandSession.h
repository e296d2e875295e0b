#pragma once

// GNOME Shell as a headless Wayland compositor, for tests judged by its
// pixels.
//
// The shell starts its own Xwayland on display :0 and wants /tmp/.X11-unix:
// so the shell, its buses and every client share private mount, network and
// process namespaces with a private /tmp (the session's folder bound back
// into it at the same path), held open by a `sleep` and joined with nsenter;
// ending the holder ends them all. An extension of the session's own turns
// the shell's unsafe mode on, which its Eval and Screenshot calls need.
//
//   TGnomeWaylandSession gnome(800, 600);
//   ASSERT_TRUE(gnome.Ready()) << gnome.Error();
//   gnome.Launch("vantoria", {TGnomeWaylandSession::VantoriaPath()});
//   gnome.WaitForPixels("slide", {{200, 300, 0xD02020}});

#include <sys/types.h>

#include <QImage>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/desktop/RealDesktop.h"

class TGnomeWaylandSession {
public:
    // `settings`: GSettings values ("schema key value") set before the shell
    // starts; the session uses the keyfile back-end.
    TGnomeWaylandSession(int width, int height,
                         const std::vector<std::vector<std::string>>& settings = {});
    ~TGnomeWaylandSession();
    TGnomeWaylandSession(const TGnomeWaylandSession&) = delete;
    TGnomeWaylandSession& operator=(const TGnomeWaylandSession&) = delete;

    bool Ready() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Root() const { return root_; }
    std::string ConfigHome() const { return root_ + "/config"; }

    // Started in the session with its environment and `extraEnv`; its output
    // in Log(name).
    pid_t Launch(const std::string& name, const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& extraEnv = {});
    // A tool run in the session to its end (bounded by `timeoutMs`).
    TToolRun Run(const std::vector<std::string>& argv, int timeoutMs = 20000,
                 const std::map<std::string, std::string>& extraEnv = {});
    std::string Log(const std::string& name) const;

    // The shell's answer to `script` (org.gnome.Shell.Eval), as its JSON
    // text; nothing when the shell refused it.
    std::optional<std::string> Eval(const std::string& script);
    // The whole screen through the shell's Screenshot call; a null image
    // when it cannot.
    QImage Shot();
    // Waits until every point shows its colour (0xRRGGBB, within 8 per
    // channel), or with `differ` until none does; prints what it checked.
    bool WaitForPixels(const std::string& what, const std::vector<TPixelCheck>& checks,
                       bool differ = false, int timeoutMs = 15000);

    // The real program's settings and slides, as TRealDesktop writes them.
    void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                       const std::vector<std::string>& slides = {});
    static std::string VantoriaPath();

private:
    std::vector<std::string> Joined(const std::vector<std::string>& argv) const;

    std::string root_;
    std::string error_;
    std::map<std::string, std::string> env_;
    pid_t holder_ = -1;  // unshare
    pid_t inner_ = -1;   // the namespaces' first process, as seen from here
    std::vector<pid_t> started_;
    int shots_ = 0;
};
