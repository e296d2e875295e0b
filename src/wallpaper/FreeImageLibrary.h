#pragma once

// FreeImage is opened on first use, not at start. The program links no
// FreeImage: FreeImageLibrary.cpp defines every FreeImage_* function the
// program calls, with FreeImage.h's own signature, and forwards each call to
// the library, opened (libfreeimage.so.3) on the first call of any of them.
// FreeImage brings some twenty libraries (camera RAW, OpenEXR, TIFF, JPEG XR,
// JPEG 2000, WebP, ...) that cost a start about 10 ms of CPU; a start, and
// the road of a JPEG or PNG photograph that this program decodes itself,
// never load them.
//
// Where the library cannot be opened (a broken installation), the first call
// says so once on stderr, with the loader's reason, and every call fails as
// FreeImage reports failure: a null bitmap, FIF_UNKNOWN, FALSE or 0.

// Opens FreeImage now, if it is not open yet; false when it cannot be.
// Decoders forked into a child process open it first, so that each child
// inherits the library instead of loading it again in a process that ends.
bool OpenFreeImage();
