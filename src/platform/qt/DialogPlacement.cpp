#include "platform/qt/DialogPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>

namespace {

class TDialogPlacement : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = qobject_cast<QDialog*>(object);
        if (!dialog || !dialog->isWindow()) {
            return false;
        }
        if (event->type() == QEvent::Polish) {
            FixBorder(dialog);
        } else if (event->type() == QEvent::Show) {
            FixSize(dialog);
            Place(dialog);
        }
        return false;
    }

private:
    // The frame around a window, as far as known: the window manager's
    // answer for this window, or what the last framed window had.
    QMargins Frame(const QWidget* window) {
        const QRect frame = window->frameGeometry();
        const QRect client = window->geometry();
        if (frame != client) {
            learnt_ = {client.left() - frame.left(), client.top() - frame.top(),
                       frame.right() - client.right(), frame.bottom() - client.bottom()};
        }
        return learnt_;
    }

    bool Centre(QWidget* window) {
        const QScreen* screen =
            window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (!screen) {
            return false;
        }
        const QMargins frame = Frame(window);
        const QSize outer = window->size().grownBy(frame);
        const QRect area = screen->availableGeometry();
        const QPoint corner(area.left() + (area.width() - outer.width()) / 2,
                            area.top() + (area.height() - outer.height()) / 2);
        // Placed by its client area: move() of a framed window shifts it by
        // the frame once more under some window managers (openbox).
        const QRect client(corner + QPoint(frame.left(), frame.top()), window->size());
        if (window->geometry() == client) {
            return false;
        }
        window->setGeometry(client);
        return true;
    }

    // No minimise or maximise button, and a border that does not resize; set
    // before the window is made, as changing them later hides it.
    static void FixBorder(QDialog* dialog) {
        const Qt::WindowFlags flags = dialog->windowFlags();
        const Qt::WindowFlags fixed =
            (flags & ~(Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint)) |
            Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
            Qt::MSWindowsFixedSizeDialogHint;
        if (flags != fixed && !dialog->testAttribute(Qt::WA_WState_Created)) {
            dialog->setWindowFlags(fixed);
        }
    }

    // A window whose least and greatest sizes are one is offered neither
    // resizing nor maximising by the window manager (openbox reads that, not
    // the buttons asked for). Fixed at the size it shows with, before the
    // window manager sees it.
    static void FixSize(QDialog* dialog) {
        if (dialog->minimumSize() != dialog->maximumSize()) {
            dialog->setFixedSize(dialog->size());
        }
    }

    void Place(QDialog* dialog) {
        Centre(dialog);
        // Once the window manager has framed it, its own frame decides; the
        // manager may still be placing it, so it is centred until it stays.
        QPointer<QDialog> guarded(dialog);
        auto* timer = new QTimer(this);
        timer->setInterval(20);
        int ticks = 0;
        int steady = 0;
        connect(timer, &QTimer::timeout, this, [this, guarded, timer, ticks, steady]() mutable {
            const bool framed = guarded && guarded->frameGeometry() != guarded->geometry();
            if (framed && guarded->isVisible()) {
                steady = Centre(guarded) ? 0 : steady + 1;
            }
            if (!guarded || !guarded->isVisible() || ++ticks > 150 || steady >= 5) {
                timer->deleteLater();
                timer->stop();
            }
        });
        timer->start();
    }

    QMargins learnt_;
};

}  // namespace

void PlaceDialogsCentred(QApplication& app) {
    app.installEventFilter(new TDialogPlacement(&app));
}
