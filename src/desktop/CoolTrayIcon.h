#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "platform/TrayHost.h"
#include "platform/TrayService.h"

// The tray icon on Qt's system tray (StatusNotifierItem where a tray host
// offers it, XEmbed otherwise). The icon is shown exactly while the program
// is in the tray. The right button opens the popup menu (a host's
// ContextMenu request too, at the pointer); a double click on
// an XEmbed tray, and the host's Activate on a StatusNotifierItem tray (which
// turns a click into Activate and knows no double click), run the default
// command; a single left click on an XEmbed tray does nothing.
//
// Qt decides once per process, at the first tray icon it makes, whether it
// speaks StatusNotifierItem; an icon made before any host exists would be an
// XEmbed one for good, which a StatusNotifierItem-only tray never shows. So
// the Qt icon is made only once the session has a tray host.
class TCoolTrayIcon : public TTrayService {
    Q_OBJECT
public:
    // `hosts` tells when tray hosts come and go.
    TCoolTrayIcon(const QIcon& icon, TTrayHostMonitor& hosts, QObject* parent = nullptr);
    ~TCoolTrayIcon() override;

    void SetHint(const std::string& hint) override;
    std::string Hint() const override { return hint_; }
    void SetIconVisible(bool visible) override;
    bool IconVisible() const override { return visible_; }
    bool HostAvailable() const override;
    void SetPopupMenu(QMenu* menu) override;
    void ShowNotice(const std::string& title, const std::string& text) override;

    // What the tray shows right now.
    QString ToolTip() const { return DisplayTip(); }
    bool Shown() const { return icon_ && icon_->isVisible(); }

    // The tooltip as the tray shows it: the first 127 bytes of the hint. A
    // UTF-8 hint is never cut inside a character, which would turn the whole
    // tooltip into a mess of Latin-1 letters.
    static std::string TipText(const std::string& hint);

    // How long a tray host may be away (a panel restarting) before the main
    // window is shown so that the program stays reachable.
    static constexpr int kHostGraceMs = 12000;

    // A mouse notification from the tray host.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

private:
    QString DisplayTip() const;
    void HostChanged();
    void ShowIcon();
    void PopMenu();

    QIcon picture_;
    TTrayHostMonitor& hosts_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    // While in the tray with no host: the window comes back when none
    // returns within the grace time.
    QTimer hostGone_;
    QPointer<QMenu> menu_;
    std::string hint_ = "Vantoria";
    bool visible_ = false;
};
