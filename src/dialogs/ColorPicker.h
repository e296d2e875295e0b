#pragma once

#include <QColor>
#include <QToolButton>
#include <functional>
#include <optional>

#include "wallpaper/WallpaperTypes.h"

class QMenu;

// A drop-down colour picker: its button shows the colour, its panel offers
// "Automatic", a grid of preset colours and "Custom color" for any other one.
// The value is a colour as 0x00BBGGRR; "Automatic" stands for 0 (black).
class TColorPicker : public QToolButton {
    Q_OBJECT
public:
    // Asks the user for any colour, starting from the given one; nothing when
    // the user cancels.
    using TCustomChooser =
        std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)>;

    explicit TColorPicker(QWidget* parent = nullptr);

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    // Whether the value came from "Automatic" rather than from a colour.
    bool IsAutomatic() const { return automatic_; }

    // The preset colours of the grid, row by row.
    static const std::vector<TColor>& PresetColors();

    // The user's choices, as the panel's entries make them.
    void PickAutomatic();
    void PickPreset(std::size_t index);
    void PickCustom();

    void SetCustomChooser(TCustomChooser chooser) { chooser_ = std::move(chooser); }
    QMenu* Panel() const { return panel_; }

    static QColor ToQColor(TColor color);
    static TColor FromQColor(const QColor& color);

signals:
    void colorChanged(TColor color);
    // The user picked "Automatic".
    void defaultSelected();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Choose(TColor color, bool automatic);

    TColor color_ = 0;
    bool automatic_ = false;
    QMenu* panel_ = nullptr;
    TCustomChooser chooser_;
};
