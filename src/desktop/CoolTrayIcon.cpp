#include "desktop/CoolTrayIcon.h"

#include <QMenu>

#include "platform/qt/QtMessageService.h"

namespace {

constexpr std::size_t kMaxTipBytes = 127;
constexpr int kHostCheckMs = 1500;
constexpr int kHostChecksBeforeGone = 2;

bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 0;
        if (len == 0 || i + len > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

}  // namespace

TCoolTrayIcon::TCoolTrayIcon(const QIcon& icon, QObject* parent) : TTrayService(parent) {
    icon_.setIcon(icon);
    icon_.setToolTip(DisplayText(TipText(hint_)));
    connect(&icon_, &QSystemTrayIcon::activated, this, &TCoolTrayIcon::OnActivated);
    hostCheck_.setInterval(kHostCheckMs);
    connect(&hostCheck_, &QTimer::timeout, this, &TCoolTrayIcon::CheckHost);
}

void TCoolTrayIcon::CheckHost() {
    if (!visible_ || HostAvailable()) {
        hostMissing_ = 0;
        return;
    }
    // A restarting host is back within one check; one that stays away is gone.
    if (++hostMissing_ >= kHostChecksBeforeGone) {
        hostCheck_.stop();
        emit restoreRequested();
    }
}

// No icon is left behind in the tray when the program ends.
TCoolTrayIcon::~TCoolTrayIcon() {
    icon_.hide();
}

std::string TCoolTrayIcon::TipText(const std::string& hint) {
    if (hint.size() <= kMaxTipBytes) {
        return hint;
    }
    std::string tip = hint.substr(0, kMaxTipBytes);
    if (IsValidUtf8(hint)) {
        // Drop the lead and continuation bytes of a character cut in two.
        std::size_t end = kMaxTipBytes;
        while (end > 0 && (static_cast<unsigned char>(hint[end]) & 0xC0) == 0x80) {
            --end;
        }
        tip.resize(end);
    }
    return tip;
}

void TCoolTrayIcon::SetHint(const std::string& hint) {
    // Shown at once while the icon is in the tray, at the next minimise otherwise.
    hint_ = hint;
    icon_.setToolTip(DisplayText(TipText(hint_)));
}

void TCoolTrayIcon::SetIconVisible(bool visible) {
    visible_ = visible;
    icon_.setVisible(visible);
    hostMissing_ = 0;
    if (visible) {
        hostCheck_.start();
    } else {
        hostCheck_.stop();
    }
}

bool TCoolTrayIcon::HostAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TCoolTrayIcon::SetPopupMenu(QMenu* menu) {
    menu_ = menu;
    icon_.setContextMenu(menu);
}

void TCoolTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // The right button's menu is opened by the tray itself (context menu);
    // a single left or middle click does nothing.
    if (reason == QSystemTrayIcon::DoubleClick) {
        emit restoreRequested();
    }
}
