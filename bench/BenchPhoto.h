#pragma once

// Photograph-like pictures for the benches: soft gradients, waves of several
// sizes and sensor-like noise, so that JPEG files get a camera's size and
// decoding cost.

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace bench {

inline bool MakePhoto(const std::string& path, int width, int height, bool alpha,
                      FREE_IMAGE_FORMAT format, int flags) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, alpha ? 32 : 24);
    if (!dib)
        return false;
    const int bytes = alpha ? 4 : 3;
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 13) - 6;
            const double coarse =
                std::sin(fx * 7.0 + std::cos(fy * 4.0)) * std::cos(fy * 6.0 - fx * 2.0);
            const double fine = std::sin(x * 0.09 + std::sin(y * 0.05) * 3.0) * std::cos(y * 0.07);
            auto clamp = [](double v) { return static_cast<BYTE>(std::clamp(v, 0.0, 255.0)); };
            BYTE* p = line + x * bytes;
            p[FI_RGBA_RED] = clamp(120 + 80 * coarse * fx + 30 * fine + 25 * fy + noise);
            p[FI_RGBA_GREEN] = clamp(70 + 110 * fy + 45 * coarse + 20 * fine + noise);
            p[FI_RGBA_BLUE] = clamp(190 - 140 * fx * fy + 35 * coarse - 15 * fine + noise);
            if (alpha)
                p[FI_RGBA_ALPHA] = static_cast<BYTE>(x < width / 8 ? 128 : 255);
        }
    }
    const bool saved = FreeImage_Save(format, dib, path.c_str(), flags);
    FreeImage_Unload(dib);
    return saved;
}

}  // namespace bench
