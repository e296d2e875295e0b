#include "clock/ClockFace.h"

QImage ClockFacePicture() {
    const QImage view(kClockFaceRgb, kClockFaceSize, kClockFaceSize, kClockFaceSize * 3,
                      QImage::Format_RGB888);
    return view.copy();  // detached from the static bytes
}
