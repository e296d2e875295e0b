#include "platform/linux/desktop/xfce/XfconfDesktopBackend.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <algorithm>
#include <set>

#include "platform/linux/desktop/xfce/XfdesktopMarks.h"

Q_LOGGING_CATEGORY(lcXfce, "vantoria.desktop.xfce", QtWarningMsg)

namespace {

using Clock = std::chrono::steady_clock;

// How long a load of xfdesktop's is awaited at most: here, on two busy cores,
// it draws a 1920x1080 bitmap about 0.25 s after the change and a 3840x2160
// one about 0.5 s after; a desktop that has not drawn by then is not waited for.
constexpr std::chrono::milliseconds kLoadBound{3000};

const QString kService = QStringLiteral("org.xfce.Xfconf");
const QString kPath = QStringLiteral("/org/xfce/Xfconf");
const QString kInterface = QStringLiteral("org.xfce.Xfconf");
const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kImage = QStringLiteral("/last-image");
const QString kStyle = QStringLiteral("/image-style");
const QString kXfdesktop = QStringLiteral("org.xfce.xfdesktop");

// image-style: 0 none, 1 centred, 2 tiled, 3 stretched, 4 scaled, 5 zoomed, 6 spanning.
int StyleOfPlacement(int placement) {
    switch (placement) {
        case dpTile:
            return 2;
        case dpStretch:
            return 3;
        default:
            return 1;
    }
}

// A path as a D-Bus string, which must be UTF-8; nothing for other bytes.
std::optional<QString> Utf8Path(const std::string& path) {
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

TXfconfDesktopBackend::TXfconfDesktopBackend() : marks_(std::make_unique<TXfdesktopMarks>()) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    if (const QDBusConnectionInterface* names = bus.interface()) {
        xfdesktop_ = names->isServiceRegistered(kXfdesktop);
    }
    // Both need an event loop: without one, xfdesktop's presence is the one
    // found now and the marks are taken when awaited.
    if (!QCoreApplication::instance()) {
        return;
    }
    watcher_ = std::make_unique<QDBusServiceWatcher>(
        kXfdesktop, bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered,
                     [this] { XfdesktopOnBus(true); });
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered,
                     [this] { XfdesktopOnBus(false); });
    if (marks_->Available()) {
        notifier_ = std::make_unique<QSocketNotifier>(marks_->Socket(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { marks_->Count(); });
    }
}

TXfconfDesktopBackend::~TXfconfDesktopBackend() = default;

void TXfconfDesktopBackend::XfdesktopOnBus(bool present) {
    if (present == xfdesktop_) {
        return;
    }
    xfdesktop_ = present;
    const std::uint64_t marks = marks_->Count();
    if (!present) {
        qCWarning(lcXfce, "xfdesktop left the session bus: no wallpaper is drawn until it returns");
        awaited_.reset();
        marksAtLeave_ = marks;
        return;
    }
    // It draws every monitor from the keys it finds: loads under way.
    qCInfo(lcXfce, "xfdesktop is back on the session bus");
    awaited_ = marksAtLeave_ + marks_->MonitorNames().size();
    awaitedSince_ = Clock::now();
}

void TXfconfDesktopBackend::Settle() {
    if (!awaited_) {
        return;
    }
    const std::uint64_t awaited = *awaited_;
    awaited_.reset();
    if (!xfdesktop_) {
        return;
    }
    const bool drawn = marks_->WaitFor(awaited, awaitedSince_ + kLoadBound);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - awaitedSince_);
    if (drawn) {
        qCDebug(lcXfce, "xfdesktop drew the change %lld ms after it", (long long)took.count());
    } else {
        qCWarning(lcXfce, "xfdesktop did not finish drawing within %lld ms of the change",
                  (long long)took.count());
    }
}

