#pragma once

#include <QDialog>

class QCheckBox;
class TAutostart;
struct TSettings;

// "More Options": what the settings dialog does not hold. The order of the
// show, the picture left at the end, a picture per monitor, a quiet start and
// the start at log-in.
// Opens with `settings` and the autostart entry as they are; Accept() puts
// the choices into `settings` and switches the autostart entry.
class TfrmMoreOptions : public QDialog {
    Q_OBJECT
public:
    TfrmMoreOptions(const TSettings& settings, TAutostart* autostart, QWidget* parent = nullptr);

    // The choices into `settings`; the autostart entry switched when it
    // changed. Empty on success, else why the entry could not be switched
    // (the other choices are taken all the same).
    std::string Apply(TSettings& settings);

    QCheckBox* cbShuffle = nullptr;
    QCheckBox* cbKeepWallpaper = nullptr;
    QCheckBox* cbMonitorSlides = nullptr;
    QCheckBox* cbStartInTray = nullptr;
    QCheckBox* cbStartAtLogin = nullptr;
    QCheckBox* cbRecursive = nullptr;

private:
    TAutostart* autostart_;
};
