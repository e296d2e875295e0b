#include "dialogs/ColorPicker.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace {

QIcon SwatchIcon(const QColor& color) {
    QPixmap pm(14, 14);
    pm.fill(color);
    QPainter p(&pm);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(0, 0, 13, 13);
    return QIcon(pm);
}

}  // namespace

const std::vector<TColor>& TColorPicker::PresetColors() {
    // Row by row: darkest to lightest shades of the usual office palette,
    // written as 0x00BBGGRR.
    static const std::vector<TColor> colors{
        0x000000, 0x003399, 0x003333, 0x003300, 0x663300, 0x800000, 0x993333, 0x333333,
        0x000080, 0x0066FF, 0x008080, 0x008000, 0x808000, 0xFF0000, 0x996666, 0x808080,
        0x0000FF, 0x0099FF, 0x00CC99, 0x669933, 0xCCCC33, 0xFF6633, 0x800080, 0x999999,
        0xFF00FF, 0x00CCFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFFCC00, 0x663399, 0xC0C0C0,
        0xCC99FF, 0x99CCFF, 0x99FFFF, 0xCCFFCC, 0xFFFFCC, 0xFFCC99, 0xFF99CC, 0xFFFFFF,
    };
    return colors;
}

QColor TColorPicker::ToQColor(TColor color) {
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor TColorPicker::FromQColor(const QColor& color) {
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

TColorPicker::TColorPicker(QWidget* parent) : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setFocusPolicy(Qt::StrongFocus);
    chooser_ = [](const QColor& initial, QWidget* owner) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, owner, tr("Custom color"));
        if (!c.isValid()) {
            return std::nullopt;
        }
        return c;
    };

    panel_ = new QMenu(this);
    panel_->setObjectName(QStringLiteral("ColorPanel"));
    auto* body = new QWidget(panel_);
    auto* v = new QVBoxLayout(body);
    v->setContentsMargins(4, 4, 4, 4);
    v->setSpacing(4);

    auto* automatic = new QToolButton(body);
    automatic->setObjectName(QStringLiteral("btnAutomatic"));
    automatic->setText(tr("Automatic"));
    automatic->setIcon(SwatchIcon(Qt::black));
    automatic->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    automatic->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    automatic->setAutoRaise(true);
    connect(automatic, &QToolButton::clicked, this, [this] {
        panel_->close();
        PickAutomatic();
    });
    v->addWidget(automatic);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    const auto& presets = PresetColors();
    for (std::size_t i = 0; i < presets.size(); ++i) {
        auto* cell = new QToolButton(body);
        const QColor c = ToQColor(presets[i]);
        cell->setObjectName(QStringLiteral("preset%1").arg(i));
        cell->setToolTip(c.name(QColor::HexRgb).toUpper());
        cell->setIcon(SwatchIcon(c));
        cell->setAutoRaise(true);
        cell->setFixedSize(20, 20);
        connect(cell, &QToolButton::clicked, this, [this, i] {
            panel_->close();
            PickPreset(i);
        });
        grid->addWidget(cell, int(i / 8), int(i % 8));
    }
    v->addLayout(grid);

    auto* custom = new QToolButton(body);
    custom->setObjectName(QStringLiteral("btnCustomColor"));
    custom->setText(tr("Custom color"));
    custom->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    custom->setAutoRaise(true);
    connect(custom, &QToolButton::clicked, this, [this] {
        panel_->close();
        PickCustom();
    });
    v->addWidget(custom);

    auto* holder = new QWidgetAction(panel_);
    holder->setDefaultWidget(body);
    panel_->addAction(holder);
    setMenu(panel_);
}

void TColorPicker::SetColor(TColor color) {
    color_ = color & 0x00FFFFFF;
    automatic_ = false;
    update();
}

void TColorPicker::Choose(TColor color, bool automatic) {
    color_ = color;
    automatic_ = automatic;
    update();
    emit colorChanged(color_);
}

void TColorPicker::PickAutomatic() {
    Choose(0, true);
    emit defaultSelected();
}

void TColorPicker::PickPreset(std::size_t index) {
    const auto& presets = PresetColors();
    if (index < presets.size()) {
        Choose(presets[index], false);
    }
}

void TColorPicker::PickCustom() {
    if (!chooser_) {
        return;
    }
    if (const std::optional<QColor> c = chooser_(ToQColor(color_), window())) {
        Choose(FromQColor(*c), false);
    }
}

void TColorPicker::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    opt.icon = QIcon();
    p.drawComplexControl(QStyle::CC_ToolButton, opt);
    // The colour fills the button but its drop-down arrow.
    const int arrow = style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &opt, this);
    QRect swatch = rect().adjusted(4, 4, -4 - arrow, -4);
    p.setPen(isEnabled() ? QColor(0x40, 0x40, 0x40) : QColor(0xa0, 0xa0, 0xa0));
    QColor fill = ToQColor(color_);
    if (!isEnabled()) {
        fill.setAlpha(90);
    }
    p.setBrush(fill);
    p.drawRect(swatch.adjusted(0, 0, -1, -1));
    if (automatic_) {
        p.setPen(Qt::white);
        p.drawText(swatch, Qt::AlignCenter, tr("Automatic"));
    }
}