bool TXfconfDesktopBackend::Write(const std::vector<TBackdropKeys>& plan) {
    Settle();
    // xfdesktop loads a backdrop at a change only where it shows it: on a
    // monitor it draws, in the workspace shown.
    const bool watched = xfdesktop_ && marks_->Available();
    QSet<QString> monitors;
    int workspace = 0;
    if (watched) {
        for (const std::string& name : marks_->MonitorNames()) {
            monitors.insert(QString::fromStdString(name));
        }
        workspace = marks_->CurrentWorkspace();
    }
    static const QRegularExpression kShown(
        QStringLiteral("^/backdrop/screen0/monitor([^/]+)/workspace(\\d+)$"));
    std::size_t steps = 0;
    for (const TBackdropKeys& backdrop : plan) {
        steps = std::max(steps, backdrop.keys.size());
    }
    bool ok = true;
    for (std::size_t step = 0; step < steps; ++step) {
        Settle();
        const std::uint64_t before = marks_->Count();
        std::uint64_t loads = 0;
        for (const TBackdropKeys& backdrop : plan) {
            if (step >= backdrop.keys.size()) {
                continue;
            }
            const auto& [property, value] = backdrop.keys[step];
            const bool written =
                value ? SetProperty(property, *value)
                      : Call(QStringLiteral("ResetProperty"), {kChannel, property, false});
            ok = written && ok;
            const QRegularExpressionMatch shown = kShown.match(backdrop.prefix);
            if (written && watched && shown.hasMatch() && monitors.contains(shown.captured(1)) &&
                shown.captured(2).toInt() == workspace) {
                qCDebug(lcXfce, "xfdesktop loads the backdrop of %s", qUtf8Printable(property));
                ++loads;
            }
        }
        if (loads > 0) {
            awaited_ = before + loads;
            awaitedSince_ = Clock::now();
        }
    }
    return ok;
}

bool TXfconfDesktopBackend::Call(const QString& method, const QVariantList& args,
                                 QVariant* result) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        lastError_ = "xfconf " + method.toStdString() + ": " + reply.errorMessage().toStdString();
        return false;
    }
    if (result && !reply.arguments().isEmpty()) {
        *result = reply.arguments().first();
    }
    return true;
}

QStringList TXfconfDesktopBackend::Backdrops() {
    QVariant result;
    QStringList prefixes;
    if (!Call(QStringLiteral("GetAllProperties"), {kChannel, QStringLiteral("/backdrop")},
              &result)) {
        return prefixes;
    }
    QMap<QString, QVariant> properties;
    const QDBusArgument argument = result.value<QDBusArgument>();
    argument >> properties;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QString& name = it.key();
        if (name.endsWith(kImage) && name.startsWith(QStringLiteral("/backdrop/screen"))) {
            prefixes.append(name.left(name.size() - kImage.size()));
        }
    }
    prefixes.sort();
    return prefixes;
}

bool TXfconfDesktopBackend::SetProperty(const QString& property, const QVariant& value) {
    return Call(QStringLiteral("SetProperty"),
                {kChannel, property, QVariant::fromValue(QDBusVariant(value))});
}

std::optional<QVariant> TXfconfDesktopBackend::GetProperty(const QString& property) {
    QVariant result;
    if (!Call(QStringLiteral("GetProperty"), {kChannel, property}, &result)) {
        return std::nullopt;
    }
    return result.value<QDBusVariant>().variant();
}

bool TXfconfDesktopBackend::ChangesForbidden() {
    const QStringList backdrops = Backdrops();
    for (const QString& prefix : backdrops) {
        QVariant locked;
        if (Call(QStringLiteral("IsPropertyLocked"), {kChannel, prefix + kImage}, &locked) &&
            locked.toBool()) {
            lastError_ = "the xfconf property " + (prefix + kImage).toStdString() + " is locked";
            return true;
        }
    }
    return false;
}

bool TXfconfDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    // Written with the next picture: a style written alone is a load of its own.
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

TXfconfDesktopBackend::TBackdropKeys TXfconfDesktopBackend::ShowOn(const QString& prefix,
                                                                   const QString& path) {
    TBackdropKeys backdrop{prefix, {}};
    const std::optional<QVariant> image = GetProperty(prefix + kImage);
    if (!image || image->toString() != path) {
        backdrop.keys.emplace_back(prefix + kImage, path);
    }
    const std::optional<QVariant> style = GetProperty(prefix + kStyle);
    if (!style || style->toInt() != StyleOfPlacement(placement_)) {
        backdrop.keys.emplace_back(prefix + kStyle, StyleOfPlacement(placement_));
    }
    return backdrop;
}

