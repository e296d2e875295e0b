#pragma once

#include <string>

#include "wallpaper/WallpaperTypes.h"

class TFreeBitmap;

// False when the PNG file `path` declares a chunk longer than what is left of
// the file (or longer than the format allows). The PNG decoder allocates what
// a text or profile chunk declares before it finds the file too short: a few
// dozen bytes can cost seconds and gigabytes. Files that are no PNG pass.
bool PngChunksFit(const std::string& path);

// Lays a picture that carries transparency over `fillColor` (0x00BBGGRR) and
// leaves it opaque and 24-bit; an alpha channel that the picture does not
// mark as transparency is dropped. Other pictures stay as they are. False
// when memory runs out.
bool FlattenOnto(TFreeBitmap& image, TColor fillColor);
