#pragma once

#include <cstdint>

// The arithmetic of fitting a picture to the display: sizes, offsets and
// rounding as plain functions of numbers, so that the image code only carries
// them out.

struct TPixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const TPixelSize&) const = default;
};

// A rectangle of pixels, from the top left corner.
struct TPixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TPixelRect&) const = default;
};

// Bounds that keep a composition within memory a desktop machine has: no
// composed bitmap is made larger than this (what a picture may cost to
// decode is its decoding budget's matter).
inline constexpr std::int64_t kMaxComposedSide = 65535;
inline constexpr std::int64_t kMaxComposedPixels = std::int64_t{1} << 28;

// Rounds to the nearest integer, a half going to the even neighbour
// (512.5 gives 512, 513.5 gives 514).
std::int64_t RoundHalfToEven(long double value);

// One side of a picture scaled so that its other side becomes `target`: the
// ratio target / fittedSide is formed first, then multiplied by otherSide, in
// extended precision, and rounded half to even. Never below 1 for positive
// inputs, so a very thin picture still keeps a visible line.
std::int64_t ScaledSide(int target, int fittedSide, int otherSide);

// What composing one picture for one display does.
struct TComposePlan {
    bool valid = false;      // false: unknown mode, empty sizes or a result too large
    bool rescale = false;    // the picture is scaled to `scaled`; otherwise kept as it is
    TPixelSize scaled;       // the picture's size once fitted
    bool letterBox = false;  // the picture is placed on a background of `canvas`
    TPixelSize canvas;       // the written bitmap's size
    int left = 0;            // the picture's offset on the canvas, from the left
    int top = 0;             // and from the top
};

// Plans composition `mode` (0 stretch, 1 letter box, 2 zoom, 3 convert only)
// of a picture of `source` pixels (as it will be shown, upright) for a display
// of `screen` pixels.
//
// Letter box and zoom fit a side chosen by the picture's own shape: letter box
// fits the width of a picture wider than tall and the height of any other,
// zoom the opposite. Letter box then keeps the whole picture inside the
// display, zoom makes it cover the whole display: when the chosen side would
// let the other overflow (letter box) or fall short (zoom), the other side is
// fitted instead. A picture that already matches the display (stretch: both
// sides; zoom: one side, the other at least the display's) is written as it is.
TComposePlan PlanComposition(int mode, TPixelSize source, TPixelSize screen);

// The largest of 1, 2, 4 and 8 by which a JPEG decoder may shrink a picture of
// `source` pixels while it still has at least `target` pixels on each side
// (the decoder rounds the shrunk sides up).
int JpegShrinkFactor(TPixelSize source, TPixelSize target);

// The size hint that makes the JPEG loader shrink a picture whose longer side
// is `longerSide` by exactly `factor` (2, 4 or 8); 0 for no hint.
int JpegSizeHint(int longerSide, int factor);

// The smallest number of eighths (1 to 8) to which a JPEG decoder may shrink
// a picture of `source` pixels while it keeps at least `target` pixels on
// each side (the decoder rounds the shrunk sides up).
int JpegEighths(TPixelSize source, TPixelSize target);

// The part of an unscaled picture of `picture` pixels that a screen of
// `screen` pixels shows: the picture centred on the screen, or tiled from the
// screen's top left corner (`tiled`).
TPixelRect ShownPart(TPixelSize picture, TPixelSize screen, bool tiled);
