#pragma once

#include <string>

#include "platform/DesktopBackend.h"

// A window manager without a desktop of its own: the wallpaper is a pixmap
// set as the root window's background, advertised in _XROOTPMAP_ID and
// ESETROOT_PMAP_ID for compositors and transparent terminals, and kept alive
// after the connection closes (RetainPermanent), as every root setter does.
//
// The next setter frees the pixmap it finds, so the picture found at start is
// copied into `stateFolder` to be put back later.
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
    // Removes the copy of the root picture; a state naming any other file
    // (the record may have been edited) removes nothing.
    void DropState(const std::string& state) override;

    // Where SaveState keeps its copy of the root picture.
    std::string CopyPath() const { return stateFolder_ + "/original-root.ppm"; }

private:
    std::string displayName_;
    std::string stateFolder_;
    TDesktopPlacement placement_ = dpCenter;
};
