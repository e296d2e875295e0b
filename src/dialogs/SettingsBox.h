#pragma once

#include <QDialog>
#include <QTime>
#include <stdexcept>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimeEdit;
class TColorPicker;
class TMessageService;
class TRadioGroup;

// A count of seconds as a time of day; raises std::out_of_range for a count
// below 0 or of 24 hours (86400) or more.
QTime SecondsToTime(int seconds);
// The whole seconds of a time of day (milliseconds dropped); 0 for an
// invalid time.
int TimeToSeconds(const QTime& time);

// The settings dialog: reads the stored settings into its controls when it
// opens and writes them back when the user confirms with OK.
class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSettings(QWidget* parent = nullptr);

    // Reads the stored values into the controls; the first failure ends the
    // reading, and the controls not yet filled keep their initial states.
    void ReadSettings();
    // Writes the controls to the stored settings, creating the key when
    // needed. The first failure ends the writing and raises; values written
    // before it stay written.
    void WriteSettings();

    // Event handlers.
    void edtTimeExit();
    void edtStyleClick();
    void edColorDefaultSelect();

    TRadioGroup* edtPlay = nullptr;
    QGroupBox* PlayOptions = nullptr;
    QLabel* Label1 = nullptr;
    QTimeEdit* edtTime = nullptr;
    QCheckBox* edtStop = nullptr;
    TRadioGroup* edtStyle = nullptr;
    TRadioGroup* edtStretch = nullptr;
    QGroupBox* gbFillColor = nullptr;
    QLabel* lblFillColor = nullptr;
    TColorPicker* edColor = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Runs the settings dialog modally against the stored settings. True exactly
// when the user closed it with OK. A failure to store the values is shown
// through the message service (when one is given) rather than passed over.
bool ShowSettingsDialog(TMessageService* messages = nullptr, QWidget* parent = nullptr);
