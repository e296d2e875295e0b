#include "clock/ClockGeometry.h"

#include <algorithm>
#include <cmath>

namespace clockgeo {

namespace {
constexpr double kDegreesToRadians = 0.017453292519943295769;
constexpr double kHalfPi = 1.5707963267948966192;
constexpr std::int64_t kMsPerDay = 86400000;
}  // namespace

int RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    double result = lower;
    if (fraction > 0.5) {
        result = lower + 1.0;
    } else if (fraction == 0.5) {
        result = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    }
    return static_cast<int>(result);
}

TCentre ClockCentre(int width, int height) {
    TCentre c;
    c.cx = std::max(width / 2, 1);
    c.cy = std::max(height / 2, 1);
    c.radius = std::min(c.cx, c.cy);
    return c;
}

int HandLength(int radius, int lengthPercent) {
    // Integer division truncates toward zero, as the length rule wants.
    return static_cast<int>(static_cast<std::int64_t>(radius) * lengthPercent / 100);
}

int HourHandPos(int hour, int minute) {
    return 5 * hour + minute / 12;
}

int HandDegrees(int pos) {
    return RoundHalfEven(static_cast<double>(pos) / 60.0 * 360.0);
}

std::array<TPoint, 7> HandPolygon(const TCentre& centre, int pos, int length, int width) {
    const int cx = centre.cx;
    const int cy = centre.cy;
    const int d = width > 1 ? static_cast<int>(length * 0.25) : 0;
    // The hand pointing to twelve, y growing downwards: a kite whose widest
    // point lies d pixels out, with its tail at the centre.
    const std::array<TPoint, 7> upright = {{{cx, cy},
                                            {cx, cy - d},
                                            {cx, cy - length},
                                            {cx - width, cy - d},
                                            {cx, cy},
                                            {cx + width, cy - d},
                                            {cx, cy - length}}};
    const int degrees = HandDegrees(pos);
    const double phi = ((degrees + 90) % 360) * kDegreesToRadians - kHalfPi;
    const double cosPhi = std::cos(phi);
    const double sinPhi = std::sin(phi);

    std::array<TPoint, 7> out{};
    for (std::size_t i = 0; i < upright.size(); ++i) {
        const double dx = upright[i].x - cx;
        const double dy = upright[i].y - cy;
        int x = RoundHalfEven(cosPhi * dx - sinPhi * dy);
        int y = RoundHalfEven(sinPhi * dx + cosPhi * dy);
        // A control wider than high stretches the dial horizontally, and a
        // higher one vertically.
        if (cy < cx) {
            x = RoundHalfEven(static_cast<double>(x) * cx / cy);
        } else {
            y = RoundHalfEven(static_cast<double>(y) * cy / cx);
        }
        out[i] = {cx + x, cy + y};
    }
    return out;
}

TBox CentreCapBox(const TCentre& centre) {
    const int r = RoundHalfEven(centre.radius * 0.04) + 1;
    return {centre.cx - r, centre.cy - r, centre.cx + r, centre.cy + r};
}

int StretchSourceIndex(int dst, int srcLen, int dstLen) {
    if (srcLen <= 0 || dstLen <= 0) {
        return 0;
    }
    const std::int64_t index = static_cast<std::int64_t>(dst) * srcLen / dstLen;
    return static_cast<int>(std::clamp<std::int64_t>(index, 0, srcLen - 1));
}

double EncodeTime(const THms& t) {
    const std::int64_t ms =
        ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
        t.millisecond;
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

THms DecodeTime(double dayFraction) {
    if (!std::isfinite(dayFraction)) {
        return {};
    }
    const double fraction = std::fabs(dayFraction - std::trunc(dayFraction));
    std::int64_t ms = std::llround(fraction * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms = 0;  // rounding carried into the next midnight
    }
    THms t;
    t.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    t.second = static_cast<int>(ms % 60);
    ms /= 60;
    t.minute = static_cast<int>(ms % 60);
    t.hour = static_cast<int>(ms / 60);
    return t;
}

bool SameShownSecond(double a, double b) {
    const THms x = DecodeTime(a);
    const THms y = DecodeTime(b);
    return x.hour == y.hour && x.minute == y.minute && x.second == y.second;
}

TPoint ClockPlace(TPoint saved, int size, const std::vector<TArea>& screens, int fromRight,
                  int fromTop) {
    if (screens.empty()) {
        return saved;  // nothing known to check against
    }
    const long long cx = static_cast<long long>(saved.x) + size / 2;
    const long long cy = static_cast<long long>(saved.y) + size / 2;
    for (const TArea& s : screens) {
        if (cx >= s.x && cx < static_cast<long long>(s.x) + s.width && cy >= s.y &&
            cy < static_cast<long long>(s.y) + s.height) {
            return saved;
        }
    }
    const TArea& primary = screens.front();
    return TPoint{primary.x + primary.width - fromRight, primary.y + fromTop};
}

}  // namespace clockgeo
