#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <string>

#include "wallpaper/ComposeGeometry.h"

class TFreeBitmap;

// What decoding one picture may cost, fixed before decoding starts. A few
// dozen hostile bytes can declare gigabytes of pixels or make a decoder
// repeat work for minutes; a picture beyond any of these is refused, with
// the reason, and the slide show goes on.
//
// - Pixels: 2^28 (16384 x 16384), more than any camera or screen shot gives.
// - Bytes: the decoded picture in its own format (bits per pixel counted, so
//   a float or 16-bit picture costs what it really takes) at most 1 GiB,
//   2^28 pixels of 32 bits. The decoding child's address space may grow by
//   twice that, for the conversion to an ordinary bitmap beside the decoded
//   one, and 256 MiB for the decoder's own tables.
// - CPU time: 5 s for the decode (1 s to read a header). A photograph of 24
//   megapixels decodes in about 0.2 s; a PNG of 24 megapixels of camera
//   noise, 123 MB, in 1.3 s on a 2-core desktop of today: 5 s admit every
//   picture a camera or a screen makes, with room for a slower machine.
//   On a busy machine the decoder may wait for the CPU: it is given three
//   times its CPU time in all before it is killed.
// - JPEG scans: 100. Cameras and encoders write 1 to about 12; the hostile
//   kind repeats one scan thousands of times, each pass over every block.
struct TDecodeBudget {
    std::int64_t maxPixels = std::int64_t{1} << 28;
    std::int64_t maxBytes = std::int64_t{1} << 30;
    int cpuSeconds = 5;
    int maxJpegScans = 100;
};

// Bytes a decoded picture of `size` takes at `bitsPerPixel`, rows padded to
// 4 bytes as FreeImage keeps them.
std::int64_t DecodedBytes(TPixelSize size, unsigned bitsPerPixel);

// Empty when a picture of `size` and `bitsPerPixel` fits `budget`; otherwise
// why it does not ("declares 65535 x 65535 pixels, more than ...").
std::string OverBudget(TPixelSize size, unsigned bitsPerPixel, const TDecodeBudget& budget);

// What the file's own header declares, for the formats whose size FreeImage
// cannot tell without decoding (DDS, XBM), whose decoder trusts a size the
// file cannot hold (PBM/PGM/PPM text and raw, RLE targa), or whose header is
// simple enough to need no decoder (PNG's IHDR): `size` and
// `bitsPerPixel` when found. `refusal` is set when the declared picture
// cannot be in a file this short, or the header is cut short.
struct TDeclaredSize {
    bool read = false;
    TPixelSize size;
    unsigned bitsPerPixel = 0;
    std::string refusal;
};
TDeclaredSize ReadDeclaredSize(FREE_IMAGE_FORMAT format, const std::string& path);

// Decodes `path` with FreeImage in a child process, bounded by `budget`'s
// CPU time and memory, and killed when it overruns them (or when the
// decodes running are abandoned). `prepare` runs in the child on the decoded
// picture, within the same bounds (bringing it to an ordinary bitmap, say);
// its result, an ordinary bitmap of at most 32 bits per pixel, comes back in
// `out`. A picture the decoder reports as damaged or short (a read past the
// end of the file, a message of the decoder) is refused. False with
// `refusal` set when the picture is refused.
bool DecodeInChild(FREE_IMAGE_FORMAT format, const std::string& path, int flags,
                   const TDecodeBudget& budget,
                   const std::function<std::string(TFreeBitmap&)>& prepare, TFreeBitmap& out,
                   std::string& refusal);

// Reads only the header of `path` with FreeImage in a child process, within
// a second of CPU time and `budget`'s memory: the header readers of some
// formats (EXR) loop for ever on a damaged file. `orientation` runs in the
// child on the header's picture (its EXIF orientation, 1 when none).
struct TChildHeader {
    unsigned width = 0;
    unsigned height = 0;
    unsigned bitsPerPixel = 0;
    int orientation = 1;
};
bool ReadHeaderInChild(FREE_IMAGE_FORMAT format, const std::string& path,
                       const TDecodeBudget& budget,
                       const std::function<int(FIBITMAP*)>& orientation, TChildHeader& header,
                       std::string& refusal);

// The program is ending: every decode running now is given up at once (a
// decoding child is killed, the JPEG decoder stops at its next row), and
// reports the picture as refused. Decodes started later run as usual. Safe
// from any thread.
void AbandonRunningDecodes();

// How many decoding children run now.
std::size_t RunningDecodeChildren();

// Increases at every AbandonRunningDecodes; a decode that sees it change
// since it started gives up.
unsigned DecodeGeneration();

// Why the last composition on this thread refused its picture; empty when
// it did not. The composer notes it, the applier reports it.
const std::string& LastDecodeRefusal();
void NoteDecodeRefusal(std::string reason);
