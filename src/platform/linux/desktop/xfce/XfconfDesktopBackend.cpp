#include "platform/linux/desktop/xfce/XfconfDesktopBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <set>

namespace {

const QString kService = QStringLiteral("org.xfce.Xfconf");
const QString kPath = QStringLiteral("/org/xfce/Xfconf");
const QString kInterface = QStringLiteral("org.xfce.Xfconf");
const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kImage = QStringLiteral("/last-image");
const QString kStyle = QStringLiteral("/image-style");

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

TXfconfDesktopBackend::TXfconfDesktopBackend() = default;

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
    if (placement != dpCenter && placement != dpTile && placement != dpStretch) {
        return true;
    }
    placement_ = placement;
    bool ok = true;
    for (const QString& prefix : Backdrops()) {
        const std::optional<QVariant> style = GetProperty(prefix + kStyle);
        if (!style || style->toInt() != StyleOfPlacement(placement_)) {
            ok = SetProperty(prefix + kStyle, StyleOfPlacement(placement_)) && ok;
        }
    }
    return ok;
}

bool TXfconfDesktopBackend::ShowOn(const QString& prefix, const QString& path) {
    bool ok = true;
    const std::optional<QVariant> style = GetProperty(prefix + kStyle);
    if (!style || style->toInt() != StyleOfPlacement(placement_)) {
        ok = SetProperty(prefix + kStyle, StyleOfPlacement(placement_));
    }
    const std::optional<QVariant> image = GetProperty(prefix + kImage);
    if (!image || image->toString() != path) {
        ok = SetProperty(prefix + kImage, path) && ok;
    }
    return ok;
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
    if (file.empty()) {
        bool ok = true;
        for (const QString& prefix : backdrops) {
            ok = SetProperty(prefix + kStyle, 0) && ok;
        }
        return ok;
    }
    const std::optional<QString> path = Utf8Path(file);
    if (!path) {
        lastError_ = "the wallpaper path is not valid UTF-8, which xfconf cannot store";
        return false;
    }
    bool ok = true;
    for (const QString& prefix : backdrops) {
        ok = ShowOn(prefix, *path) && ok;
    }
    return ok;
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
            ok =
                (file.file.empty() ? SetProperty(prefix + kStyle, 0) : ShowOn(prefix, *path)) && ok;
        }
    }
    return ok;
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
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3) {
            continue;
        }
        const QString property = QString::fromUtf8(fields[0]);
        recorded.insert(property);
        // Only the backdrop's picture and style are ever written back.
        if (!property.startsWith(QStringLiteral("/backdrop/")) ||
            !(property.endsWith(kImage) || property.endsWith(kStyle))) {
            ok = false;
            continue;
        }
        if (fields[1] == "-") {
            ok = Call(QStringLiteral("ResetProperty"), {kChannel, property, false}) && ok;
        } else if (fields[1] == "i") {
            ok = SetProperty(property, fields[2].toInt()) && ok;
        } else if (fields[1] == "s") {
            ok = SetProperty(property,
                             QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]))) &&
                 ok;
        } else {
            ok = false;
        }
    }
    // A monitor that had no backdrop of its own when the record was made
    // (one plugged in since) loses the keys made for it, as it was.
    if (ok && !recorded.isEmpty()) {
        for (const QString& prefix : Backdrops()) {
            for (const QString& suffix : {kImage, kStyle}) {
                if (!recorded.contains(prefix + suffix) && GetProperty(prefix + suffix)) {
                    ok =
                        Call(QStringLiteral("ResetProperty"), {kChannel, prefix + suffix, false}) &&
                        ok;
                }
            }
        }
    }
    if (!ok && lastError_.empty()) {
        lastError_ = "the record of the XFCE wallpaper is damaged";
    }
    return ok;
}
