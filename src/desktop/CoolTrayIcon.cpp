#include "desktop/CoolTrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>

#include "platform/DesktopAccessory.h"

#include "platform/qt/QtMessageService.h"

namespace {

constexpr std::size_t kMaxTipBytes = 127;

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

TCoolTrayIcon::TCoolTrayIcon(const QIcon& icon, TTrayHostMonitor& hosts, QObject* parent)
    : TTrayService(parent), picture_(icon), hosts_(hosts) {
    hostGone_.setSingleShot(true);
    hostGone_.setInterval(kHostGraceMs);
    connect(&hostGone_, &QTimer::timeout, this, [this] {
        if (visible_ && !HostAvailable()) {
            emit restoreRequested();
        }
    });
    connect(&hosts_, &TTrayHostMonitor::hostChanged, this, &TCoolTrayIcon::HostChanged);
}

// No icon is left behind in the tray when the program ends.
TCoolTrayIcon::~TCoolTrayIcon() {
    if (icon_) {
        icon_->hide();
    }
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

QString TCoolTrayIcon::DisplayTip() const {
    return DisplayText(TipText(hint_));
}

void TCoolTrayIcon::SetHint(const std::string& hint) {
    // Shown at once while the icon is in the tray, at the next minimise otherwise.
    hint_ = hint;
    if (icon_) {
        icon_->setToolTip(DisplayTip());
    }
}

void TCoolTrayIcon::SetIconVisible(bool visible) {
    visible_ = visible;
    hostGone_.stop();
    if (visible) {
        ShowIcon();
    } else if (icon_) {
        icon_->hide();
    }
}

// Shown anew, so that the icon goes to the host there is now: a docked
// XEmbed window or an item registered with the watcher.
void TCoolTrayIcon::ShowIcon() {
    if (!HostAvailable()) {
        return;  // made and shown when a host comes
    }
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>(picture_);
        icon_->setToolTip(DisplayTip());
        icon_->setContextMenu(menu_);
        connect(icon_.get(), &QSystemTrayIcon::activated, this, &TCoolTrayIcon::OnActivated);
    }
    icon_->hide();
    icon_->show();
}

void TCoolTrayIcon::HostChanged() {
    if (!HostAvailable()) {
        // A panel that restarts is back within the grace time; one that
        // stays away would leave no window and no icon.
        if (visible_ && !hostGone_.isActive()) {
            hostGone_.start();
        }
        return;
    }
    hostGone_.stop();
    if (visible_) {
        ShowIcon();  // the state is unchanged: the icon simply comes back
    } else {
        emit hostAppeared();
    }
}

bool TCoolTrayIcon::HostAvailable() const {
    return hosts_.Host() != TTrayHostMonitor::thNone;
}

void TCoolTrayIcon::SetPopupMenu(QMenu* menu) {
    menu_ = menu;
    if (icon_) {
        icon_->setContextMenu(menu);
    }
}

void TCoolTrayIcon::ShowNotice(const std::string& title, const std::string& text) {
    // An icon not in the tray has nowhere to show a balloon from.
    if (icon_ && visible_ && HostAvailable()) {
        icon_->showMessage(DisplayText(title), DisplayText(text), QSystemTrayIcon::Warning);
    }
}

void TCoolTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // A StatusNotifierItem host sends Activate for a click, which Qt reports
    // as a trigger with none of this program's own mouse buttons down; an
    // XEmbed tray's trigger is this program's own button press, and there
    // only the double click that follows runs the default command.
    const bool fromHost = QGuiApplication::mouseButtons() == Qt::NoButton;
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && fromHost)) {
        emit restoreRequested();
    }
    // The right button's menu: an XEmbed tray's right press is this program's
    // own, and Qt has opened the menu already; hosts that read the item's
    // menu (Plasma, xfce4-panel) show it themselves. A host that only asks
    // for it (swaybar's ContextMenu) gets it at the pointer.
    if (reason == QSystemTrayIcon::Context && fromHost) {
        PopMenu();
    }
}

void TCoolTrayIcon::PopMenu() {
    if (!menu_ || menu_->isVisible()) {
        return;
    }
    // sway knows the menu, a window of its own there, by its title.
    if (menu_->windowTitle().isEmpty()) {
        menu_->setWindowTitle(tr("Vantoria menu"));
    }
    if (!PopUpMenuAtPointer(menu_)) {
        menu_->popup(QCursor::pos());
    }
}
