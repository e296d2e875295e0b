#if defined(__GNUC__) && !defined(__clang__)
// The per-row loops only reach their speed vectorised.
#pragma GCC optimize("O3")
#endif

#include "wallpaper/FastRescale.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace {

double Lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-12) {
        return 1.0;
    }
    if (x >= 3.0) {
        return 0.0;
    }
    const double px = M_PI * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// For every output position, the first input position and the normalised
// weights of the inputs it takes.
struct TWeights {
    int window = 0;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;  // window entries per output position
};

TWeights MakeWeights(int sourceSize, int targetSize) {
    TWeights table;
    const double scale = static_cast<double>(targetSize) / sourceSize;
    const double support = scale < 1.0 ? 3.0 / scale : 3.0;
    const double filterScale = scale < 1.0 ? scale : 1.0;
    table.window = 2 * static_cast<int>(std::ceil(support)) + 1;
    table.first.resize(targetSize);
    table.count.resize(targetSize);
    table.weights.assign(static_cast<size_t>(targetSize) * table.window, 0.0f);
    std::vector<double> raw(table.window);
    for (int d = 0; d < targetSize; ++d) {
        const double center = (d + 0.5) / scale;
        int left = std::max(0, static_cast<int>(std::floor(center - support)));
        int right = std::min(sourceSize - 1, static_cast<int>(std::ceil(center + support)));
        right = std::min(right, left + table.window - 1);
        double total = 0;
        int n = 0;
        for (int i = left; i <= right; ++i) {
            raw[n] = Lanczos3((i + 0.5 - center) * filterScale);
            total += raw[n++];
        }
        // Drop zero weights at both ends to shorten the loops.
        int lo = 0;
        while (lo < n - 1 && raw[lo] == 0.0)
            ++lo;
        int hi = n - 1;
        while (hi > lo && raw[hi] == 0.0)
            --hi;
        table.first[d] = left + lo;
        table.count[d] = hi - lo + 1;
        float* w = &table.weights[static_cast<size_t>(d) * table.window];
        for (int k = lo; k <= hi; ++k) {
            w[k - lo] = static_cast<float>(total != 0.0 ? raw[k] / total : (k == lo ? 1.0 : 0.0));
        }
    }
    return table;
}

inline std::uint8_t ToByte(float v) {
    v += 0.5f;
    return v <= 0.0f ? 0 : v >= 255.0f ? 255 : static_cast<std::uint8_t>(v);
}

template <int C>
void ScaleRows(FIBITMAP* source, FIBITMAP* target, const TWeights& horizontal,
               const TWeights& vertical, int fromRow, int toRow) {
    const int sourceWidth = static_cast<int>(FreeImage_GetWidth(source));
    const int targetWidth = static_cast<int>(FreeImage_GetWidth(target));
    const size_t rowValues = static_cast<size_t>(sourceWidth) * C;
    std::vector<float> column(rowValues);
    float* acc = column.data();
    for (int y = fromRow; y < toRow; ++y) {
        // Vertical: one row of the source's width, the sum of weighted rows.
        std::fill(column.begin(), column.end(), 0.0f);
        const float* wy = &vertical.weights[static_cast<size_t>(y) * vertical.window];
        for (int k = 0; k < vertical.count[y]; ++k) {
            const std::uint8_t* in = FreeImage_GetScanLine(source, vertical.first[y] + k);
            const float w = wy[k];
            for (size_t i = 0; i < rowValues; ++i) {
                acc[i] += w * static_cast<float>(in[i]);
            }
        }
        // Horizontal: from that row to the target's width.
        std::uint8_t* out = FreeImage_GetScanLine(target, y);
        for (int x = 0; x < targetWidth; ++x) {
            const float* wx = &horizontal.weights[static_cast<size_t>(x) * horizontal.window];
            const float* p = acc + static_cast<size_t>(horizontal.first[x]) * C;
            float sum[C] = {};
            for (int k = 0; k < horizontal.count[x]; ++k) {
                for (int c = 0; c < C; ++c) {
                    sum[c] += wx[k] * p[k * C + c];
                }
            }
            for (int c = 0; c < C; ++c) {
                out[x * C + c] = ToByte(sum[c]);
            }
        }
    }
}

