// The settings dialog against a registry held in memory: what it shows for
// stored values, what it stores on OK and in which order, its limits, and
// what it does when storing fails.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <memory>

#include "ModalHelper.h"
#include "support/Recorders.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/RadioGroup.h"
#include "dialogs/SettingsBox.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"

namespace {

constexpr const char* kKey = "Software\\Vantoria";

// A store that records the names of the values written and can refuse the
// n-th write.
class TRecordingStore : public TMemoryRegistryStore {
public:
    bool SetValue(TRegRoot root, const std::string& key, const std::string& name,
                  const TRegValue& value) override {
        if (failAt >= 0 && int(written.size()) == failAt) {
            return false;
        }
        written.push_back(name);
        return TMemoryRegistryStore::SetValue(root, key, name, value);
    }
    std::vector<std::string> written;
    int failAt = -1;
};

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TRecordingStore>();
        RegSetStore(store);
    }
    void TearDown() override { RegSetStore(std::make_shared<TMemoryRegistryStore>()); }

    void Store(const char* name, std::int32_t value) {
        RegEnsureKey(HKEY_CURRENT_USER, kKey);
        RegWriteInt(HKEY_CURRENT_USER, kKey, name, value);
        store->written.clear();
    }
    std::int32_t Stored(const char* name) {
        return RegReadInt(HKEY_CURRENT_USER, kKey, name, -999);
    }

    // Runs the whole dialog; `answer` plays the user.
    bool Run(std::function<void(TfrmSettings*)> answer) {
        AnswerNextDialog([answer](QDialog* d) { answer(qobject_cast<TfrmSettings*>(d)); });
        return ShowSettingsDialog(&messages);
    }

    std::shared_ptr<TRecordingStore> store;
    TRecordingMessages messages;
};

void LeaveField(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

}  // namespace

TEST(SettingsTime, SecondsAndTimesOfDayConvertBothWays) {
    EXPECT_EQ(SecondsToTime(0), QTime(0, 0, 0));
    EXPECT_EQ(SecondsToTime(90), QTime(0, 1, 30));
    EXPECT_EQ(SecondsToTime(3661), QTime(1, 1, 1));
    EXPECT_EQ(SecondsToTime(86399), QTime(23, 59, 59));
    EXPECT_THROW(SecondsToTime(86400), std::out_of_range);
    EXPECT_THROW(SecondsToTime(-1), std::out_of_range);
    EXPECT_EQ(TimeToSeconds(QTime(23, 59, 59, 999)), 86399);
    EXPECT_EQ(TimeToSeconds(QTime(0, 0, 10, 500)), 10);
    EXPECT_EQ(TimeToSeconds(QTime()), 0);
    for (int s : {1, 59, 60, 3599, 3600, 43210, 86398})
        EXPECT_EQ(TimeToSeconds(SecondsToTime(s)), s);
}

TEST_F(SettingsDialog, OpensWithTheInitialStatesWhenNothingIsStored) {
    TfrmSettings d;
    d.ReadSettings();
    EXPECT_EQ(d.windowTitle(), "Settings");
    EXPECT_EQ(d.size(), QSize(331, 431));
    EXPECT_EQ(d.edtPlay->ItemIndex(), 0);
    EXPECT_EQ(d.edtStyle->ItemIndex(), 0);
    EXPECT_EQ(d.edtStretch->ItemIndex(), -1);
    EXPECT_EQ(d.edtTime->time(), QTime(1, 0, 0));
    EXPECT_FALSE(d.edtStop->isChecked());
    EXPECT_EQ(d.edColor->Color(), 0u);
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, kKey)) << "reading must not create the key";
}

TEST_F(SettingsDialog, ShowsTheStoredValuesWithTheirCaptions) {
    Store("Autoplay", 1);
    Store("Style", 2);
    Store("ChangeTime", 90);
    Store("Stop", 1);
    Store("Stretch", 1);
    Store("Color", 255);
    TfrmSettings d;
    d.ReadSettings();
    d.edtStyleClick();
    ASSERT_EQ(d.edtPlay->ItemIndex(), 1);
    EXPECT_EQ(d.edtPlay->Item(1)->text(), "Continue to play last show at start");
    EXPECT_EQ(d.edtStyle->Item(d.edtStyle->ItemIndex())->text(), "Stretch");
    EXPECT_EQ(d.edtTime->text(), "00:01:30");
    EXPECT_TRUE(d.edtStop->isChecked());
    EXPECT_EQ(d.edtStretch->Item(d.edtStretch->ItemIndex())->text(), "Do not stretch (Letter Box)");
    EXPECT_EQ(TColorPicker::ToQColor(d.edColor->Color()), QColor(255, 0, 0));
    EXPECT_TRUE(d.edtStretch->isEnabled());
    EXPECT_TRUE(d.gbFillColor->isEnabled());
    EXPECT_TRUE(d.lblFillColor->isEnabled());
    EXPECT_TRUE(d.edColor->isEnabled());
}

