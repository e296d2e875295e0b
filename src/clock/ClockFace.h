#pragma once

#include <QImage>

// The clock's face picture: a round gold clock face, 100 x 100 pixels, 24-bit,
// white in the corners. Generated at build time by
// resources/clock/make_clock_face.cpp.
inline constexpr int kClockFaceSize = 100;
extern const unsigned char kClockFaceRgb[kClockFaceSize * kClockFaceSize * 3];

QImage ClockFacePicture();
