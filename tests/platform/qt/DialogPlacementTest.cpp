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
    dialog.resize(331, 431);
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
        // Neither resizing nor maximising is offered by the window manager;
        // the hints ask for no minimise or maximise button (openbox keeps
        // minimising for every dialog, other managers follow the hints).
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {"-id", QString::number(window->winId()),
                                              "_NET_WM_ALLOWED_ACTIONS", "_MOTIF_WM_HINTS"});
        ASSERT_TRUE(xprop.waitForFinished(5000));
        const QString props = QString::fromLatin1(xprop.readAllStandardOutput());
        EXPECT_TRUE(props.contains(QStringLiteral("_NET_WM_ACTION_MOVE"))) << props.toStdString();
        EXPECT_FALSE(props.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")));
        EXPECT_FALSE(props.contains(QStringLiteral("MAXIMIZE")));
        // Flags, functions, decorations: functions without minimise (8) or
        // maximise (16), decorations without their buttons (32, 64).
        const QStringList motif =
            props.section(QStringLiteral("_MOTIF_WM_HINTS) = "), 1).trimmed().split(", ");
        ASSERT_GE(motif.size(), 3) << props.toStdString();
        EXPECT_EQ(motif[1].toUInt(nullptr, 16) & 0x19u, 0u) << props.toStdString();
        EXPECT_EQ(motif[2].toUInt(nullptr, 16) & 0x61u, 0u) << props.toStdString();
        window->hide();
    }
    openbox.terminate();
    openbox.waitForFinished(5000);
}

}  // namespace
