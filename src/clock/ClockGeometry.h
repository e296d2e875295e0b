#pragma once

// The analog clock's drawing rules as plain arithmetic on sizes and times, so
// that every coordinate the clock paints can be checked without a display.

#include <array>
#include <cstdint>
#include <vector>

namespace clockgeo {

struct TPoint {
    int x = 0;
    int y = 0;
    bool operator==(const TPoint&) const = default;
};

// A box given by its corners, the right and bottom edges included.
struct TBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const TBox&) const = default;
};

struct TCentre {
    int cx = 1;
    int cy = 1;
    int radius = 1;  // the shorter half-axis
    bool operator==(const TCentre&) const = default;
};

// Hour (0-23), minute and second of a time of day.
struct THms {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Nearest integer, halves to the even neighbour (the rounding of the hand
// vertices and of the centre cap's radius).
int RoundHalfEven(double value);

// Centre of a control of the given client size: integer halves, at least 1
// each, so that a control narrower or lower than 2 pixels stays defined.
TCentre ClockCentre(int width, int height);

// Hand length in pixels for a length in percent of the radius, truncated.
int HandLength(int radius, int lengthPercent);

// Positions on the dial in minute steps. The hour hand moves one step every
// twelve minutes; hours 12-23 give 60-119, one full turn further.
int HourHandPos(int hour, int minute);

// The hand's angle in whole degrees clockwise from twelve o'clock,
// round(pos / 60 * 360), not reduced modulo 360.
int HandDegrees(int pos);

// The seven-vertex kite outline of one hand at dial position pos, rotated
// about the centre and corrected for a non-square control.
std::array<TPoint, 7> HandPolygon(const TCentre& centre, int pos, int length, int width);

// Bounding box of the centre cap.
TBox CentreCapBox(const TCentre& centre);

// Nearest-neighbour stretch: the source column (or row) shown by destination
// column (or row) dst when srcLen pixels are stretched onto dstLen pixels.
int StretchSourceIndex(int dst, int srcLen, int dstLen);

// A time of day as a fraction of a day (the date part of a date-time is
// ignored) and back.
double EncodeTime(const THms& t);
THms DecodeTime(double dayFraction);

// Whether two times show the same hour, minute and second.
bool SameShownSecond(double a, double b);

// A screen's area in the units the window system places windows in.
struct TArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Where the clock window of `size` x `size` goes: at `saved` while its centre
// lies on one of `screens` (the primary first), otherwise at its first place
// on the primary screen, `fromRight` left of its right edge and `fromTop`
// below its top. A place saved on a larger desk or at another scale never
// leaves the clock off screen.
TPoint ClockPlace(TPoint saved, int size, const std::vector<TArea>& screens, int fromRight,
                  int fromTop);

}  // namespace clockgeo
