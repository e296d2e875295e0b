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

using TWeights = TLanczos3Rows::TTable;

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

// Hot loops, built for the processor's widest vector units where the
// platform picks a function's variant at load time.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__)
#define VECTOR_VARIANTS __attribute__((target_clones("avx2", "default")))
#else
#define VECTOR_VARIANTS
#endif

// Adds `weight` times a row of bytes to a row of sums.
VECTOR_VARIANTS void AddWeightedBytes(float* sum, const std::uint8_t* row, float weight,
                                      std::size_t values) {
    for (std::size_t i = 0; i < values; ++i) {
        sum[i] += weight * static_cast<float>(row[i]);
    }
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
            AddWeightedBytes(acc, in, wy[k], rowValues);
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

namespace {

// One row of 3-byte pixels narrowed or widened to the shown columns.
// `in` starts at source column `origin`.
VECTOR_VARIANTS void ScaleAcross(const std::uint8_t* in, int origin, float* out, const int* first,
                                 const int* count, const float* weights, int window, int columns) {
    for (int x = 0; x < columns; ++x) {
        const float* w = weights + static_cast<std::size_t>(x) * window;
        const std::uint8_t* p = in + static_cast<std::size_t>(first[x] - origin) * 3;
        float b = 0.0f;
        float g = 0.0f;
        float r = 0.0f;
        for (int k = 0; k < count[x]; ++k) {
            b += w[k] * static_cast<float>(p[3 * k]);
            g += w[k] * static_cast<float>(p[3 * k + 1]);
            r += w[k] * static_cast<float>(p[3 * k + 2]);
        }
        out[3 * x] = b;
        out[3 * x + 1] = g;
        out[3 * x + 2] = r;
    }
}

VECTOR_VARIANTS void AddWeighted(float* sum, const float* row, float weight, std::size_t values) {
    for (std::size_t i = 0; i < values; ++i) {
        sum[i] += weight * row[i];
    }
}

VECTOR_VARIANTS void ToPixels(const float* sum, std::uint32_t* out, int columns) {
    for (int x = 0; x < columns; ++x) {
        const float* p = sum + static_cast<std::size_t>(x) * 3;
        out[x] = std::uint32_t{ToByte(p[FI_RGBA_RED])} << 16 |
                 std::uint32_t{ToByte(p[FI_RGBA_GREEN])} << 8 | ToByte(p[FI_RGBA_BLUE]);
    }
}

}  // namespace

bool TLanczos3Rows::Start(TPixelSize source, TPixelSize scaled, TPixelRect shown) noexcept {
    if (source.width <= 0 || source.height <= 0 || scaled.width <= 0 || scaled.height <= 0 ||
        shown.width <= 0 || shown.height <= 0 || shown.left < 0 || shown.top < 0 ||
        shown.left + static_cast<long long>(shown.width) > scaled.width ||
        shown.top + static_cast<long long>(shown.height) > scaled.height) {
        return false;
    }
    try {
        horizontal_ = MakeWeights(source.width, scaled.width);
        vertical_ = MakeWeights(source.height, scaled.height);
        shown_ = shown;
        // The source columns and rows the shown part reaches.
        auto reach = [](const TWeights& table, int from, int to, int& low, int& high) {
            low = table.first[from];
            high = low;
            for (int i = from; i < to; ++i) {
                low = std::min(low, table.first[i]);
                high = std::max(high, table.first[i] + table.count[i]);
            }
        };
        int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        reach(horizontal_, shown.left, shown.left + shown.width, x0, x1);
        reach(vertical_, shown.top, shown.top + shown.height, y0, y1);
        sourcePart_ = {x0, y0, x1 - x0, y1 - y0};
        // Rows kept: from the first a shown row takes to the last any row
        // before it took, whichever is further back.
        int furthest = y0;
        ringRows_ = 1;
        for (int y = shown.top; y < shown.top + shown.height; ++y) {
            furthest = std::max(furthest, vertical_.first[y] + vertical_.count[y]);
            ringRows_ = std::max(ringRows_, furthest - vertical_.first[y]);
        }
        ring_.assign(static_cast<std::size_t>(ringRows_) * shown.width * 3, 0.0f);
        sum_.assign(static_cast<std::size_t>(shown.width) * 3, 0.0f);
        pushed_ = 0;
        popped_ = 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void TLanczos3Rows::Push(const std::uint8_t* row) noexcept {
    if (pushed_ >= sourcePart_.height) {
        return;
    }
    const std::size_t values = static_cast<std::size_t>(shown_.width) * 3;
    float* out = ring_.data() + static_cast<std::size_t>(pushed_ % ringRows_) * values;
    ScaleAcross(
        row, sourcePart_.left, out, horizontal_.first.data() + shown_.left,
        horizontal_.count.data() + shown_.left,
        horizontal_.weights.data() + static_cast<std::size_t>(shown_.left) * horizontal_.window,
        horizontal_.window, shown_.width);
    ++pushed_;
}

bool TLanczos3Rows::Pop(std::uint32_t* out) noexcept {
    if (popped_ >= shown_.height) {
        return false;
    }
    const int y = shown_.top + popped_;
    const int first = vertical_.first[y] - sourcePart_.top;
    const int count = vertical_.count[y];
    if (first + count > pushed_) {
        return false;
    }
    const std::size_t values = static_cast<std::size_t>(shown_.width) * 3;
    std::fill(sum_.begin(), sum_.end(), 0.0f);
    const float* w = &vertical_.weights[static_cast<std::size_t>(y) * vertical_.window];
    for (int k = 0; k < count; ++k) {
        AddWeighted(sum_.data(),
                    ring_.data() + static_cast<std::size_t>((first + k) % ringRows_) * values, w[k],
                    values);
    }
    ToPixels(sum_.data(), out, shown_.width);
    ++popped_;
    return true;
}