// Each source row scaled to the target's width, once: for pictures that are
// narrowed a lot but made taller, where summing whole source rows for every
// target row would cost seconds (a header claiming 400,000 x 4 pixels).
template <int C>
std::vector<float> NarrowRows(FIBITMAP* source, int targetWidth, const TWeights& horizontal) {
    const int sourceHeight = static_cast<int>(FreeImage_GetHeight(source));
    std::vector<float> rows(static_cast<size_t>(sourceHeight) * targetWidth * C);
    for (int y = 0; y < sourceHeight; ++y) {
        const std::uint8_t* in = FreeImage_GetScanLine(source, y);
        float* out = &rows[static_cast<size_t>(y) * targetWidth * C];
        for (int x = 0; x < targetWidth; ++x) {
            const float* wx = &horizontal.weights[static_cast<size_t>(x) * horizontal.window];
            const std::uint8_t* p = in + static_cast<size_t>(horizontal.first[x]) * C;
            for (int k = 0; k < horizontal.count[x]; ++k) {
                for (int c = 0; c < C; ++c) {
                    out[x * C + c] += wx[k] * static_cast<float>(p[k * C + c]);
                }
            }
        }
    }
    return rows;
}

template <int C>
void ScaleNarrowedRows(const std::vector<float>& rows, FIBITMAP* target, const TWeights& vertical,
                       int fromRow, int toRow) {
    const int targetWidth = static_cast<int>(FreeImage_GetWidth(target));
    const size_t rowValues = static_cast<size_t>(targetWidth) * C;
    for (int y = fromRow; y < toRow; ++y) {
        const float* wy = &vertical.weights[static_cast<size_t>(y) * vertical.window];
        std::uint8_t* out = FreeImage_GetScanLine(target, y);
        for (size_t i = 0; i < rowValues; ++i) {
            float sum = 0.0f;
            for (int k = 0; k < vertical.count[y]; ++k) {
                sum += wy[k] * rows[static_cast<size_t>(vertical.first[y] + k) * rowValues + i];
            }
            out[i] = ToByte(sum);
        }
    }
}

}  // namespace

FIBITMAP* RescaleLanczos3(FIBITMAP* source, int width, int height) {
    if (!source || width <= 0 || height <= 0 || FreeImage_GetImageType(source) != FIT_BITMAP ||
        !FreeImage_HasPixels(source)) {
        return nullptr;
    }
    const unsigned bpp = FreeImage_GetBPP(source);
    if (bpp != 24 && bpp != 32) {
        return nullptr;
    }
    const int sourceWidth = static_cast<int>(FreeImage_GetWidth(source));
    const int sourceHeight = static_cast<int>(FreeImage_GetHeight(source));
    if (sourceWidth <= 0 || sourceHeight <= 0) {
        return nullptr;
    }
    FIBITMAP* target = FreeImage_Allocate(width, height, static_cast<int>(bpp), FI_RGBA_RED_MASK,
                                          FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
    if (!target) {
        return nullptr;
    }
    std::atomic<bool> failed{false};
    try {
        const TWeights horizontal = MakeWeights(sourceWidth, width);
        const TWeights vertical = MakeWeights(sourceHeight, height);
        std::vector<float> narrowed;
        const bool narrowFirst = sourceHeight < height && sourceWidth > 4 * width;
        if (narrowFirst) {
            narrowed = bpp == 24 ? NarrowRows<3>(source, width, horizontal)
                                 : NarrowRows<4>(source, width, horizontal);
        }
        // Rows are independent: split them between threads, each with its
        // own accumulation row.
        const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
        const int parts =
            static_cast<int>(std::min<unsigned>(cores, static_cast<unsigned>(height / 64 + 1)));
        auto work = [&](int part) noexcept {
            const int from = static_cast<int>(static_cast<long long>(height) * part / parts);
            const int to = static_cast<int>(static_cast<long long>(height) * (part + 1) / parts);
            try {
                if (narrowFirst) {
                    if (bpp == 24) {
                        ScaleNarrowedRows<3>(narrowed, target, vertical, from, to);
                    } else {
                        ScaleNarrowedRows<4>(narrowed, target, vertical, from, to);
                    }
                } else if (bpp == 24) {
                    ScaleRows<3>(source, target, horizontal, vertical, from, to);
                } else {
                    ScaleRows<4>(source, target, horizontal, vertical, from, to);
                }
            } catch (...) {
                failed = true;
            }
        };
        std::vector<std::thread> helpers;
        helpers.reserve(static_cast<size_t>(parts));
        for (int part = 1; part < parts; ++part) {
            try {
                helpers.emplace_back(work, part);
            } catch (const std::system_error&) {
                work(part);  // no thread to be had: do it here
            }
        }
        work(0);
        for (std::thread& helper : helpers) {
            helper.join();
        }
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed) {
        FreeImage_Unload(target);
        return nullptr;
    }
    return target;
}
