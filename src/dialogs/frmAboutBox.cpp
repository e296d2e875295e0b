#include "dialogs/frmAboutBox.h"
#include "platform/Translate.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QFrame>
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QResource>
#include <QScreen>
#include <QUrl>

#include "platform/MessageService.h"

namespace {

constexpr const char* kHomePage = "github.com/vantoria/vantoria";
const QColor kHoverColor(255, 0, 0);

// The desktop's link colour, lightened where a dark palette would leave a
// dark link on a dark window.
QColor LinkColor(const QPalette& palette) {
    QColor link = palette.color(QPalette::Link);
    if (palette.color(QPalette::Window).lightness() < 128 && link.lightness() < 150) {
        link = QColor::fromHsl(link.hslHue(), link.hslSaturation(), 170);
    }
    return link;
}

}  // namespace

THyperLinkLabel::THyperLinkLabel(const QString& target, QWidget* parent)
    : QLabel(target, parent), target_(target.toStdString()) {
    setObjectName(QStringLiteral("lblHomePage"));
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    opener_ = [](const std::string& url) {
        return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    };
    SetHovered(false);
}

void THyperLinkLabel::SetHovered(bool hovered) {
    hovered_ = hovered;
    QPalette p = palette();
    p.setColor(QPalette::WindowText,
               hovered ? kHoverColor : LinkColor(QApplication::palette(this)));
    setPalette(p);
}

void THyperLinkLabel::enterEvent(QEnterEvent* event) {
    SetHovered(true);
    QLabel::enterEvent(event);
}

void THyperLinkLabel::leaveEvent(QEvent* event) {
    SetHovered(false);
    QLabel::leaveEvent(event);
}

void THyperLinkLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (opener_ && opener_(Url())) {
        return;
    }
    // The box stays open; the user learns that no browser came up.
    const std::string text =
        TextArgs(TrText("THyperLinkLabel", "Could not open \"%1\" in a web browser"), {target_});
    if (messages_) {
        messages_->ReportException(text);
    }
}

TAboutBox::TAboutBox(TMessageService* messages, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("About Vantoria..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont base = font();
    base.setPixelSize(11);
    setFont(base);
    setFixedSize(350, 254);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(4, 8, 48, 48);
    // The logo drawn at build time for scale 1 and 2 (resources/CMakeLists.txt),
    // stored uncompressed as premultiplied ARGB32 pixels.
    QIcon logo;
    for (int side : {48, 96}) {
        const QResource stored(QStringLiteral(":/images/logo-%1.argb").arg(side));
        if (stored.compressionAlgorithm() == QResource::NoCompression &&
            stored.size() == qint64(side) * side * 4) {
            logo.addPixmap(QPixmap::fromImage(
                QImage(stored.data(), side, side, side * 4, QImage::Format_ARGB32_Premultiplied)));
        }
    }
    Image1->setPixmap(logo.pixmap(QSize(48, 48)));

    Label2 = new QLabel(QStringLiteral("Vantoria"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont title(QStringLiteral("Tahoma"));
    title.setBold(true);
    title.setPixelSize(32);
    Label2->setFont(title);
    Label2->setWordWrap(true);
    Label2->setGeometry(72, 4, 237, 49);

    lblVersion = new QLabel(tr("Version 2.0.0"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(72, 60, 237, 13);

    Label1 = new QLabel(tr("Copyright \u00a9 2003-2026 The Vantoria developers"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(72, 80);
    Label1->adjustSize();

    lblHomePage = new THyperLinkLabel(QString::fromLatin1(kHomePage), this);
    lblHomePage->setToolTip(tr("Vantoria home page"));
    lblHomePage->SetMessages(messages);
    lblHomePage->move(72, 96);
    lblHomePage->adjustSize();

    Label3 = new QLabel(tr("This program is free software: you may\n"
                           "use it and redistribute it free of charge.\n"
                           "It comes with ABSOLUTELY NO WARRANTY,\n"
                           "to the extent permitted by law."),
                        this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(72, 132, 265, 69);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 210, 341, 4);

    // OK is both the default button (Enter) and the cancel button (Esc).
    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(272, 220, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void ShowAboutBox(TMessageService* messages, QWidget* parent) {
    TAboutBox box(messages, parent);
    box.exec();
}
