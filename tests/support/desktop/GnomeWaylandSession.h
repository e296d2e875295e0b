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

#include "support/desktop/NamespaceSession.h"

class TGnomeWaylandSession : public TNamespaceSession {
public:
    // `settings`: GSettings values ("schema key value") set before the shell
    // starts; the session uses the keyfile back-end.
    TGnomeWaylandSession(int width, int height,
                         const std::vector<std::vector<std::string>>& settings = {});
    ~TGnomeWaylandSession();

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

private:
    pid_t holder_ = -1;  // unshare
    int shots_ = 0;
};
