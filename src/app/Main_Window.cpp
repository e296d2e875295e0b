// The main window's make-up: a bevelled panel holding a toolbar pager with a
// caption bar and three captioned groups of image buttons, in a light blue
// gradient style (the desktop's own colours under a dark palette). The window has no title bar: a
// press on the pager outside its buttons moves it.

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include "app/CommandTable.h"
#include "app/Main.h"
#include "platform/TrayService.h"
#include "platform/WindowActivation.h"

namespace {

// The panel under everything: button face with a raised outer and a lowered
// inner bevel whose inner edge is black.
class TBlotter : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, palette().color(QPalette::Button));
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Dark);
        auto bevel = [&p](QRect b, const QColor& topLeft, const QColor& bottomRight) {
            p.setPen(topLeft);
            p.drawLine(b.topLeft(), b.topRight());
            p.drawLine(b.topLeft(), b.bottomLeft());
            p.setPen(bottomRight);
            p.drawLine(b.bottomLeft(), b.bottomRight());
            p.drawLine(b.topRight(), b.bottomRight());
        };
        bevel(r.adjusted(0, 0, -1, -1), light, dark);  // outer, raised
        bevel(r.adjusted(2, 2, -3, -3), dark, light);  // inner, lowered
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(3, 3, -4, -4));
    }
};

const QColor kCaptionTop(0x5b, 0x8f, 0xd6);
const QColor kCaptionBottom(0x2c, 0x5f, 0xad);
const QColor kPageTop(0xe3, 0xef, 0xff);
const QColor kPageBottom(0xaf, 0xcd, 0xf2);
const QColor kGroupTop(0xfa, 0xfc, 0xff);
const QColor kGroupBottom(0xc4, 0xdb, 0xf7);
const QColor kGroupBorder(0x7d, 0xa2, 0xce);
const QColor kGroupCaptionText(0x15, 0x42, 0x8b);

// The light blue look belongs to a light desktop; under a dark palette the
// pages and groups take the desktop's own colours, so that captions drawn in
// its text colour stay readable.
bool DarkPalette(const QWidget* w) {
    return w->palette().color(QPalette::Window).lightness() < 128;
}
QColor Tone(const QWidget* w, const QColor& light, QPalette::ColorRole role, int lighter = 100) {
    return DarkPalette(w) ? w->palette().color(role).lighter(lighter) : light;
}

constexpr int kCaptionBarHeight = 18;
constexpr int kTabStripHeight = 4;

// The pager: a caption bar over one page. Presses that reach it (anywhere
// outside a button) move the window: the window manager's own move where it
// offers one, a drag by hand otherwise.
class TToolBarPager : public QWidget {
public:
    TToolBarPager(TfrmMain* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath outline;
        outline.addRoundedRect(r, 4, 4);
        QLinearGradient page(0, kCaptionBarHeight, 0, height());
        page.setColorAt(0, Tone(this, kPageTop, QPalette::Window, 125));
        page.setColorAt(1, Tone(this, kPageBottom, QPalette::Window));
        p.fillPath(outline, page);

        QPainterPath bar;
        bar.addRoundedRect(QRectF(r.left(), r.top(), r.width(), kCaptionBarHeight + 4), 4, 4);
        QPainterPath cut;
        cut.addRect(QRectF(r.left(), r.top() + kCaptionBarHeight, r.width(), 8));
        bar = bar.subtracted(cut);
        QLinearGradient caption(0, 0, 0, kCaptionBarHeight);
        caption.setColorAt(0, kCaptionTop);
        caption.setColorAt(1, kCaptionBottom);
        p.fillPath(bar, caption);
        // The hidden tab strip shows as a thin band under the caption bar.
        p.fillRect(QRectF(r.left(), kCaptionBarHeight, r.width(), kTabStripHeight),
                   Tone(this, QColor(0x9e, 0xbf, 0xe9), QPalette::Mid));
        p.setPen(QPen(Tone(this, kGroupBorder, QPalette::Mid), 1));
        p.drawPath(outline);
    }

    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        if (owner_->AdvToolBarPager1MouseDown(event->button(), event->position().toPoint())) {
            return;
        }
        dragging_ = true;
        grabOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
        grabMouse();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (dragging_) {
            window()->move(event->globalPosition().toPoint() - grabOffset_);
        }
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (dragging_ && event->buttons() == Qt::NoButton) {
            dragging_ = false;
            releaseMouse();
        }
        event->accept();
    }

