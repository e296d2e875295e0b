#pragma once

#include <QPointer>
#include <QSystemTrayIcon>

#include "platform/TrayService.h"

// The tray icon on Qt's system tray (StatusNotifierItem where a tray host
// offers it, XEmbed otherwise).
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

    // The tooltip as the shell shows it: the first 127 bytes of the hint.
    static std::string TipText(const std::string& hint);

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon icon_;
    QPointer<QMenu> menu_;
    std::string hint_ = "Vantoria";
    bool visible_ = false;
};
