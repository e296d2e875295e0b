#pragma once

#include <string>
#include <vector>

#include "platform/DesktopBackend.h"

// A window manager without a desktop of its own: the wallpaper is a pixmap
// set as the root window's background, advertised in _XROOTPMAP_ID and
// ESETROOT_PMAP_ID for compositors and transparent terminals, and kept alive
// after the connection closes (RetainPermanent), as every root setter does.
//
// The picture found at start is put back by pointing the root at its pixmap
// again: the setter that made it kept it (RetainPermanent), and this back-end
// never frees it. A copy made inside the X server, kept by a connection of its
// own, stands in should that pixmap go meanwhile; it outlives a kill -9 of
// this program. Only a server that cannot hold that copy gets a copy in
// `stateFolder` instead.
class TRootWindowDesktopBackend : public TDesktopBackend,
                                  public TFileWallpaper,
                                  public TPicturePainter,
                                  public TWallpaperState {
public:
    TRootWindowDesktopBackend(std::string displayName, std::string stateFolder);

    std::string Name() const override { return "X11"; }
    TFileWallpaper* Files() override { return this; }
    TPicturePainter* Painter() override { return this; }
    TWallpaperState* State() override { return this; }

    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    // The parts go straight into the root's pixmap: no picture of the whole
    // root is held here.
    bool PaintPicture(TPictureDraw& draw, std::uint32_t fill, const std::string& label) override;
    // The file this program last painted while its pixmap is still shown;
    // "" for a picture of another setter, whose file cannot be known.
    std::optional<std::string> CurrentWallpaperFile() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;
    // Frees the copy of the root picture unless the root shows it; a state
    // naming any other file or pixmap (the record may have been edited)
    // removes nothing.
    void DropState(const std::string& state) override;

    // Where SaveState keeps its copy of the root picture when the X server
    // cannot hold one.
    std::string CopyPath() const { return stateFolder_ + "/original-root.ppm"; }

private:
    std::string displayName_;
    std::string stateFolder_;
    TDesktopPlacement placement_ = dpCenter;
    // The original picture's pixmap and its copy: never freed as a previous
    // setter's.
    std::vector<unsigned long> kept_;
};
