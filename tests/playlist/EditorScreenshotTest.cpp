// The editor on a real X server: a folder of pictures imported, one entry
// previewed, and a screenshot of the screen kept for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QListView>
#include <QScreen>
#include <QTest>

#include "EditorSupport.h"
#include "playlist/frm_PlayList.h"
#include "support/Recorders.h"
#include "support/TempDir.h"

namespace {

TEST(EditorOnScreen, ImportsPreviewsAndIsPhotographed) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    TTempDir dir;
    const QColor colours[] = {QColor(200, 30, 30), QColor(30, 160, 60), QColor(40, 80, 200)};
    int n = 0;
    for (const char* name : {"sunset over the sea.png", "forest.jpg", "city lights.bmp"}) {
        QImage img(400, 250, QImage::Format_RGB32);
        img.fill(colours[n++]);
        QPainter p(&img);
        p.setBrush(Qt::white);
        p.drawEllipse(QPoint(200, 125), 80, 80);
        p.end();
        ASSERT_TRUE(img.save(QString::fromStdString(dir.File(name))));
    }
    TRecordingMessages messages;
    TScriptedDialogs dialogs;
    TFixedFolders folders;
    dialogs.folderAnswer = dir.Path();
    TfrmList form(messages, dialogs, folders);
    form.SetFileName(dir.File("holiday.vpl"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.actAddFolder->trigger();
    ASSERT_EQ(form.Model()->Count(), 3);
    form.SelectRow(0);
    QApplication::processEvents();
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_FALSE(form.Preview->Empty());
    QTest::qWait(200);

    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QString folder = QString::fromLocal8Bit(qgetenv("VANTORIA_BINARY_DIR")) + "/shots";
    QDir().mkpath(folder);
    ASSERT_TRUE(shot.save(folder + "/playlist-editor.png"));

    // The preview's centre shows the bitmap's white disc on screen.
    const QPoint centre = form.Preview->mapToGlobal(form.Preview->rect().center());
    EXPECT_EQ(QColor(shot.pixel(centre)), QColor(Qt::white));
    const QPoint edge = form.Preview->mapToGlobal(QPoint(3, form.Preview->height() / 2));
    EXPECT_EQ(QColor(shot.pixel(edge)), QColor(40, 80, 200)) << "city lights.bmp comes first";
}

}  // namespace
