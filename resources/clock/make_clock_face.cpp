// Draws the clock's face picture: a 100 x 100, 24-bit round gold clock face
// with a polished rim, a golden dial, black Arabic numerals 1 to 12 and small
// red-brown minute ticks, on white corners. Everything is computed here from
// plain arithmetic (no fonts, no graphics library), so the same build always
// produces the same bytes.
//
//   make_clock_face --source OUT.cpp   C++ source with the pixels, for the build
//   make_clock_face --ppm OUT.ppm      the picture, to look at
//
// No pixel of the result has the clock window's key colour (128, 0, 0): such
// a pixel would be a hole in the face on the desktop.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 100;
constexpr int kSamples = 6;  // per axis, per pixel
constexpr double kPi = 3.14159265358979323846;
constexpr double kCentre = 50.0;

struct TColour {
    double r, g, b;
};

TColour Mix(const TColour& a, const TColour& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct TPt {
    double x, y;
};
using TStroke = std::vector<TPt>;

// An elliptic arc in glyph units, angles in degrees, y growing downwards.
void Arc(TStroke& s, double cx, double cy, double rx, double ry, double from, double to) {
    const int steps = 24;
    for (int i = 0; i <= steps; ++i) {
        const double a = (from + (to - from) * i / steps) * kPi / 180.0;
        s.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
}

// Digit outlines as strokes in a box 0.6 wide and 1 high.
std::vector<TStroke> Glyph(int digit) {
    std::vector<TStroke> g;
    TStroke s;
    switch (digit) {
        case 0:
            Arc(s, 0.3, 0.5, 0.26, 0.46, 0, 360);
            g.push_back(s);
            break;
        case 1:
            g.push_back({{0.12, 0.22}, {0.34, 0.03}, {0.34, 0.97}});
            break;
        case 2:
            Arc(s, 0.3, 0.28, 0.25, 0.25, 180, 400);
            s.push_back({0.04, 0.97});
            s.push_back({0.58, 0.97});
            g.push_back(s);
            break;
        case 3:
            Arc(s, 0.3, 0.27, 0.23, 0.23, 200, 450);
            g.push_back(s);
            s.clear();
            Arc(s, 0.3, 0.73, 0.26, 0.25, 270, 520);
            g.push_back(s);
            break;
        case 4:
            g.push_back({{0.45, 0.97}, {0.45, 0.03}, {0.03, 0.7}, {0.59, 0.7}});
            break;
        case 5:
            s = {{0.53, 0.03}, {0.1, 0.03}, {0.07, 0.45}};
            Arc(s, 0.3, 0.68, 0.27, 0.29, 215, 510);
            g.push_back(s);
            break;
        case 6:
        case 9:
            Arc(s, 0.3, 0.72, 0.26, 0.25, 0, 360);
            g.push_back(s);
            s.clear();
            Arc(s, 0.56, 0.72, 0.52, 0.69, 180, 265);
            g.push_back(s);
            if (digit == 9) {
                for (TStroke& stroke : g) {
                    for (TPt& p : stroke) {
                        p = {0.6 - p.x, 1.0 - p.y};
                    }
                }
            }
            break;
        case 7:
            g.push_back({{0.03, 0.03}, {0.57, 0.03}, {0.2, 0.97}});
            break;
        case 8:
            Arc(s, 0.3, 0.26, 0.22, 0.22, 0, 360);
            g.push_back(s);
            s.clear();
            Arc(s, 0.3, 0.72, 0.26, 0.25, 0, 360);
            g.push_back(s);
            break;
        default:
            break;
    }
    return g;
}

double SegmentDistance(const TPt& p, const TPt& a, const TPt& b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? ((p.x - a.x) * vx + (p.y - a.y) * vy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = p.x - (a.x + t * vx), dy = p.y - (a.y + t * vy);
    return std::sqrt(dx * dx + dy * dy);
}

// Every numeral's strokes placed on the dial, in picture pixels.
std::vector<TStroke> Numerals() {
    const double height = 8.6;
    const double width = 0.6 * height;
    const double gap = 0.14 * height;
    const double radius = 31.0;
    std::vector<TStroke> all;
    for (int hour = 1; hour <= 12; ++hour) {
        const std::string text = std::to_string(hour);
        const double total = text.size() * width + (text.size() - 1) * gap;
        const double a = hour * 30.0 * kPi / 180.0;
        const double cx = kCentre + radius * std::sin(a);
        const double cy = kCentre - radius * std::cos(a);
        double left = cx - total / 2;
        for (char ch : text) {
            for (const TStroke& stroke : Glyph(ch - '0')) {
                TStroke placed;
                for (const TPt& p : stroke) {
                    placed.push_back({left + p.x * height, cy - height / 2 + p.y * height});
                }
                all.push_back(placed);
            }
            left += width + gap;
        }
    }
    return all;
}

struct TTick {
    TPt a, b;
    double halfWidth;
};

std::vector<TTick> Ticks() {
    std::vector<TTick> ticks;
    for (int minute = 0; minute < 60; ++minute) {
        const bool hour = minute % 5 == 0;
        const double a = minute * 6.0 * kPi / 180.0;
        const double inner = hour ? 38.2 : 39.6;
        const double outer = 42.4;
        const double s = std::sin(a), c = std::cos(a);
        ticks.push_back({{kCentre + inner * s, kCentre - inner * c},
                         {kCentre + outer * s, kCentre - outer * c},
                         hour ? 0.8 : 0.42});
    }
    return ticks;
}

const TColour kWhite{255, 255, 255};
const TColour kBlack{0, 0, 0};
const TColour kTick{146, 52, 28};
const TColour kEdge{104, 74, 18};
const TColour kGoldDark{150, 108, 28};
const TColour kGoldBright{255, 228, 130};
const TColour kDialCentre{244, 214, 120};
const TColour kDialEdge{208, 162, 58};

TColour Sample(double x, double y, const std::vector<TStroke>& numerals,
               const std::vector<TTick>& ticks) {
    const double dx = x - kCentre, dy = y - kCentre;
    const double r = std::sqrt(dx * dx + dy * dy);
    // The dark edge runs a little past the inscribed circle: a nearest-
    // neighbour stretch may sample up to one source pixel outside it, and no
    // white may show at the border of the clipped face.
    if (r > 51.4) {
        return kWhite;
    }
    if (r > 48.7) {
        return kEdge;
    }
    if (r > 44.2) {
        // The rim: a bevel lit from the top left, bright outside and dark
        // inside on the lit side, the other way round opposite.
        const double t = (r - 44.2) / 4.5;
        const double lit = (-dx - dy) / (r * std::sqrt(2.0));
        const double bevel = t > 0.5 ? 1.0 : -1.0;
        const double k = 0.5 + 0.38 * lit * bevel + 0.12 * std::sin(kPi * t);
        return Mix(kGoldDark, kGoldBright, k);
    }
    if (r > 43.4) {
        return kEdge;
    }
    const TPt p{x, y};
    for (const TStroke& stroke : numerals) {
        for (std::size_t i = 0; i + 1 < stroke.size(); ++i) {
            if (SegmentDistance(p, stroke[i], stroke[i + 1]) <= 0.62) {
                return kBlack;
            }
        }
    }
    for (const TTick& tick : ticks) {
        if (SegmentDistance(p, tick.a, tick.b) <= tick.halfWidth) {
            return kTick;
        }
    }
    // The dial: warm in the middle, deeper towards the rim, with a faint
    // sunburst of sixty rays.
    const double angle = std::atan2(dx, -dy);
    const TColour base = Mix(kDialCentre, kDialEdge, r / 43.4);
    const double ray = 1.0 + 0.035 * std::cos(angle * 60.0);
    return {std::min(255.0, base.r * ray), std::min(255.0, base.g * ray),
            std::min(255.0, base.b * ray)};
}

std::vector<unsigned char> Render() {
    const auto numerals = Numerals();
    const auto ticks = Ticks();
    std::vector<unsigned char> rgb(kSize * kSize * 3);
    for (int py = 0; py < kSize; ++py) {
        for (int px = 0; px < kSize; ++px) {
            TColour sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const TColour c = Sample(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples,
                                             numerals, ticks);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                }
            }
            const double n = kSamples * kSamples;
            unsigned char* out = &rgb[(py * kSize + px) * 3];
            out[0] = static_cast<unsigned char>(std::lround(sum.r / n));
            out[1] = static_cast<unsigned char>(std::lround(sum.g / n));
            out[2] = static_cast<unsigned char>(std::lround(sum.b / n));
            if (out[0] == 128 && out[1] == 0 && out[2] == 0) {
                out[2] = 1;  // never the key colour
            }
        }
    }
    return rgb;
}

bool WriteSource(const char* path, const std::vector<unsigned char>& rgb) {
    std::FILE* f = std::fopen(path, "w");
    if (!f) {
        return false;
    }
    std::fprintf(f,
                 "// Generated by resources/clock/make_clock_face.cpp; do not edit.\n"
                 "#include \"clock/ClockFace.h\"\n\n"
                 "const unsigned char kClockFaceRgb[kClockFaceSize * kClockFaceSize * 3] = {");
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        std::fprintf(f, "%s%u,", i % 24 == 0 ? "\n    " : "", rgb[i]);
    }
    std::fprintf(f, "\n};\n");
    return std::fclose(f) == 0;
}

bool WritePpm(const char* path, const std::vector<unsigned char>& rgb) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", kSize, kSize);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "--source") != 0 && std::strcmp(argv[1], "--ppm"))) {
        std::fprintf(stderr, "usage: %s --source OUT.cpp | --ppm OUT.ppm\n", argv[0]);
        return 2;
    }
    const auto rgb = Render();
    const bool ok =
        std::strcmp(argv[1], "--source") == 0 ? WriteSource(argv[2], rgb) : WritePpm(argv[2], rgb);
    if (!ok) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