TXfconfDesktopBackend::TBackdropKeys TXfconfDesktopBackend::ShowNone(const QString& prefix) {
    TBackdropKeys backdrop{prefix, {}};
    const std::optional<QVariant> style = GetProperty(prefix + kStyle);
    if (!style || style->toInt() != 0) {
        backdrop.keys.emplace_back(prefix + kStyle, 0);
    }
    return backdrop;
}

bool TXfconfDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    QStringList backdrops = Backdrops();
    if (backdrops.isEmpty()) {
        if (!lastError_.empty() && lastError_.rfind("xfconf", 0) == 0) {
            return false;  // xfconf is not reachable
        }
        // A desktop that never had a wallpaper set lists none yet.
        backdrops.append(QStringLiteral("/backdrop/screen0/monitor0/workspace0"));
    }
    std::vector<TBackdropKeys> plan;
    if (file.empty()) {
        for (const QString& prefix : backdrops) {
            plan.push_back(ShowNone(prefix));
        }
        return Write(plan);
    }
    const std::optional<QString> path = Utf8Path(file);
    if (!path) {
        lastError_ = "the wallpaper path is not valid UTF-8, which xfconf cannot store";
        return false;
    }
    for (const QString& prefix : backdrops) {
        plan.push_back(ShowOn(prefix, *path));
    }
    return Write(plan);
}

bool TXfconfDesktopBackend::SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files,
                                                     bool persist) {
    const bool named = !files.empty() && std::all_of(files.begin(), files.end(), [](auto& f) {
        return !f.monitor.name.empty() && f.monitor.name.find('/') == std::string::npos;
    });
    if (!named) {
        // Monitors without names cannot be told apart: all show the first one's.
        if (files.empty()) {
            lastError_ = "no monitor to show a wallpaper on";
            return false;
        }
        return SetWallpaperFile(files.front().file, persist);
    }
    lastError_.clear();
    const QStringList backdrops = Backdrops();
    if (backdrops.isEmpty() && !lastError_.empty()) {
        return false;  // xfconf is not reachable
    }
    // Every workspace any monitor has a backdrop for, and the screen they are on.
    static const QRegularExpression kPrefix(
        QStringLiteral("^(/backdrop/screen\\d+)/monitor[^/]*/workspace(\\d+)$"));
    std::set<int> workspaces;
    QString screen = QStringLiteral("/backdrop/screen0");
    for (const QString& prefix : backdrops) {
        const QRegularExpressionMatch match = kPrefix.match(prefix);
        if (match.hasMatch()) {
            screen = match.captured(1);
            workspaces.insert(match.captured(2).toInt());
        }
    }
    if (workspaces.empty()) {
        workspaces.insert(0);
    }
    bool ok = true;
    std::vector<TBackdropKeys> plan;
    for (const TMonitorFile& file : files) {
        const std::optional<QString> path = Utf8Path(file.file);
        if (!path) {
            lastError_ = "the wallpaper path is not valid UTF-8, which xfconf cannot store";
            ok = false;
            continue;
        }
        const QString monitor = screen + QStringLiteral("/monitor") +
                                QString::fromUtf8(QByteArray::fromStdString(file.monitor.name));
        for (const int workspace : workspaces) {
            const QString prefix =
                monitor + QStringLiteral("/workspace") + QString::number(workspace);
            // An empty name: the monitor shows its colour only ("none").
            plan.push_back(file.file.empty() ? ShowNone(prefix) : ShowOn(prefix, *path));
        }
    }
    return Write(plan) && ok;
}

