#include "desktop/CoolTrayIcon.h"

#include <QMenu>

#include "platform/qt/QtMessageService.h"

TCoolTrayIcon::TCoolTrayIcon(const QIcon& icon, QObject* parent) : TTrayService(parent) {
    icon_.setIcon(icon);
    icon_.setToolTip(DisplayText(TipText(hint_)));
    connect(&icon_, &QSystemTrayIcon::activated, this, &TCoolTrayIcon::OnActivated);
}

TCoolTrayIcon::~TCoolTrayIcon() { icon_.hide(); }

std::string TCoolTrayIcon::TipText(const std::string& hint) { return hint.substr(0, 127); }

void TCoolTrayIcon::SetHint(const std::string& hint) {
    hint_ = hint;
    icon_.setToolTip(DisplayText(TipText(hint_)));
}

void TCoolTrayIcon::SetIconVisible(bool visible) {
    visible_ = visible;
    icon_.setVisible(visible);
}

bool TCoolTrayIcon::HostAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TCoolTrayIcon::SetPopupMenu(QMenu* menu) {
    menu_ = menu;
    icon_.setContextMenu(menu);
}

void TCoolTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit restoreRequested();
    }
}