private:
    TfrmMain* owner_;
    bool dragging_ = false;
    QPoint grabOffset_;
};

// A group of buttons with its caption centred below them.
class TToolBar : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath outline;
        outline.addRoundedRect(r, 3, 3);
        QLinearGradient g(0, 0, 0, height());
        const QColor bottom = Tone(this, kGroupBottom, QPalette::Button);
        g.setColorAt(0, Tone(this, kGroupTop, QPalette::Button, 130));
        g.setColorAt(0.55, bottom.lighter(108));
        g.setColorAt(1, bottom);
        p.fillPath(outline, g);
        p.setPen(QPen(Tone(this, kGroupBorder, QPalette::Mid), 1));
        p.drawPath(outline);
        // A soft band behind the caption.
        QLinearGradient band(0, height() - 16, 0, height());
        band.setColorAt(0, Tone(this, QColor(0xb4, 0xcf, 0xf2), QPalette::Button, 115));
        band.setColorAt(1, Tone(this, QColor(0x9c, 0xbf, 0xec), QPalette::Button, 105));
        QPainterPath strip;
        strip.addRoundedRect(QRectF(r.left() + 1, height() - 16, r.width() - 2, 15), 2, 2);
        p.fillPath(strip, band);
    }
};

const char* const kButtonStyle =
    "QToolButton { border: 1px solid transparent; border-radius: 3px; background: transparent; "
    "padding: 0px; }"
    "QToolButton:hover { border-color: #e3a21a; background: qlineargradient(x1:0, y1:0, x2:0, "
    "y2:1, stop:0 #fff7d9, stop:0.5 #ffe39a, stop:1 #ffd36b); }"
    "QToolButton:pressed, QToolButton:checked { border-color: #c9830c; background: "
    "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffc56b, stop:1 #ffa43a); }"
    "QToolButton:focus { border-color: #2f6fd0; }"
    "QToolButton:disabled { background: transparent; border-color: transparent; }";

// A command button that Tab reaches and that Enter presses, as Space does.
class TCommandButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && isEnabled()) {
            animateClick();
            event->accept();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
};

QToolButton* MakeButton(QWidget* parent, QAction* action, int index) {
    auto* b = new TCommandButton(parent);
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    b->setAutoRaise(true);
    b->setIconSize(QSize(16, 16));
    b->setGeometry(2 + 23 * index, 2, 23, 22);
    b->setFocusPolicy(Qt::TabFocus);
    b->setObjectName(QStringLiteral("btn_") + action->objectName());
    return b;
}

}  // namespace

bool TfrmMain::AdvToolBarPager1MouseDown(Qt::MouseButton, const QPoint&) {
    // Any button moves the window; the window manager does it where there is
    // one (this also works on Wayland), and reports false where there is none.
    QWindow* handle = windowHandle();
    return handle && handle->startSystemMove();
}

