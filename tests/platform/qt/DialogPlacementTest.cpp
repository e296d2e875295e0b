// Dialogs and message boxes under a real window manager (openbox): centred
// on the screen with the frame the manager drew, and without minimise or
// maximise buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "platform/qt/DialogPlacement.h"

namespace {

TEST(DialogPlacement, CentredWithTheWindowManagersFrameAndAFixedBorder) {
    if (qgetenv("DISPLAY").isEmpty()) {
        GTEST_SKIP() << "needs tests/support/harness (a private display)";
    }
    QProcess openbox;
    openbox.start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(openbox.waitForStarted(5000));
    // Up once it announces itself on the root window.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return QProcess::execute(
                       QStringLiteral("sh"),
                       {"-c", "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window"}) == 0;
        },
        10000));
    PlaceDialogsCentred(*qApp);

    QDialog dialog;
    dialog.setFixedSize(331, 431);
    dialog.move(0, 0);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("Broken."),
                    QMessageBox::Ok);
    for (QWidget* window : {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(&box)}) {
        SCOPED_TRACE(window->metaObject()->className());
        window->show();
        const QPoint centre = window->screen()->availableGeometry().center();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            const QRect frame = window->frameGeometry();
            return frame != window->geometry() && (frame.center() - centre).manhattanLength() <= 2;
        })) << "frame centred at "
            << window->frameGeometry().center().y() << " not " << centre.y();
        EXPECT_FALSE(window->windowFlags() & Qt::WindowMinMaxButtonsHint);
        window->hide();
    }
    openbox.terminate();
    openbox.waitForFinished(5000);
}

}  // namespace