std::optional<std::string> TXfconfDesktopBackend::CurrentWallpaperFile() {
    lastError_.clear();
    const QStringList backdrops = Backdrops();
    if (backdrops.isEmpty()) {
        if (!lastError_.empty()) {
            return std::nullopt;
        }
        return std::string();
    }
    const std::optional<QVariant> image = GetProperty(backdrops.first() + kImage);
    if (!image) {
        return std::nullopt;
    }
    const std::optional<QVariant> style = GetProperty(backdrops.first() + kStyle);
    if (style && style->toInt() == 0) {
        return std::string();  // "none": the desktop shows its colour only
    }
    return image->toString().toStdString();
}

std::optional<int> TXfconfDesktopBackend::CurrentPlacement() {
    const QStringList backdrops = Backdrops();
    if (backdrops.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QVariant> style = GetProperty(backdrops.first() + kStyle);
    if (!style) {
        return std::nullopt;
    }
    switch (style->toInt()) {
        case 1:
            return dpCenter;
        case 2:
            return dpTile;
        case 3:
            return dpStretch;
        default:
            return dpOther;
    }
}

// One line per property: its name, a tab, "s", "i" or "-" (absent), a tab and
// the value percent-encoded, so that no byte of a path can break a line.
std::string TXfconfDesktopBackend::SaveState() {
    std::string state;
    for (const QString& prefix : Backdrops()) {
        for (const QString& suffix : {kImage, kStyle}) {
            const QString property = prefix + suffix;
            const std::optional<QVariant> value = GetProperty(property);
            QByteArray line = property.toUtf8() + '\t';
            if (!value) {
                line += "-\t";
            } else if (suffix == kStyle) {
                line += "i\t" + QByteArray::number(value->toInt());
            } else {
                line += "s\t" + value->toString().toUtf8().toPercentEncoding();
            }
            state += line.toStdString() + '\n';
        }
    }
    return state;
}

bool TXfconfDesktopBackend::RestoreState(const std::string& state) {
    bool ok = true;
    const QList<QByteArray> lines = QByteArray::fromStdString(state).split('\n');
    QSet<QString> recorded;
    // Each backdrop's style before its picture: the style changes while our
    // picture, which fills the monitor in every style, is still shown.
    std::vector<TBackdropKeys> plan;
    const auto keysOf = [&plan](const QString& prefix) -> TBackdropKeys& {
        for (TBackdropKeys& backdrop : plan) {
            if (backdrop.prefix == prefix) {
                return backdrop;
            }
        }
        return plan.emplace_back(TBackdropKeys{prefix, {}});
    };
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3) {
            continue;
        }
        const QString property = QString::fromUtf8(fields[0]);
        recorded.insert(property);
        // Only the backdrop's picture and style are ever written back.
        const bool image = property.endsWith(kImage);
        if (!property.startsWith(QStringLiteral("/backdrop/")) ||
            !(image || property.endsWith(kStyle))) {
            ok = false;
            continue;
        }
        std::optional<QVariant> value;
        if (fields[1] == "i") {
            value = fields[2].toInt();
        } else if (fields[1] == "s") {
            value = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
        } else if (fields[1] != "-") {
            ok = false;
            continue;
        }
        // Only what differs: xfdesktop loads the backdrop again at every change.
        const std::optional<QVariant> now = GetProperty(property);
        if (value ? now && (image ? now->toString() == value->toString()
                                  : now->toInt() == value->toInt())
                  : !now) {
            continue;
        }
        const QString prefix = property.left(property.size() - (image ? kImage : kStyle).size());
        auto& keys = keysOf(prefix).keys;
        keys.emplace(image ? keys.end() : keys.begin(), property, value);
    }
    // A monitor that had no backdrop of its own when the record was made
    // (one plugged in since) loses the keys made for it, as it was.
    if (ok && !recorded.isEmpty()) {
        for (const QString& prefix : Backdrops()) {
            for (const QString& suffix : {kStyle, kImage}) {
                if (!recorded.contains(prefix + suffix) && GetProperty(prefix + suffix)) {
                    keysOf(prefix).keys.emplace_back(prefix + suffix, std::nullopt);
                }
            }
        }
    }
    lastError_.clear();  // a key found absent is no failure
    ok = Write(plan) && ok;
    if (!ok && lastError_.empty()) {
        lastError_ = "the record of the XFCE wallpaper is damaged";
    }
    return ok;
}