TEST_F(SettingsDialog, StretchAndFillControlsFollowTheStyle) {
    Store("Style", 0);
    TfrmSettings d;
    d.ReadSettings();
    d.edtStyleClick();
    d.show();
    EXPECT_FALSE(d.edtStretch->isEnabled());
    EXPECT_FALSE(d.edColor->isEnabled());
    QTest::mouseClick(d.edtStyle->Item(2), Qt::LeftButton);
    EXPECT_TRUE(d.edtStretch->isEnabled());
    EXPECT_TRUE(d.gbFillColor->isEnabled());
    QTest::mouseClick(d.edtStyle->Item(1), Qt::LeftButton);
    EXPECT_FALSE(d.edtStretch->isEnabled());
    EXPECT_FALSE(d.lblFillColor->isEnabled());
    QTest::mouseClick(d.edtStyle->Item(0), Qt::LeftButton);
    EXPECT_FALSE(d.gbFillColor->isEnabled());
}

TEST_F(SettingsDialog, ItemsBeyondTheLastSelectTheLastAndNegativeOnesNone) {
    Store("Autoplay", 7);
    Store("Stretch", -3);
    bool ok = Run([](TfrmSettings* d) {
        EXPECT_EQ(d->edtPlay->ItemIndex(), 2);
        EXPECT_EQ(d->edtStretch->ItemIndex(), -1);
        d->btnOK->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Stored("Autoplay"), 2);
    EXPECT_EQ(Stored("Stretch"), -1);
}

TEST_F(SettingsDialog, IntervalNeverKeepsLessThanTenSeconds) {
    TfrmSettings d;
    d.edtTime->setTime(QTime(0, 0, 5));
    LeaveField(d.edtTime);
    EXPECT_EQ(d.edtTime->text(), "00:00:10");

    // Enter right after typing: the field still shows 5 seconds, 10 is stored.
    bool ok = Run([](TfrmSettings* dialog) {
        dialog->edtTime->setTime(QTime(0, 0, 5));
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Stored("ChangeTime"), 10);

    ok = Run([](TfrmSettings* dialog) {
        dialog->edtTime->setTime(QTime(23, 59, 59));
        dialog->btnOK->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Stored("ChangeTime"), 86399);
}

TEST_F(SettingsDialog, SpinButtonsStepThePartUnderTheCaret) {
    TfrmSettings d;
    d.show();
    d.edtTime->setTime(QTime(1, 0, 0));
    d.edtTime->setCurrentSection(QDateTimeEdit::MinuteSection);
    d.edtTime->stepBy(1);
    EXPECT_EQ(d.edtTime->text(), "01:01:00");
    d.edtTime->setCurrentSection(QDateTimeEdit::SecondSection);
    d.edtTime->stepBy(1);
    EXPECT_EQ(d.edtTime->text(), "01:01:01");
    d.edtTime->setCurrentSection(QDateTimeEdit::HourSection);
    d.edtTime->stepBy(1);
    EXPECT_EQ(d.edtTime->text(), "02:01:01");
}

TEST_F(SettingsDialog, OkStoresEveryValueInOrderAndStartsTheShowOver) {
    Store("Current", 5);
    Store("ChangeTime", 600);
    bool ok = Run([](TfrmSettings* d) { d->btnOK->click(); });
    EXPECT_TRUE(ok);
    const std::vector<std::string> order{"Autoplay", "Style",      "Stretch", "Color",
                                         "Current",  "ChangeTime", "Stop"};
    EXPECT_EQ(store->written, order);
    EXPECT_EQ(Stored("Current"), 0);
    EXPECT_EQ(Stored("ChangeTime"), 600);
    EXPECT_EQ(Stored("Stretch"), 0) << "a stored key reads Stretch with its default 0";
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SettingsDialog, CancelWritesNothing) {
    Store("Current", 5);
    Store("Style", 1);
    bool ok = Run([](TfrmSettings* d) {
        d->edtStyle->SetItemIndex(2);
        d->edtStop->setChecked(true);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(store->written.empty());
    EXPECT_EQ(Stored("Current"), 5);
    EXPECT_EQ(Stored("Style"), 1);
}

TEST_F(SettingsDialog, OkCreatesAMissingKey) {
    bool ok = Run([](TfrmSettings* d) {
        d->edtPlay->SetItemIndex(1);
        d->edColor->PickPreset(2);
        d->btnOK->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(Stored("Autoplay"), 1);
    EXPECT_EQ(Stored("Color"), std::int32_t(TColorPicker::PresetColors()[2]));
    EXPECT_EQ(Stored("ChangeTime"), 3600);
    EXPECT_EQ(Stored("Stretch"), -1) << "nothing was selected in the Stretch group";
}

TEST_F(SettingsDialog, AnIntervalTooLongToShowDoesNotLoseTheValuesReadAfterIt) {
    Store("ChangeTime", 86400);
    Store("Stop", 1);
    Store("Stretch", 2);
    Store("Color", 0x00FF00);
    bool ok = Run([](TfrmSettings* d) {
        EXPECT_EQ(d->edtTime->text(), "23:59:59");
        EXPECT_TRUE(d->edtStop->isChecked());
        EXPECT_EQ(d->edtStretch->ItemIndex(), 2);
        d->btnOK->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Stored("Stop"), 1);
    EXPECT_EQ(Stored("Stretch"), 2);
    EXPECT_EQ(Stored("Color"), 0x00FF00);
    EXPECT_EQ(Stored("ChangeTime"), 86399);
}

TEST_F(SettingsDialog, AFailedWriteKeepsEarlierValuesAndIsReportedNotPassedOver) {
    Store("Current", 4);
    Store("Stop", 1);
    store->failAt = 4;  // "Current", the fifth value
    bool ok = Run([](TfrmSettings* d) {
        d->edtStop->setChecked(false);
        d->edtStyle->SetItemIndex(1);
        d->btnOK->click();
    });
    EXPECT_TRUE(ok) << "the user did confirm";
    EXPECT_EQ(Stored("Style"), 1);
    EXPECT_EQ(Stored("Current"), 4);
    EXPECT_EQ(Stored("Stop"), 1) << "values after the failure stay as they were";
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, "error");
    EXPECT_NE(messages.shown[0].text.find("could not be saved"), std::string::npos);
}

TEST_F(SettingsDialog, CaptionsHintsAndButtons) {
    TfrmSettings d;
    EXPECT_EQ(d.edtPlay->title(), " &Autoplay ");
    EXPECT_EQ(d.edtPlay->toolTip(), "Autoplay options");
    EXPECT_EQ(d.PlayOptions->title(), " &Play Options ");
    EXPECT_EQ(d.Label1->text(), "Change every (HH:MM:SS)");
    EXPECT_EQ(d.edtStop->text(), "Stop at last slide");
    EXPECT_EQ(d.edtStop->toolTip(), "Do not repeat slide show");
    EXPECT_EQ(d.edtStyle->title(), " &Wallpaper Style ");
    EXPECT_EQ(d.edtStretch->title(), " &Stretch ");
    EXPECT_EQ(d.edtStretch->Item(2)->text(), "Zoom to fill desktop area");
    EXPECT_EQ(d.gbFillColor->title(), " Fill uncovered area ");
    EXPECT_EQ(d.lblFillColor->text(), "Fill color");
    EXPECT_EQ(d.btnOK->toolTip(), "Save settings");
    EXPECT_TRUE(d.btnOK->isDefault());
    EXPECT_EQ(d.btnCancel->toolTip(), "Discard your changes");
    EXPECT_EQ(d.findChild<QWidget*>("edColor"), d.edColor);
}

TEST_F(SettingsDialog, AutomaticStoresBlackAfterACustomColor) {
    Store("Style", 2);
    Store("Color", 0x123456);
    bool ok = Run([](TfrmSettings* d) {
        EXPECT_EQ(d->edColor->Color(), 0x123456u);
        d->edColor->SetCustomChooser(
            [](const QColor&, QWidget*) { return std::optional<QColor>(QColor(1, 2, 3)); });
        d->edColor->findChild<QToolButton*>("btnCustomColor")->click();
        d->edColor->findChild<QToolButton*>("btnAutomatic")->click();
        d->btnOK->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(Stored("Color"), 0);
}

TEST_F(SettingsDialog, TabLeavesTheTimeFieldForTheNextControl) {
    TfrmSettings d;
    d.show();
    QApplication::setActiveWindow(&d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.edtTime->setFocus();
    d.edtTime->setCurrentSection(QDateTimeEdit::HourSection);
    d.edtTime->setTime(QTime(0, 0, 5));
    QTest::keyClick(d.edtTime, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.edtStop) << "Tab stayed inside the time field";
    EXPECT_EQ(d.edtTime->text(), "00:00:10") << "leaving the field keeps its limit";
    d.edtTime->setFocus();
    QTest::keyClick(d.edtTime, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(d.edtPlay->isAncestorOf(QApplication::focusWidget()));
}
