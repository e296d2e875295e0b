#include "dialogs/SettingsBox.h"
#include "platform/Translate.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <algorithm>

#include "dialogs/ColorPicker.h"
#include "dialogs/RadioGroup.h"
#include "platform/MessageService.h"
#include "registry/JclRegistry.h"
#include "settings/Settings.h"

namespace {

constexpr int kMinSeconds = settings::kMinChangeTime;
constexpr int kMaxSeconds = 86399;  // 23:59:59, the longest time of day

}  // namespace

QTime SecondsToTime(int seconds) {
    if (seconds < 0 || seconds > kMaxSeconds) {
        throw std::out_of_range("Invalid argument to time encode");
    }
    return QTime(seconds / 3600, (seconds % 3600) / 60, seconds % 60, 0);
}

int TimeToSeconds(const QTime& time) {
    if (!time.isValid()) {
        return 0;
    }
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

TfrmSettings::TfrmSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(tr("Settings"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(331, 431);

    edtPlay = new TRadioGroup(
        tr(" &Autoplay "),
        {tr("Do not change wallpaper at start"), tr("Continue to play last show at start"),
         tr("Change wallpaper once at start")},
        this);
    edtPlay->setObjectName(QStringLiteral("edtPlay"));
    edtPlay->setToolTip(tr("Autoplay options"));
    edtPlay->setGeometry(8, 8, 313, 105);
    edtPlay->SetItemIndex(0);

    PlayOptions = new QGroupBox(tr(" &Play Options "), this);
    PlayOptions->setObjectName(QStringLiteral("PlayOptions"));
    PlayOptions->setGeometry(8, 120, 169, 97);

    Label1 = new QLabel(tr("Change every (HH:MM:SS)"), PlayOptions);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(tr("Play interval"));
    Label1->move(12, 20);
    Label1->adjustSize();

    edtTime = new QTimeEdit(PlayOptions);
    edtTime->setObjectName(QStringLiteral("edtTime"));
    edtTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    edtTime->setTimeRange(QTime(0, 0, 0), QTime(23, 59, 59));
    edtTime->setTime(QTime(1, 0, 0));
    edtTime->setGeometry(12, 43, 80, 22);
    edtTime->installEventFilter(this);
    Label1->setBuddy(edtTime);

    edtStop = new QCheckBox(tr("Stop at last slide"), PlayOptions);
    edtStop->setObjectName(QStringLiteral("edtStop"));
    edtStop->setToolTip(tr("Do not repeat slide show"));
    edtStop->move(12, 72);
    edtStop->adjustSize();

    edtStyle =
        new TRadioGroup(tr(" &Wallpaper Style "), {tr("Tile"), tr("Center"), tr("Stretch")}, this);
    edtStyle->setObjectName(QStringLiteral("edtStyle"));
    edtStyle->setToolTip(tr("Wallpaper style"));
    edtStyle->setGeometry(184, 120, 137, 97);
    edtStyle->SetItemIndex(0);
    connect(edtStyle, &TRadioGroup::clicked, this, [this] { edtStyleClick(); });

    edtStretch =
        new TRadioGroup(tr(" &Stretch "),
                        {tr("Stretch image to desktop area"), tr("Do not stretch (Letter Box)"),
                         tr("Zoom to fill desktop area")},
                        this);
    edtStretch->setObjectName(QStringLiteral("edtStretch"));
    edtStretch->setGeometry(8, 224, 313, 81);
    edtStretch->SetItemIndex(-1);

    gbFillColor = new QGroupBox(tr(" Fill uncovered area "), this);
    gbFillColor->setObjectName(QStringLiteral("gbFillColor"));
    gbFillColor->setGeometry(8, 312, 313, 57);

    lblFillColor = new QLabel(tr("Fill color"), gbFillColor);
    lblFillColor->setObjectName(QStringLiteral("lblFillColor"));
    lblFillColor->move(8, 22);
    lblFillColor->adjustSize();

    edColor = new TColorPicker(gbFillColor);
    edColor->setObjectName(QStringLiteral("edColor"));
    edColor->setGeometry(64, 18, 217, 22);
    edColor->SetColor(0);
    connect(edColor, &TColorPicker::defaultSelected, this, [this] { edColorDefaultSelect(); });

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(4, 390, 317, 4);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setToolTip(tr("Save settings"));
    btnOK->setGeometry(168, 400, 75, 25);
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(tr("Discard your changes"));
    btnCancel->setGeometry(248, 400, 75, 25);
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(edtPlay, edtTime);
    setTabOrder(edtTime, edtStop);
    setTabOrder(edtStop, edtStyle);
    setTabOrder(edtStyle, edtStretch);
    setTabOrder(edtStretch, btnOK);
    setTabOrder(btnOK, btnCancel);
    setTabOrder(btnCancel, edColor);

    edtStyleClick();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtTime && event->type() == QEvent::FocusOut) {
        edtTimeExit();
    }
    if (watched == edtTime && event->type() == QEvent::KeyPress) {
        // A time field walks its hours, minutes and seconds on Tab; here Tab
        // leaves the field for the next control, as everywhere in the dialog.
        // The arrow keys still move between the parts.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool back =
                key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            focusNextPrevChild(!back);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSettings::edtTimeExit() {
    if (TimeToSeconds(edtTime->time()) < kMinSeconds) {
        edtTime->setTime(SecondsToTime(kMinSeconds));
    }
}

void TfrmSettings::edtStyleClick() {
    const bool stretch = edtStyle->ItemIndex() == wsStretch;
    edtStretch->setEnabled(stretch);
    gbFillColor->setEnabled(stretch);
    lblFillColor->setEnabled(stretch);
    edColor->setEnabled(stretch);
}

void TfrmSettings::edColorDefaultSelect() {
    edColor->SetColor(0);
}

void TfrmSettings::ReadSettings() {
    if (!RegKeyPresent(HKEY_CURRENT_USER, settings::kKey)) {
        return;
    }
    try {
        edtPlay->SetItemIndex(settings::Read(settings::kAutoplay));
        edtStyle->SetItemIndex(settings::Read(settings::kStyle));
        // An interval longer than the field can show (a settings file from
        // elsewhere) shows as the longest one; the values after it are still
        // read, so confirming the dialog does not overwrite them with defaults.
        const int seconds = settings::Read(settings::kChangeTime);
        edtTime->setTime(SecondsToTime(std::clamp(seconds, 0, kMaxSeconds)));
        edtStop->setChecked(settings::Read(settings::kStop));
        edtStretch->SetItemIndex(settings::Read(settings::kStretch));
        edColor->SetColor(TColor(settings::Read(settings::kColor)));
    } catch (...) {
        // The controls not yet filled keep their initial states.
    }
}

void TfrmSettings::WriteSettings() {
    // One write of the settings file holding every value.
    TRegWriteBatch batch;
    settings::EnsureKey();
    settings::Write(settings::kAutoplay, edtPlay->ItemIndex());
    settings::Write(settings::kStyle, edtStyle->ItemIndex());
    settings::Write(settings::kStretch, edtStretch->ItemIndex());
    settings::Write(settings::kColor, std::int32_t(edColor->Color()));
    // Confirming starts the show over from the first entry.
    settings::Write(settings::kCurrent, 0);
    settings::Write(settings::kChangeTime, TimeToSeconds(edtTime->time()));
    settings::Write(settings::kStop, edtStop->isChecked());
}

bool ShowSettingsDialog(TMessageService* messages, QWidget* parent) {
    TfrmSettings dialog(parent);
    dialog.ReadSettings();
    dialog.edtStyleClick();
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    if (confirmed) {
        try {
            dialog.WriteSettings();
        } catch (const std::exception& e) {
            // The user confirmed new settings; saying nothing would leave them
            // believing the settings were kept.
            if (messages) {
                messages->ShowError(TextArgs(
                    TrText("TfrmSettings", "The settings could not be saved: %1"), {e.what()}));
            }
        }
    }
    return confirmed;
}
