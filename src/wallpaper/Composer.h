#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/DesktopBackend.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/WallpaperTypes.h"

// How a composition may take short cuts; the defaults are the program's.
struct TComposeOptions {
    // Lets the JPEG decoder shrink by 2, 4 or 8 while it decodes, when the
    // fitted picture still has at most that fraction of the source's pixels
    // on each side; the Lanczos pass then starts from the smaller picture.
    bool shrinkOnLoad = true;
    // What decoding the picture may cost; a picture whose header claims more
    // is refused before decoding.
    TDecodeBudget budget;
};

// One picture to compose: `source` fitted in `mode` to each monitor as to a
// display of that monitor's size; a desk of one monitor is a list of one.
// `placement` is how the desktop places each monitor's picture (painters
// only: files are placed by the desktop itself); `fillColor` shows around the
// picture and wherever no monitor is; `depth` is the display's (24 or 32 bits
// per pixel, for the bitmaps' backgrounds).
struct TComposeRequest {
    std::string source;
    TFitMode mode = fmConvertOnly;
    TDesktopPlacement placement = dpCenter;
    TColor fillColor = 0;
    std::vector<TMonitor> monitors;
    int depth = 32;
};

// Where the composed picture goes, one of:
// a bitmap file (BMP) per monitor, `files[i]` for monitor i;
struct TMonitorBitmaps {
    std::vector<std::string> files;
};
// one bitmap of the box around all monitors, each monitor's part showing its
// picture as the desktop would centre it on the monitor, cut to it;
struct TSpanningBitmap {
    std::string file;
};
// the parts of the picture of a screen of `size` pixels that shows the
// monitors (placed in the screen's coordinates) for a painter, one monitor's
// part at a time (a scaled JPEG photograph's in bands of rows, made as it is
// decoded), each dropped once handed on; what no part covers is left to the
// painter (the fill colour).
struct TScreenParts {
    TPixelSize size;
    TPictureParts* parts = nullptr;
};
using TComposeSink = std::variant<TMonitorBitmaps, TSpanningBitmap, TScreenParts>;

// Composes `request` into `sink`. The picture is decoded once, at the size the
// largest monitor needs, and composed for each monitor in turn (a JPEG
// photograph scaled for one monitor is scaled row by row as it is decoded,
// straight into the bitmap or the painter's bands); each
// monitor's result is dropped once it is written or handed on, so that no
// more than one of them is held at a time. False, leaving files untouched
// where nothing could be composed, when the source is no picture, the mode is
// unknown, the sink does not fit the monitors or a bitmap cannot be written.
bool Compose(const TComposeRequest& request, const TComposeSink& sink,
             const TComposeOptions& options = TComposeOptions{});

// The composer as the applier sees it: Compose with the program's options.
// Tests give the applier one that records what it is asked.
class TComposer {
public:
    virtual ~TComposer() = default;
    virtual bool Run(const TComposeRequest& request, const TComposeSink& sink) const {
        return Compose(request, sink);
    }
};
