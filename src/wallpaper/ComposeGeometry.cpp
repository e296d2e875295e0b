#include "wallpaper/ComposeGeometry.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "wallpaper/WallpaperTypes.h"

std::int64_t RoundHalfToEven(long double value) {
    const long double lower = std::floor(value);
    const long double fraction = value - lower;
    auto result = static_cast<std::int64_t>(lower);
    if (fraction > 0.5L || (fraction == 0.5L && (result % 2 != 0))) {
        ++result;
    }
    return result;
}

std::int64_t ScaledSide(int target, int fittedSide, int otherSide) {
    if (target <= 0 || fittedSide <= 0 || otherSide <= 0) {
        return 0;
    }
    const long double ratio =
        static_cast<long double>(target) / static_cast<long double>(fittedSide);
    const std::int64_t side = RoundHalfToEven(ratio * static_cast<long double>(otherSide));
    return side < 1 ? 1 : side;
}

namespace {

bool WithinBounds(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxComposedSide && height <= kMaxComposedSide &&
           width * height <= kMaxComposedPixels;
}

TComposePlan Unscaled(TPixelSize source) {
    TComposePlan plan;
    plan.valid = WithinBounds(source.width, source.height);
    plan.scaled = source;
    plan.canvas = source;
    return plan;
}

TComposePlan Scaled(TPixelSize source, std::int64_t width, std::int64_t height) {
    TComposePlan plan;
    if (!WithinBounds(width, height)) {
        return plan;
    }
    plan.valid = true;
    plan.scaled = {static_cast<int>(width), static_cast<int>(height)};
    plan.rescale = !(plan.scaled == source);
    plan.canvas = plan.scaled;
    return plan;
}

TComposePlan LetterBox(TPixelSize source, TPixelSize screen) {
    const int w = source.width;
    const int h = source.height;
    const bool wide = h < w;
    std::int64_t newW = 0;
    std::int64_t newH = 0;
    if (wide) {
        newW = screen.width;
        newH = ScaledSide(screen.width, w, h);
    } else {
        newH = screen.height;
        newW = ScaledSide(screen.height, h, w);
    }
    if (newW > screen.width || newH > screen.height) {
        // The picture's proportions differ from the display's the other way:
        // fitting the other side keeps it whole and inside.
        if (wide) {
            newH = screen.height;
            newW = ScaledSide(screen.height, h, w);
        } else {
            newW = screen.width;
            newH = ScaledSide(screen.width, w, h);
        }
    }
    TComposePlan plan = Scaled(source, newW, newH);
    if (!plan.valid || !WithinBounds(screen.width, screen.height)) {
        return {};
    }
    plan.letterBox = true;
    plan.canvas = screen;
    // Integer division: an odd spare pixel lies on the right or at the bottom.
    plan.left = (screen.width - plan.scaled.width) / 2;
    plan.top = (screen.height - plan.scaled.height) / 2;
    return plan;
}

// Zoom covers the display: the picture is scaled by the larger of the two
// ratios, so one side equals the display's and the other reaches past it; the
// desktop centres it and hides the overflow. The side tried first follows the
// picture's shape (the height of a wide picture, the width of any other); the
// other side is fitted when that would leave a band.
TComposePlan Zoom(TPixelSize source, TPixelSize screen) {
    const int w = source.width;
    const int h = source.height;
    if ((w == screen.width && h >= screen.height) || (h == screen.height && w >= screen.width)) {
        return Unscaled(source);
    }
    const bool wide = h < w;
    std::int64_t newW = wide ? ScaledSide(screen.height, h, w) : screen.width;
    std::int64_t newH = wide ? screen.height : ScaledSide(screen.width, w, h);
    if (newW < screen.width || newH < screen.height) {
        newW = wide ? screen.width : ScaledSide(screen.height, h, w);
        newH = wide ? ScaledSide(screen.width, w, h) : screen.height;
    }
    return Scaled(source, newW, newH);
}

}  // namespace

TComposePlan PlanComposition(int mode, TPixelSize source, TPixelSize screen) {
    if (source.width <= 0 || source.height <= 0) {
        return {};
    }
    if (mode == fmConvertOnly) {
        return Unscaled(source);
    }
    if (screen.width <= 0 || screen.height <= 0) {
        return {};
    }
    switch (mode) {
        case fmStretch:
            return Scaled(source, screen.width, screen.height);
        case fmLetterBox:
            return LetterBox(source, screen);
        case fmZoom:
            return Zoom(source, screen);
        default:
            return {};
    }
}

int JpegShrinkFactor(TPixelSize source, TPixelSize target) {
    int best = 1;
    for (int factor : {2, 4, 8}) {
        const int w = (source.width + factor - 1) / factor;
        const int h = (source.height + factor - 1) / factor;
        if (w >= target.width && h >= target.height) {
            best = factor;
        }
    }
    return best;
}

int JpegSizeHint(int longerSide, int factor) {
    if (factor <= 1 || longerSide <= 0) {
        return 0;
    }
    // The loader shrinks by the largest power of two not above
    // longerSide / hint; longerSide / factor, rounded down, gives a quotient
    // in [factor, 2 * factor) once the picture has a few pixels per step.
    const int hint = longerSide / factor;
    if (hint < 1 || hint > 32767 || longerSide / hint >= 2 * factor) {
        return 0;
    }
    return hint;
}

int JpegEighths(TPixelSize source, TPixelSize target) {
    for (int eighths = 1; eighths < 8; ++eighths) {
        const std::int64_t w = (std::int64_t{source.width} * eighths + 7) / 8;
        const std::int64_t h = (std::int64_t{source.height} * eighths + 7) / 8;
        if (w >= target.width && h >= target.height) {
            return eighths;
        }
    }
    return 8;
}

TPixelRect ShownPart(TPixelSize picture, TPixelSize screen, bool tiled) {
    if (tiled) {
        return {0, 0, std::min(picture.width, screen.width),
                std::min(picture.height, screen.height)};
    }
    // The picture's corner on the screen, as the centring rounds it.
    const int left = (screen.width - picture.width) / 2;
    const int top = (screen.height - picture.height) / 2;
    const int x0 = std::max(0, -left);
    const int y0 = std::max(0, -top);
    return {x0, y0, std::min(picture.width - x0, screen.width - std::max(0, left)),
            std::min(picture.height - y0, screen.height - std::max(0, top))};
}
