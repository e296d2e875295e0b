#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/TrayService.h"

// The tray icon on Qt's system tray (StatusNotifierItem where a tray host
// offers it, XEmbed otherwise). The icon is shown exactly while the program
// is in the tray; Qt docks it again into a tray host that restarts.
// The right button opens the popup menu, a double click runs the default
// command, a single left click does nothing.
class TCoolTrayIcon : public TTrayService {
    Q_OBJECT
public:
    explicit TCoolTrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~TCoolTrayIcon() override;

    void SetHint(const std::string& hint) override;
    std::string Hint() const override { return hint_; }
    void SetIconVisible(bool visible) override;
    bool IconVisible() const override { return visible_; }
    bool HostAvailable() const override;
    void SetPopupMenu(QMenu* menu) override;

    // What the tray shows right now.
    QString ToolTip() const { return icon_.toolTip(); }
    bool Shown() const { return icon_.isVisible(); }

    // The tooltip as the tray shows it: the first 127 bytes of the hint. A
    // UTF-8 hint is never cut inside a character, which would turn the whole
    // tooltip into a mess of Latin-1 letters.
    static std::string TipText(const std::string& hint);

    // A mouse notification from the tray host.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void CheckHost();

    QSystemTrayIcon icon_;
    // While in the tray: a tray host that goes away for good (not merely
    // restarting) would leave no window and no icon, so the window comes back.
    QTimer hostCheck_;
    int hostMissing_ = 0;
    QPointer<QMenu> menu_;
    std::string hint_ = "Vantoria";
    bool visible_ = false;
};
