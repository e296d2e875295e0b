#pragma once

// The real program on a real desktop, judged by the screen: the runs every
// desktop's test makes, on a TRealDesktop of at least 800x600 whose desktop
// already shows its original wallpaper.
//
//   TProgramOnDesktop program(desktop, {{400, 300, 0x00A000}, ...});  // the original's look
//   program.LetterBoxResetAndOrderlyExit();
//   program.TileKillNineThenQuietRun();
//   program.ForbiddenChangesLeaveTheScreen("policy forbids");
//
// The main window is moved to the top left corner, where no check looks; its
// buttons are clicked where the window's layout puts them, as a user would.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/desktop/RealDesktop.h"

class TProgramOnDesktop {
public:
    TProgramOnDesktop(TRealDesktop& desktop, std::vector<TPixelCheck> original);

    // Letter box with a fill colour through the Next button, Reset to Default
    // and the close request; then shown at start and ended by the close
    // request: the bands, the picture and the original each where they
    // belong, and no record left.
    void LetterBoxResetAndOrderlyExit();
    // A tiled (or centred) picture shown at start, the program killed: the
    // picture stays and the record is kept; a following run that changes
    // nothing puts the original back at its orderly end.
    void TileKillNineThenQuietRun(bool centre = false);
    // KeepWallpaper: the letter box shown at start stays after the close
    // request, and so does the record; a later run without it puts the
    // original back on Reset to Default.
    void KeepWallpaperThenResetNextRun();
    // With the desktop's own lock in place: a run that would show a slide
    // leaves the screen as it was, with one warning containing `warning`.
    void ForbiddenChangesLeaveTheScreen(const std::string& warning);

    // On a desk of several monitors (TRealDesktop::Monitors()), whose desktop
    // shows `original_` (each monitor's own): the letter box shown at start
    // fits each monitor, bands and all; the close request puts the original
    // back on every monitor.
    void MonitorsLetterBoxAndOrderlyExit();
    // The same letter box, then `plugged` (the desk with a monitor more, when
    // not empty) made the desk while it runs: the new monitor gets its own;
    // the program killed, a run that changes nothing puts the original back
    // on every monitor of the desk it started with (the new one still there).
    // `afterPlug` runs once the monitor is plugged in; the screen is judged
    // when it returns true.
    void MonitorsKillNineThenQuietRun(const std::vector<TMonitorSpec>& plugged = {},
                                      const std::function<bool()>& afterPlug = {});

    // The pictures' checks, for desktops that need a look of their own.
    std::vector<TPixelCheck> LetterBoxChecks() const;
    // The letter box on a monitor at x,y of width x height.
    static std::vector<TPixelCheck> LetterBoxChecks(int x, int y, int width, int height);
    // The letter box on every monitor of `monitors`.
    static std::vector<TPixelCheck> LetterBoxChecks(const std::vector<TMonitorSpec>& monitors);
    std::vector<TPixelCheck> TileChecks() const;
    std::vector<TPixelCheck> CentreChecks() const;

    // Clicks the main window's button of `action` ("actNext", "actResetDefault").
    bool Click(TProcessId program, const std::string& action);

private:
    TRealDesktop& d_;
    std::vector<TPixelCheck> original_;
    void WriteLetterBoxAtStart(bool keep = false);
    std::string letterBox_, tile_, centre_;
};
