// The drop-down colour picker: the value's byte order, the preset grid,
// "Automatic" and the custom colour chooser.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QToolButton>

#include "dialogs/ColorPicker.h"

TEST(ColorPicker, ValuesAreBlueGreenRed) {
    EXPECT_EQ(TColorPicker::ToQColor(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(TColorPicker::ToQColor(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(TColorPicker::FromQColor(QColor(0x12, 0x34, 0x56)), 0x00563412u);
    TColorPicker picker;
    picker.SetColor(0xFF102030);
    EXPECT_EQ(picker.Color(), 0x00102030u) << "the top byte is no part of a colour";
}

TEST(ColorPicker, PanelOffersAutomaticAGridAndCustomColor) {
    TColorPicker picker;
    auto* automatic = picker.findChild<QToolButton*>("btnAutomatic");
    auto* custom = picker.findChild<QToolButton*>("btnCustomColor");
    ASSERT_NE(automatic, nullptr);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(automatic->text(), "Automatic");
    EXPECT_EQ(custom->text(), "Custom color");
    const auto& presets = TColorPicker::PresetColors();
    EXPECT_GE(presets.size(), 16u);
    for (std::size_t i = 0; i < presets.size(); ++i) {
        auto* cell = picker.findChild<QToolButton*>(QStringLiteral("preset%1").arg(i));
        ASSERT_NE(cell, nullptr) << i;
    }
    QSignalSpy changed(&picker, &TColorPicker::colorChanged);
    picker.findChild<QToolButton*>("preset13")->click();
    EXPECT_EQ(picker.Color(), presets[13]);
    EXPECT_EQ(changed.count(), 1);
}

TEST(ColorPicker, AutomaticAfterACustomColorIsBlack) {
    TColorPicker picker;
    picker.SetCustomChooser(
        [](const QColor&, QWidget*) { return std::optional<QColor>(QColor(10, 20, 30)); });
    QSignalSpy automaticSpy(&picker, &TColorPicker::defaultSelected);
    picker.findChild<QToolButton*>("btnCustomColor")->click();
    EXPECT_EQ(picker.Color(), 0x001E140Au);
    EXPECT_FALSE(picker.IsAutomatic());
    picker.findChild<QToolButton*>("btnAutomatic")->click();
    EXPECT_EQ(picker.Color(), 0u);
    EXPECT_TRUE(picker.IsAutomatic());
    EXPECT_EQ(automaticSpy.count(), 1);
}

TEST(ColorPicker, ACancelledCustomColorKeepsTheValue) {
    TColorPicker picker;
    picker.SetColor(0x00336699);
    QColor offered;
    picker.SetCustomChooser([&offered](const QColor& initial, QWidget*) {
        offered = initial;
        return std::optional<QColor>();
    });
    QSignalSpy changed(&picker, &TColorPicker::colorChanged);
    picker.PickCustom();
    EXPECT_EQ(offered, QColor(0x99, 0x66, 0x33)) << "the chooser starts from the current colour";
    EXPECT_EQ(picker.Color(), 0x00336699u);
    EXPECT_EQ(changed.count(), 0);
}
