#pragma once

#include <FreeImage.h>

// Scales a 24- or 32-bit colour bitmap with the Lanczos3 kernel, the way
// FreeImage_Rescale with FILTER_LANCZOS3 does (pixel centres aligned, the
// kernel widened when shrinking, weights renormalised at the edges, each
// channel filtered on its own), but in one streaming pass per output row,
// vertical first so that the inner loop runs along contiguous memory, and on
// up to four threads. Returns null for other image kinds, for empty sizes and
// when memory runs out; the caller then falls back to FreeImage.
FIBITMAP* RescaleLanczos3(FIBITMAP* source, int width, int height);
