#pragma once

// The analog clock control: the running local time drawn with an hour, a
// minute and a second hand over a face picture, through an off-screen buffer.

#include <QColor>
#include <QImage>
#include <QObject>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "clock/ClockGeometry.h"

// The hands' colours, lengths (percent of the radius) and widths (pixels).
// Any change repaints the clock that owns the options.
class TOvcHandOptions : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor HourHandColor READ HourHandColor WRITE SetHourHandColor)
    Q_PROPERTY(QColor MinuteHandColor READ MinuteHandColor WRITE SetMinuteHandColor)
    Q_PROPERTY(QColor SecondHandColor READ SecondHandColor WRITE SetSecondHandColor)
    Q_PROPERTY(int HourHandLength READ HourHandLength WRITE SetHourHandLength)
    Q_PROPERTY(int MinuteHandLength READ MinuteHandLength WRITE SetMinuteHandLength)
    Q_PROPERTY(int SecondHandLength READ SecondHandLength WRITE SetSecondHandLength)
    Q_PROPERTY(int HourHandWidth READ HourHandWidth WRITE SetHourHandWidth)
    Q_PROPERTY(int MinuteHandWidth READ MinuteHandWidth WRITE SetMinuteHandWidth)
    Q_PROPERTY(int SecondHandWidth READ SecondHandWidth WRITE SetSecondHandWidth)
    Q_PROPERTY(bool ShowSecondHand READ ShowSecondHand WRITE SetShowSecondHand)
    Q_PROPERTY(bool SolidHands READ SolidHands WRITE SetSolidHands)
public:
    explicit TOvcHandOptions(QObject* parent = nullptr);

    QColor HourHandColor() const { return FHourHandColor; }
    QColor MinuteHandColor() const { return FMinuteHandColor; }
    QColor SecondHandColor() const { return FSecondHandColor; }
    int HourHandLength() const { return FHourHandLength; }
    int MinuteHandLength() const { return FMinuteHandLength; }
    int SecondHandLength() const { return FSecondHandLength; }
    int HourHandWidth() const { return FHourHandWidth; }
    int MinuteHandWidth() const { return FMinuteHandWidth; }
    int SecondHandWidth() const { return FSecondHandWidth; }
    bool ShowSecondHand() const { return FShowSecondHand; }
    bool SolidHands() const { return FSolidHands; }

    void SetHourHandColor(const QColor& c) { Assign(FHourHandColor, c); }
    void SetMinuteHandColor(const QColor& c) { Assign(FMinuteHandColor, c); }
    void SetSecondHandColor(const QColor& c) { Assign(FSecondHandColor, c); }
    // Lengths are percentages of the radius: values outside 0-100 are clamped.
    void SetHourHandLength(int v) { Assign(FHourHandLength, ClampPercent(v)); }
    void SetMinuteHandLength(int v) { Assign(FMinuteHandLength, ClampPercent(v)); }
    void SetSecondHandLength(int v) { Assign(FSecondHandLength, ClampPercent(v)); }
    void SetHourHandWidth(int v) { Assign(FHourHandWidth, v); }
    void SetMinuteHandWidth(int v) { Assign(FMinuteHandWidth, v); }
    void SetSecondHandWidth(int v) { Assign(FSecondHandWidth, v); }
    void SetShowSecondHand(bool v) { Assign(FShowSecondHand, v); }
    void SetSolidHands(bool v) { Assign(FSolidHands, v); }

signals:
    void changed();

private:
    static int ClampPercent(int v) { return v < 0 ? 0 : (v > 100 ? 100 : v); }
    template <typename T>
    void Assign(T& field, const T& value) {
        if (field != value) {
            field = value;
            emit changed();
        }
    }

    QColor FHourHandColor{0, 0, 0};
    QColor FMinuteHandColor{0, 0, 0};
    QColor FSecondHandColor{255, 0, 0};
    int FHourHandLength = 60;
    int FMinuteHandLength = 80;
    int FSecondHandLength = 90;
    int FHourHandWidth = 4;
    int FMinuteHandWidth = 3;
    int FSecondHandWidth = 1;
    bool FShowSecondHand = true;
    bool FSolidHands = true;
};