void TfrmMain::BuildWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(ProgramWindowIcon());
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(347, 98);

    auto* blotter = new TBlotter(this);
    blotter->setObjectName(QStringLiteral("VrBlotter1"));
    blotter->setGeometry(0, 0, 347, 98);

    auto* pager = new TToolBarPager(this, blotter);
    pager->setObjectName(QStringLiteral("AdvToolBarPager1"));
    pager->setGeometry(4, 4, 339, 93);

    auto* caption = new QLabel(QStringLiteral("Vantoria 2.2"), pager);
    caption->setObjectName(QStringLiteral("AdvToolBarPager1Caption"));
    caption->setIndent(10);
    caption->setGeometry(0, 0, 339, kCaptionBarHeight);
    QFont cf = f;
    cf.setBold(true);
    caption->setFont(cf);
    QPalette cp = caption->palette();
    cp.setColor(QPalette::WindowText, Qt::white);
    caption->setPalette(cp);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* page = new QWidget(pager);
    page->setObjectName(QStringLiteral("AdvPage1"));
    page->setGeometry(0, kCaptionBarHeight + kTabStripHeight, 339,
                      93 - kCaptionBarHeight - kTabStripHeight);

    struct TGroup {
        const char* name;
        const char* caption;
        QRect geometry;
        std::vector<QAction*> actions;
    };
    const TGroup groups[] = {
        {"AdvToolBar1",
         QT_TRANSLATE_NOOP("TfrmMain", "Navigation"),
         QRect(3, 3, 121, 51),
         {actFirst, actPrev, actNext, actLast, actRun}},
        {"AdvToolBar2",
         QT_TRANSLATE_NOOP("TfrmMain", "Settings"),
         QRect(127, 3, 144, 51),
         {actLoadList, actSetup, actResetDefault, actRemoveWallPaper, actShowClock, actAbout}},
        {"AdvToolBar3",
         QT_TRANSLATE_NOOP("TfrmMain", "Close"),
         QRect(274, 3, 52, 51),
         {actExit, actMinimize}},
    };
    for (const TGroup& g : groups) {
        auto* bar = new TToolBar(page);
        bar->setObjectName(QString::fromLatin1(g.name));
        bar->setGeometry(g.geometry);
        bar->setStyleSheet(QString::fromLatin1(kButtonStyle));
        int i = 0;
        for (QAction* a : g.actions)
            MakeButton(bar, a, i++);
        auto* label = new QLabel(tr(g.caption), bar);
        label->setObjectName(QString::fromLatin1(g.name) + QStringLiteral("Caption"));
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(0, g.geometry.height() - 16, g.geometry.width(), 15);
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, Tone(this, kGroupCaptionText, QPalette::WindowText));
        label->setPalette(lp);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // The Exit button's hint carries a title, a note and the command's picture.
    if (auto* exit = findChild<QToolButton*>(QStringLiteral("btn_actExit"))) {
        exit->setToolTip(
            tr("<b>Close</b><br/><img src=\":/images/10.svg\" width=\"16\" "
               "height=\"16\"/>&nbsp;Close Vantoria application"));
    }

    // A command shows the picture its state asks for (Run and Stop share a button).
    for (QAction* a : ActionList1) {
        a->setProperty("shownImage", a->property("imageIndex"));
        connect(a, &QAction::changed, this, [a] {
            const QVariant wanted = a->property("imageIndex");
            if (wanted != a->property("shownImage")) {
                a->setProperty("shownImage", wanted);
                a->setIcon(CommandImage(wanted.toInt()));
            }
        });
    }

    // First shown at the centre of the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmMain::MinimizeApplication() {
    if (FServices.tray && FServices.tray->HostAvailable()) {
        if (!FServices.tray->IconVisible()) {
            FServices.tray->SetIconVisible(true);
        }
        ShowMainWindow = false;
        hide();
        return;
    }
    // No tray host: the taskbar is the only way back to the window.
    ShowMainWindow = true;
    FMinimised = true;
    showMinimized();
}

void TfrmMain::RestoreApplication() {
    if (FServices.tray) {
        FServices.tray->SetIconVisible(false);
    }
    ShowMainWindow = true;
    FMinimised = false;
    showNormal();
    raise();
    activateWindow();
}

void TfrmMain::BringToFront(const std::string& token,
                            std::function<void(const std::string&)> done) {
    if (FServices.tray) {
        FServices.tray->SetIconVisible(false);
    }
    ShowMainWindow = true;
    BringWindowForward(this, token, [this, done = std::move(done)](const std::string& failure) {
        if (failure.empty()) {
            FMinimised = false;
        }
        done(failure);
    });
}

void TfrmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FMinimised = false;
    }
    // The platform's own minimise (a taskbar button, a window manager key)
    // takes the same road to the tray as the Minimise command.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        FServices.tray && FServices.tray->HostAvailable()) {
        QMetaObject::invokeMethod(
            this, [this] { MinimizeApplication(); }, Qt::QueuedConnection);
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the application.
    event->accept();
    emit terminateRequested();
}

void TfrmMain::RestoreWindowPlace() {
    if (FSettings.FWindowX == settings::kNoPlace || FSettings.FWindowY == settings::kNoPlace) {
        return;
    }
    const QRect place(QPoint(FSettings.FWindowX, FSettings.FWindowY), size());
    // A monitor unplugged since: the window stays where it opens, in sight.
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().contains(place.center())) {
            move(place.topLeft());
            return;
        }
    }
}
