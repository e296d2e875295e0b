#include "clock/frmClockPlugin.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>
#include <vector>

#include "clock/ClockFace.h"
#include "platform/DesktopAccessory.h"

QRegion OpaqueRegion(const QImage& frame, const QColor& key) {
    const QImage image = frame.convertToFormat(QImage::Format_RGB32);
    const QRgb keyRgb = key.rgb() | 0xff000000u;
    std::vector<QRect> rects;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && (line[x] | 0xff000000u) == keyRgb) {
                ++x;
            }
            const int start = x;
            while (x < image.width() && (line[x] | 0xff000000u) != keyRgb) {
                ++x;
            }
            if (x > start) {
                rects.emplace_back(start, y, x - start, 1);
            }
        }
    }
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

TfrmClock::TfrmClock(std::unique_ptr<TAccessorySurface> surface)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), FSurface(std::move(surface)) {
    setObjectName(QStringLiteral("frmClock"));
    setWindowTitle(tr("Clock"));
    setFixedSize(kClientSize, kClientSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kKeyColor);
    setPalette(pal);
    // Where shapes are not honoured the window is translucent and the clock
    // draws itself with alpha; the shape stays where it is honoured, being
    // crisp on any X server, composited or not. The desktop's layer shows
    // a frame's alpha and nothing else.
    const bool translucent = FSurface || !WindowShapesHonoured();
    if (translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
    }

    // On the desktop's layer no window of the toolkit lies under the menu to
    // hold it: it opens as a top-level of its own at the pointer, known to
    // the compositor by its title.
    PopupMenu1 = new QMenu(FSurface ? nullptr : this);
    if (FSurface) {
        PopupMenu1->setWindowTitle(QStringLiteral("Vantoria clock menu"));
    }
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    HideClock1 = PopupMenu1->addAction(tr("Hide Clock"));
    HideClock1->setObjectName(QStringLiteral("HideClock1"));
    connect(HideClock1, &QAction::triggered, this, &TfrmClock::HideClock1Click);

    OvcClock1 = new TOvcClock(this);
    OvcClock1->setObjectName(QStringLiteral("OvcClock1"));
    OvcClock1->setGeometry(0, 0, kClientSize, kClientSize);
    OvcClock1->SetColor(kKeyColor);
    OvcClock1->SetTranslucent(translucent);
    OvcClock1->SetDrawMarks(false);
    OvcClock1->SetClockFace(ClockFacePicture());
    OvcClock1->SetActive(true);
    OvcClock1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OvcClock1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(OvcClock1->mapToGlobal(pos)); });
    OvcClock1->installEventFilter(this);
    // The shape follows the drawn frame, after the paint that drew it.
    connect(OvcClock1, &TOvcCustomClock::frameRendered, this, &TfrmClock::UpdateShape,
            Qt::QueuedConnection);
    if (FSurface) {
        // The layer shows a frame per second the face shows.
        connect(OvcClock1, &TOvcCustomClock::shownTimeChanged, this, &TfrmClock::ShowFrameOnLayer);
        FSurface->menuRequested = [this](const QPoint& at) { PopMenuAt(at); };
    }

    // Raises when no timer can be had; the window is then never shown.
    OvcClock1->Loaded();

    // The first frame gives the window its shape before it is ever mapped.
    OvcClock1->RenderFrame();
    UpdateShape();
}

TfrmClock::~TfrmClock() {
    FormDestroy();
    FSurface.reset();
    if (PopupMenu1 && !PopupMenu1->parent()) {
        delete PopupMenu1;
    }
}

void TfrmClock::ShowOnDesktop(const QPoint& place) {
    if (FSurface) {
        FLayerPlace = place;
        FOnLayer = true;
        OvcClock1->RenderFrame();
        if (FSurface->Show(OvcClock1->DrawBuffer(), place)) {
            return;
        }
        FallBackToWindow();
        return;
    }
    ShowAsWindow(place);
}

void TfrmClock::ShowAsWindow(const QPoint& place) {
    move(place);
    show();
    // Where the compositor places windows itself (sway), it is asked to.
    PlaceDesktopWindow(this, place);
    repaint();  // drawn at once, not at the next idle moment
}

// The layer cannot show the clock (any more): the window does, as on any
// other desktop, where the clock was.
void TfrmClock::FallBackToWindow() {
    qWarning("the clock is shown as a window: %s", FSurface->Error().c_str());
    const QPoint place = FOnLayer ? FSurface->Place() : FLayerPlace;
    FOnLayer = false;
    FSurface->menuRequested = nullptr;
    FSurface.reset();
    OvcClock1->SetTranslucent(!WindowShapesHonoured());
    OvcClock1->RenderFrame();
    UpdateShape();
    ShowAsWindow(place);
}

void TfrmClock::ShowAgain() {
    if (!FSurface) {
        show();
    }
}

