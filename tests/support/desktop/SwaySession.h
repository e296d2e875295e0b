#pragma once

// A headless sway with swaybar's tray, for tests judged by its pixels.
//
// sway refuses to run as root, and swaybar's tray needs a session bus whose
// EXTERNAL authentication matches its user: so the bus, sway (with its bar)
// and every client run as user 1000 of one private user namespace, held
// open by a `sleep` and joined with nsenter. Outputs are HEADLESS-1,
// HEADLESS-2, ... side by side; grim reads each one.
//
//   TSwaySession sway({{800, 600}, {640, 480}});
//   ASSERT_TRUE(sway.Ready()) << sway.Error();
//   sway.Launch("vantoria", {sway.VantoriaPath()});
//   auto shot = sway.Shot("HEADLESS-1");
//
// The destructor stops every process it started, sway and the bus last.

#include <sys/types.h>

#include <QImage>
#include <QJsonObject>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/desktop/NamespaceSession.h"

struct TSwayOutput {
    int width = 0;
    int height = 0;
};

class TSwaySession : public TNamespaceSession {
public:
    // `config`: more of sway's configuration, after the outputs and the bar.
    explicit TSwaySession(std::vector<TSwayOutput> outputs, const std::string& config = {});
    ~TSwaySession();

    static std::string OutputName(std::size_t index) {
        return "HEADLESS-" + std::to_string(index + 1);
    }

    // Launch and Run (TNamespaceSession) start processes as user 1000 of the
    // namespace.
    void Stop(pid_t pid);

    // One output as grim reads it; a null image when it cannot.
    QImage Shot(const std::string& output);
    // The colour (0xRRGGBB) at a point of an output, printed under `what`
    // with the colour wanted.
    std::optional<std::uint32_t> Pixel(const std::string& what, const std::string& output, int x,
                                       int y, std::uint32_t want);
    // The window sway shows under `title` (its container in get_tree, with
    // "floating" added); nothing when there is none.
    std::optional<QJsonObject> Window(const std::string& title);

private:
    pid_t holder_ = -1;
};
