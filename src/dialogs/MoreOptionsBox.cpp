#include "dialogs/MoreOptionsBox.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Autostart.h"
#include "settings/Settings.h"

TfrmMoreOptions::TfrmMoreOptions(const TSettings& settings, TAutostart* autostart, QWidget* parent)
    : QDialog(parent), autostart_(autostart) {
    setObjectName(QStringLiteral("frmMoreOptions"));
    setWindowTitle(tr("More Options"));
    auto* layout = new QVBoxLayout(this);
    const auto box = [&](QCheckBox*& target, const char* name, const QString& text, bool on) {
        target = new QCheckBox(text, this);
        target->setObjectName(QString::fromLatin1(name));
        target->setChecked(on);
        layout->addWidget(target);
    };
    box(cbShuffle, "cbShuffle", tr("&Shuffle: a random order, each picture once a round"),
        settings.FOrder == 1);
    box(cbKeepWallpaper, "cbKeepWallpaper", tr("&Keep the last picture when Vantoria ends"),
        settings.FKeepWallpaper);
    box(cbMonitorSlides, "cbMonitorSlides",
        tr("Each &monitor its own picture: the next entries in turn"), settings.FMonitorSlides);
    box(cbStartInTray, "cbStartInTray", tr("Start &hidden in the tray"), settings.FStartInTray);
    box(cbStartAtLogin, "cbStartAtLogin", tr("Start at &log-in"),
        autostart_ && autostart_->Enabled());
    cbStartAtLogin->setEnabled(autostart_ != nullptr);
    box(cbRecursive, "cbRecursive", tr("Folders in the playlist take in their &subfolders"),
        settings.FRecursive);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string TfrmMoreOptions::Apply(TSettings& settings) {
    settings.FOrder = cbShuffle->isChecked() ? 1 : 0;
    settings.FKeepWallpaper = cbKeepWallpaper->isChecked();
    settings.FMonitorSlides = cbMonitorSlides->isChecked();
    settings.FStartInTray = cbStartInTray->isChecked();
    settings.FRecursive = cbRecursive->isChecked();
    if (autostart_ && cbStartAtLogin->isChecked() != autostart_->Enabled()) {
        return autostart_->SetEnabled(cbStartAtLogin->isChecked());
    }
    return {};
}
