// The About box: its texts, Enter and Esc, and the home page link.

#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QPushButton>
#include <QTest>

#include "ModalHelper.h"
#include "support/Recorders.h"
#include "dialogs/frmAboutBox.h"

TEST(AboutBox, ShowsNameVersionMakerLinkAndNotice) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About Vantoria...");
    EXPECT_EQ(box.size(), QSize(350, 254));
    EXPECT_EQ(box.Label2->text(), "Vantoria");
    EXPECT_TRUE(box.Label2->font().bold());
    EXPECT_EQ(box.Label2->font().pixelSize(), 32);
    EXPECT_EQ(box.lblVersion->text(), "Version 2.0.0");
    EXPECT_FALSE(box.Label1->text().isEmpty());
    EXPECT_EQ(box.Label3->text().split('\n').size(), 4);
    EXPECT_TRUE(box.lblHomePage->font().underline());
    EXPECT_FALSE(box.lblHomePage->toolTip().isEmpty());
    EXPECT_EQ(box.btnOK->text(), "OK");
    const QPixmap logo = box.Image1->pixmap();
    ASSERT_FALSE(logo.isNull()) << "the logo comes from the compiled-in pictures";
    EXPECT_EQ(logo.deviceIndependentSize().toSize(), QSize(48, 48));
}

TEST(AboutBox, EnterAndEscBothClose) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        bool answered = false;
        AnswerNextDialog([key, &answered](QDialog* d) {
            answered = true;
            QTest::keyClick(d, key);
        });
        ShowAboutBox();  // returns only once the box is closed
        EXPECT_TRUE(answered);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

TEST(AboutBox, LinkTurnsRedWhileHoveredAndOpensTheHomePage) {
    TRecordingMessages messages;
    TAboutBox box(&messages);
    box.show();
    THyperLinkLabel* link = box.lblHomePage;
    const QColor blue = link->palette().color(QPalette::WindowText);
    EXPECT_EQ(blue, QColor(0, 0, 255));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), blue);

    std::vector<std::string> opened;
    link->SetOpener([&opened](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    QTest::mousePress(link, Qt::RightButton);
    ASSERT_EQ(opened.size(), 1u) << "any mouse button opens the page";
    EXPECT_EQ(opened[0], "https://" + link->text().toStdString());
    EXPECT_TRUE(messages.shown.empty());
}

TEST(AboutBox, ABrowserThatCannotStartIsReportedAndTheBoxStaysOpen) {
    TRecordingMessages messages;
    TAboutBox box(&messages);
    box.show();
    box.lblHomePage->SetOpener([](const std::string&) { return false; });
    QTest::mousePress(box.lblHomePage, Qt::LeftButton);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, "exception");
    EXPECT_NE(messages.shown[0].text.find(box.lblHomePage->Target()), std::string::npos);
    EXPECT_TRUE(box.isVisible());
}

// A dark desktop: the link takes the desktop's link colour, lightened so that
// it reads on the dark window.
TEST(AboutBox, LinkStaysReadableUnderADarkPalette) {
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    {
        TAboutBox box;
        const QColor link = box.lblHomePage->palette().color(QPalette::WindowText);
        EXPECT_GE(link.lightness() - box.palette().color(QPalette::Window).lightness(), 100)
            << link.name().toStdString();
    }
    QApplication::setPalette(light);
}