std::optional<QPoint> TfrmClock::DesktopPlace() {
    if (FSurface) {
        return FOnLayer ? FSurface->Place() : FLayerPlace;
    }
    return DesktopWindowPlace(this);
}

void TfrmClock::ShowFrameOnLayer() {
    if (!FSurface || !FOnLayer) {
        return;
    }
    OvcClock1->RenderFrame();
    if (!FSurface->Show(OvcClock1->DrawBuffer(), FSurface->Place())) {
        // Deferred: this may be the surface's own call.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FSurface)
                    FallBackToWindow();
            },
            Qt::QueuedConnection);
        FLayerPlace = FSurface->Place();
        FOnLayer = false;
    }
}

void TfrmClock::PopMenuAt(const QPoint& at) {
    if (PopupMenu1->isVisible()) {
        return;
    }
    // On sway the menu is a window of its own that sway floats at its
    // pointer; elsewhere a popup where the click was.
    if (!PopUpMenuAtPointer(PopupMenu1)) {
        PopupMenu1->popup(at);
    }
}

void TfrmClock::FormDestroy() {
    if (FDestroyed) {
        return;
    }
    FDestroyed = true;
    if (OnFormDestroy) {
        if (const std::optional<QPoint> place = DesktopPlace()) {
            OnFormDestroy(*place);
        }
    }
}

void TfrmClock::HideClock1Click() {
    if (ShowClockAction) {
        ShowClockAction->trigger();
    }
}

void TfrmClock::UpdateShape() {
    if (OvcClock1->Translucent()) {
        // Drawn with alpha: no shape to cut. Wayland takes the mask as the
        // window's input region, so the pointer reaches the clock on its face
        // only and the desktop round it; a pixel wider than the face, whose
        // soft edge is drawn under the mask too.
        QRect face = OvcClock1->geometry();
        if (OvcClock1->DrawMarks()) {
            face.adjust(3, 3, -3, -3);
        }
        const QRegion input(face.adjusted(-1, -1, 1, 1), QRegion::Ellipse);
        if (mask() != input) {
            setMask(input);
        }
        return;
    }
    // The mask is in the window's own units, the frame in device pixels.
    const QImage& frame = OvcClock1->DrawBuffer();
    const QRegion shape = OpaqueRegion(
        frame.devicePixelRatio() == 1.0
            ? frame
            : frame.scaled(OvcClock1->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation),
        kKeyColor);
    if (shape != FShape || mask().isEmpty()) {
        FShape = shape;
        // An empty region would mean "no mask" and show the whole square.
        setMask(FShape.isEmpty() ? QRegion(0, 0, 1, 1) : FShape);
    }
}

void TfrmClock::OvcClock1MouseDown(QMouseEvent* event) {
    // The right button opens the context menu; a move started on it would
    // swallow the menu on this platform.
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) {
        return;
    }
    // Nothing moves yet: a tap (press and release back to back, as touchpads
    // send them) must stay a click. A window manager asked to move the window
    // at the press would find the button already up and then follow the
    // pointer until the next click.
    FPressed = true;
    FDragging = false;
    FPressPos = event->globalPosition().toPoint();
    FDragOffset = FPressPos - pos();
}

void TfrmClock::OvcClock1MouseMove(QMouseEvent* event) {
    const Qt::MouseButtons held = event->buttons() & (Qt::LeftButton | Qt::MiddleButton);
    if (!held) {
        // The release went elsewhere: the clock moves only while a button is held.
        FPressed = false;
        FDragging = false;
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (FPressed && !FDragging) {
        if ((global - FPressPos).manhattanLength() < QApplication::startDragDistance()) {
            return;
        }
        FPressed = false;
        // The button is held while the pointer moves: now the window manager
        // can take the move over.
        QWindow* handle = windowHandle();
        if (handle && handle->startSystemMove()) {
            return;
        }
        // No window manager to move it: follow the mouse until the release.
        FDragging = true;
    }
    if (FDragging) {
        move(global - FDragOffset);
    }
}

bool TfrmClock::eventFilter(QObject* watched, QEvent* event) {
    if (watched == OvcClock1) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                OvcClock1MouseDown(static_cast<QMouseEvent*>(event));
                break;
            case QEvent::MouseMove:
                if (FPressed || FDragging) {
                    OvcClock1MouseMove(static_cast<QMouseEvent*>(event));
                    return true;
                }
                break;
            case QEvent::MouseButtonRelease:
                FPressed = false;
                FDragging = false;
                break;
            default:
                break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmClock::closeEvent(QCloseEvent* event) {
    if (event->spontaneous()) {
        // A close request from the window system (Alt+F4) only hides the
        // clock; the main window's command decides whether it exists.
        event->ignore();
        hide();
        return;
    }
    // The program's own close is accepted: a quitting application first
    // closes every window, and a refusal here would keep it running.
    QWidget::closeEvent(event);
}

void TfrmClock::showEvent(QShowEvent* event) {
    MarkDesktopAccessory(this);
    QWidget::showEvent(event);
}
