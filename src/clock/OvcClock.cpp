#include "clock/OvcClock.h"

#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QTime>
#include <cmath>

#include "clock/OvcTimerPool.h"

using namespace clockgeo;

TOvcHandOptions::TOvcHandOptions(QObject* parent) : QObject(parent) {}

QImage StretchNearest(const QImage& source, int width, int height) {
    if (source.isNull() || width <= 0 || height <= 0) {
        return {};
    }
    const QImage src = source.convertToFormat(QImage::Format_RGB32);
    QImage out(width, height, QImage::Format_RGB32);
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        columns[static_cast<std::size_t>(x)] = StretchSourceIndex(x, src.width(), width);
    }
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(
            src.constScanLine(StretchSourceIndex(y, src.height(), height)));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = in[columns[static_cast<std::size_t>(x)]];
        }
    }
    return out;
}

double LocalTimeOfDay() {
    const QTime now = QTime::currentTime();
    return EncodeTime({now.hour(), now.minute(), now.second(), now.msec()});
}

TOvcCustomClock::TOvcCustomClock(QWidget* parent)
    : QWidget(parent), FHandOptions(new TOvcHandOptions(this)), FTimeSource(&LocalTimeOfDay) {
    // The whole control is redrawn from the off-screen image: the platform
    // never erases it first, so a repaint cannot flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(136, 136);
    connect(FHandOptions, &TOvcHandOptions::changed, this, [this] { update(); });
}

TOvcCustomClock::~TOvcCustomClock() {
    if (FTickHandle >= 0) {
        TOvcTimerPool::Instance().Remove(FTickHandle);
        FTickHandle = -1;
    }
}

void TOvcCustomClock::SetActive(bool value) {
    FActive = value;
    if (!FLoading) {
        ApplyActive();
    }
}

void TOvcCustomClock::Loaded() {
    FLoading = false;
    ApplyActive();
}

void TOvcCustomClock::ApplyActive() {
    if (FActive) {
        if (FTickHandle < 0) {
            FTickHandle =
                TOvcTimerPool::Instance().Add([this](int) { ClockTick(); }, kTickInterval);
        }
        FShownTime = FTimeSource();
        emit shownTimeChanged();
    } else if (FTickHandle >= 0) {
        TOvcTimerPool::Instance().Remove(FTickHandle);
        FTickHandle = -1;
    }
    update();
}

void TOvcCustomClock::SetDrawMarks(bool value) {
    if (FDrawMarks != value) {
        FDrawMarks = value;
        update();
    }
}

void TOvcCustomClock::SetClockFace(const QImage& face) {
    FClockFace = face;
    FStretchedFace = QImage();
    update();
}

void TOvcCustomClock::SetColor(const QColor& color) {
    if (FColor != color) {
        FColor = color;
        update();
    }
}

void TOvcCustomClock::SetTranslucent(bool value) {
    if (FTranslucent != value) {
        FTranslucent = value;
        update();
    }
}

void TOvcCustomClock::ClockTick() {
    UpdateShownTime(FTimeSource());
}

void TOvcCustomClock::UpdateShownTime(double value) {
    if (SameShownSecond(value, FShownTime)) {
        return;
    }
    FShownTime = value;
    update();
    emit shownTimeChanged();
}

const QImage& TOvcCustomClock::StretchedFace(const QSize& device, qreal ratio) {
    if (FStretchedFace.size() != device || FStretchedFace.devicePixelRatio() != ratio) {
        FStretchedFace = StretchNearest(FClockFace, device.width(), device.height());
        FStretchedFace.setDevicePixelRatio(ratio);
    }
    return FStretchedFace;
}

