#include "platform/linux/tray/TrayHostMonitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>

#include "platform/linux/tray/X11TraySelection.h"

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kHostPrefix = QStringLiteral("org.kde.StatusNotifierHost-");
constexpr int kXEmbedPollMs = 1000;

void* X11Display() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

}  // namespace

TLinuxTrayHostMonitor::TLinuxTrayHostMonitor(QObject* parent) : TTrayHostMonitor(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        watcher_.setConnection(bus);
        watcher_.addWatchedService(kWatcher);
        // A new owner is a new watcher: its hosts are asked for again.
        connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    namedHostsSeen_ = !hostNames_.isEmpty();
                    if (owner.isEmpty()) {
                        ++questions_;
                        SetStatusNotifierHost(false);
                    } else {
                        AskHostRegistered();
                    }
                });
        // Every name's owner change, of which only the hosts' count.
        bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                    QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"),
                    this, SLOT(NameOwnerChanged(QString, QString, QString)));
        const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
        for (const QString& name : names.value()) {
            if (name.startsWith(kHostPrefix)) {
                hostNames_.insert(name);
                namedHostsSeen_ = true;
            }
        }
        for (const char* signal :
             {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
            bus.connect(kWatcher, kWatcherPath, kWatcher, QLatin1String(signal), this,
                        SLOT(AskHostRegistered()));
        }
        bus.connect(kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this, SLOT(AskHostRegistered()));
        statusNotifierHost_ = HostRegisteredNow();
    }
    if (X11Display()) {
        xembedPoll_.setInterval(kXEmbedPollMs);
        connect(&xembedPoll_, &QTimer::timeout, this, &TLinuxTrayHostMonitor::CheckXEmbed);
        xembedPoll_.start();
        xembed_ = X11TraySelectionOwned(X11Display());
    }
    Update();
}

TTrayHostMonitor::THost TLinuxTrayHostMonitor::Host() const {
    return host_;
}

namespace {

QDBusMessage HostRegisteredQuestion() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({kWatcher, QStringLiteral("IsStatusNotifierHostRegistered")});
    return get;
}

}  // namespace

// The answer at start, so that an autoplay start goes straight to a tray
// that is there; bounded, so that a hung panel delays the start by little.
bool TLinuxTrayHostMonitor::HostRegisteredNow() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(kWatcher);
    if (!owned.isValid() || !owned.value()) {
        return false;
    }
    const QDBusMessage reply = bus.call(HostRegisteredQuestion(), QDBus::Block, 1500);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qdbus_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

void TLinuxTrayHostMonitor::AskHostRegistered() {
    const QDBusMessage get = HostRegisteredQuestion();
    // Asynchronous: a hung panel never blocks the program.
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    const unsigned question = ++questions_;
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (question != questions_) {
                    return;
                }
                const QDBusPendingReply<QDBusVariant> reply = *done;
                SetStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
            });
}

void TLinuxTrayHostMonitor::SetStatusNotifierHost(bool registered) {
    statusNotifierHost_ = registered;
    Update();
}

void TLinuxTrayHostMonitor::CheckXEmbed() {
    if (void* display = X11Display()) {
        xembed_ = X11TraySelectionOwned(display);
        Update();
    }
}

void TLinuxTrayHostMonitor::Update() {
    const bool named = !namedHostsSeen_ || !hostNames_.isEmpty();
    const THost host = statusNotifierHost_ && named ? thStatusNotifier
                       : xembed_                    ? thXEmbed
                                                    : thNone;
    if (host != host_) {
        host_ = host;
        emit hostChanged();
    }
}

void TLinuxTrayHostMonitor::NameOwnerChanged(const QString& name, const QString&,
                                             const QString& owner) {
    if (!name.startsWith(kHostPrefix)) {
        return;
    }
    if (owner.isEmpty()) {
        hostNames_.remove(name);
    } else {
        hostNames_.insert(name);
        namedHostsSeen_ = true;
    }
    Update();
}