enum TOvcClockMode { cmClock };
enum TOvcClockDisplayMode { dmAnalog };

class TOvcCustomClock : public QWidget {
    Q_OBJECT
public:
    explicit TOvcCustomClock(QWidget* parent = nullptr);
    ~TOvcCustomClock() override;

    static constexpr int kTickInterval = 500;

    bool Active() const { return FActive; }
    // Starts or stops the ticking. While the owner is still being built the
    // value is only stored and takes effect in Loaded().
    void SetActive(bool value);
    // The owner has finished building the control.
    void Loaded();

    TOvcClockMode ClockMode() const { return cmClock; }
    TOvcClockDisplayMode DisplayMode() const { return dmAnalog; }

    bool DrawMarks() const { return FDrawMarks; }
    void SetDrawMarks(bool value);
    const QImage& ClockFace() const { return FClockFace; }
    void SetClockFace(const QImage& face);
    // The background; every pixel not covered by the face or a hand has it.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);
    TOvcHandOptions* HandOptions() const { return FHandOptions; }
    // Transparent in place of the background colour, with the face's edge
    // smoothed: for a translucent window, where a shape cut out along the
    // background colour is not honoured.
    bool Translucent() const { return FTranslucent; }
    void SetTranslucent(bool value);

    double ShownTime() const { return FShownTime; }
    int TickHandle() const { return FTickHandle; }
    const QImage& DrawBuffer() const { return FDrawBuffer; }

    // Where the local time comes from (a fraction of a day); the system's
    // local time unless replaced.
    void SetTimeSource(std::function<double()> source) { FTimeSource = std::move(source); }

    void ClockTick();
    // Repaints only when the hour, minute or second differs from the shown one.
    void UpdateShownTime(double value);

    // Rebuilds the whole off-screen image of the shown time.
    void RenderFrame();
    // Number of frames rebuilt so far.
    std::uint64_t FrameCount() const { return FFrameCount; }

signals:
    // The off-screen image has been rebuilt.
    void frameRendered();
    // The time shown has moved on (or the clock has started): a new frame is
    // due, also where no window paints the control.
    void shownTimeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyActive();
    void DrawHand(class QPainter& p, const clockgeo::TCentre& c, int pos, int lengthPercent,
                  int width, const QColor& color);
    void DrawMinuteMarks(class QPainter& p, const clockgeo::TCentre& c);
    const QImage& StretchedFace(const QSize& device, qreal ratio);

    bool FActive = false;
    bool FLoading = true;
    bool FDrawMarks = true;
    bool FTranslucent = false;
    QImage FClockFace;
    QImage FStretchedFace;  // the face at the control's device size, rebuilt on change
    QColor FColor{128, 0, 0};
    TOvcHandOptions* FHandOptions = nullptr;
    double FShownTime = 0.0;
    QImage FDrawBuffer;
    int FTickHandle = -1;
    std::function<double()> FTimeSource;
    std::uint64_t FFrameCount = 0;
};

// The clock as placed on a window, with its properties published.
class TOvcClock : public TOvcCustomClock {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(bool DrawMarks READ DrawMarks WRITE SetDrawMarks)
    Q_PROPERTY(QImage ClockFace READ ClockFace WRITE SetClockFace)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(double ShownTime READ ShownTime)
public:
    using TOvcCustomClock::TOvcCustomClock;
};

// Stretches a picture to the given size with nearest-neighbour sampling:
// whole pixels repeated or dropped, never blended.
QImage StretchNearest(const QImage& source, int width, int height);

// The system's local time of day as a fraction of a day.
double LocalTimeOfDay();