void TOvcCustomClock::RenderFrame() {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        return;
    }
    // Drawn in device pixels, so that a scaled desktop shows it sharp; the
    // painter keeps to the control's own units.
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(w, h) * ratio).toSize();
    const QImage::Format format =
        FTranslucent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (FDrawBuffer.size() != device || FDrawBuffer.devicePixelRatio() != ratio ||
        FDrawBuffer.format() != format) {
        FDrawBuffer = QImage(device, format);
        FDrawBuffer.setDevicePixelRatio(ratio);
    }
    QPainter p(&FDrawBuffer);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (FTranslucent) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(QRect(0, 0, w, h), Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        p.fillRect(QRect(0, 0, w, h), FColor);
    }

    if (!FClockFace.isNull()) {
        QRect clip(0, 0, w, h);
        if (FDrawMarks) {
            clip.adjust(3, 3, -3, -3);
        }
        if (FTranslucent) {
            // The face's round edge blends into whatever lies under it. The
            // brush's texture is laid in device pixels, as the face is.
            QImage face = StretchedFace(device, ratio);
            face.setDevicePixelRatio(1.0);
            QBrush brush(face);
            brush.setTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(brush);
            p.drawEllipse(QRectF(clip));
            p.setRenderHint(QPainter::Antialiasing, false);
        } else {
            p.setClipRegion(QRegion(clip, QRegion::Ellipse));
            p.drawImage(0, 0, StretchedFace(device, ratio));
            p.setClipping(false);
        }
    }

    const TCentre c = ClockCentre(w, h);
    if (FDrawMarks) {
        DrawMinuteMarks(p, c);
    }
    const THms t = DecodeTime(FShownTime);
    const TOvcHandOptions& o = *FHandOptions;
    DrawHand(p, c, HourHandPos(t.hour, t.minute), o.HourHandLength(), o.HourHandWidth(),
             o.HourHandColor());
    DrawHand(p, c, t.minute, o.MinuteHandLength(), o.MinuteHandWidth(), o.MinuteHandColor());
    if (o.ShowSecondHand()) {
        DrawHand(p, c, t.second, o.SecondHandLength(), o.SecondHandWidth(), o.SecondHandColor());
    }

    const TBox cap = CentreCapBox(c);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(o.ShowSecondHand() ? o.SecondHandColor() : o.MinuteHandColor());
    p.drawEllipse(QRect(cap.left, cap.top, cap.right - cap.left, cap.bottom - cap.top));
    p.end();

    ++FFrameCount;
    emit frameRendered();
}

void TOvcCustomClock::DrawHand(QPainter& p, const TCentre& c, int pos, int lengthPercent, int width,
                               const QColor& color) {
    const auto vertices = HandPolygon(c, pos, HandLength(c.radius, lengthPercent), width);
    QPoint points[7];
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        points[i] = QPoint(vertices[i].x, vertices[i].y);
    }
    p.setPen(QPen(color, 1));
    if (FHandOptions->SolidHands()) {
        p.setBrush(color);
    } else {
        p.setBrush(Qt::NoBrush);
    }
    p.drawPolygon(points, 7, Qt::OddEvenFill);
}

void TOvcCustomClock::DrawMinuteMarks(QPainter& p, const TCentre& c) {
    // Marks on the 3-pixel ring left outside the face: a dot per minute and
    // a 3 x 3 square per hour.
    p.setPen(Qt::NoPen);
    p.setBrush(FHandOptions->MinuteHandColor());
    for (int minute = 0; minute < 60; ++minute) {
        const double a = minute * 6.0 * 0.017453292519943295769;
        const int x = c.cx + RoundHalfEven(std::sin(a) * (c.cx - 2));
        const int y = c.cy - RoundHalfEven(std::cos(a) * (c.cy - 2));
        if (minute % 5 == 0) {
            p.drawRect(QRect(x - 1, y - 1, 3, 3));
        } else {
            p.drawRect(QRect(x, y, 1, 1));
        }
    }
}

void TOvcCustomClock::paintEvent(QPaintEvent*) {
    RenderFrame();
    QPainter p(this);
    p.drawImage(0, 0, FDrawBuffer);
}

void TOvcCustomClock::resizeEvent(QResizeEvent* event) {
    FDrawBuffer = QImage(event->size(), QImage::Format_RGB32);
    FStretchedFace = QImage();
    update();
}
