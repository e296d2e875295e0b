#pragma once

// The desktop clock window: a borderless 136 x 136 window filled by the clock
// control, of which only the face and the hands are visible and clickable.

#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "clock/OvcClock.h"
#include "platform/DesktopAccessory.h"

class QAction;
class QMenu;

// The pixels of a frame that are not of the key colour, as a region.
QRegion OpaqueRegion(const QImage& frame, const QColor& key);

class TfrmClock : public QWidget {
    Q_OBJECT
public:
    // The window's colour, which is also its transparency key.
    static inline const QColor kKeyColor{128, 0, 0};
    static constexpr int kClientSize = 136;

    // A top-level window: it has no owner, so it stays on screen while the
    // main window is hidden in the tray. Given a surface of the desktop's own
    // layer, the clock is drawn there instead and the window never shows.
    explicit TfrmClock(std::unique_ptr<TAccessorySurface> surface = nullptr);
    ~TfrmClock() override;

    // Puts the clock on the desktop at `place` (the window system's units):
    // on the desktop's layer where it has one, else as this window, which
    // also serves where the layer cannot show it.
    void ShowOnDesktop(const QPoint& place);
    // Shown again where it is now, even after a drag.
    void ShowAgain();
    // Drawn on the desktop's layer rather than as a window.
    bool OnDesktopLayer() const { return FSurface != nullptr; }
    // Where the clock is, where the platform tells it.
    std::optional<QPoint> DesktopPlace();

    TOvcClock* OvcClock1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* HideClock1 = nullptr;

    // The main window's show/hide command, which "Hide Clock" runs.
    QPointer<QAction> ShowClockAction;
    // Receives the window's last position when it is destroyed, where the
    // platform tells positions at all.
    std::function<void(const QPoint&)> OnFormDestroy;

    void HideClock1Click();
    void FormDestroy();
    void OvcClock1MouseDown(class QMouseEvent* event);
    void OvcClock1MouseMove(class QMouseEvent* event);

    // The visible and clickable part of the window.
    const QRegion& VisibleRegion() const { return FShape; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateShape();
    void ShowFrameOnLayer();
    void ShowAsWindow(const QPoint& place);
    void FallBackToWindow();
    void PopMenuAt(const QPoint& at);

    QRegion FShape;
    // A button went down on the face and has not come up; nothing moves
    // until the pointer moves with it held.
    bool FPressed = false;
    QPoint FPressPos;
    // Following the mouse without a window manager.
    bool FDragging = false;
    QPoint FDragOffset;
    bool FDestroyed = false;
    std::unique_ptr<TAccessorySurface> FSurface;
    bool FOnLayer = false;
    QPoint FLayerPlace;
};
