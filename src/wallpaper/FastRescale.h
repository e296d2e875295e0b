#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <vector>

#include "wallpaper/ComposeGeometry.h"

// Scales a 24- or 32-bit colour bitmap with the Lanczos3 kernel, the way
// FreeImage_Rescale with FILTER_LANCZOS3 does (pixel centres aligned, the
// kernel widened when shrinking, weights renormalised at the edges, each
// channel filtered on its own), but in one streaming pass per output row,
// vertical first so that the inner loop runs along contiguous memory, and on
// up to four threads. Returns null for other image kinds, for empty sizes and
// when memory runs out; the caller then falls back to FreeImage.
FIBITMAP* RescaleLanczos3(FIBITMAP* source, int width, int height);

// The same Lanczos3 scaling of a picture of 24-bit rows (FreeImage's byte
// order) that arrive one at a time, top first: each row is narrowed or
// widened once as it comes, and each scaled row is made as soon as the rows
// it needs have come, so that neither the whole picture nor its scaled copy
// need exist. Only `shown` of the scaled picture is made.
class TLanczos3Rows {
public:
    // False for empty sizes, a `shown` outside the scaled picture, or no memory.
    bool Start(TPixelSize source, TPixelSize scaled, TPixelRect shown) noexcept;
    // The rows and columns of the source that the shown part needs; the
    // rows pushed are those, of that width.
    TPixelRect SourcePart() const { return sourcePart_; }
    void Push(const std::uint8_t* row) noexcept;
    // Makes the next shown row into `out` (shown.width pixels, 0x00RRGGBB)
    // once the rows pushed are enough for it; false until then and after the
    // last. Each Push is followed by Pops until one is false: only the rows
    // still needed are kept.
    bool Pop(std::uint32_t* out) noexcept;

    // For every scaled position, the first source position and the
    // normalised weights of the `count` sources it takes.
    struct TTable {
        int window = 0;
        std::vector<int> first;
        std::vector<int> count;
        std::vector<float> weights;  // window entries per scaled position
    };

private:
    TTable horizontal_;
    TTable vertical_;
    TPixelRect shown_;
    TPixelRect sourcePart_;
    int ringRows_ = 0;
    std::vector<float> ring_;  // narrowed rows, ringRows_ of them, by source row
    std::vector<float> sum_;
    int pushed_ = 0;  // source rows pushed, counted from sourcePart_.top
    int popped_ = 0;  // shown rows made
};
