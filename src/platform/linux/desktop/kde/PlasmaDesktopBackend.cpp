#include "platform/linux/desktop/kde/PlasmaDesktopBackend.h"

#include <FreeImage.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using TScreen = TPlasmaDesktopBackend::TScreen;

const QString kService = QStringLiteral("org.kde.plasmashell");
const QString kPath = QStringLiteral("/PlasmaShell");
const QString kInterface = QStringLiteral("org.kde.PlasmaShell");
const QString kImagePlugin = QStringLiteral("org.kde.image");
const QString kPluginKey = QStringLiteral("wallpaperPlugin");
const QString kImage = QStringLiteral("Image");
const QString kFillMode = QStringLiteral("FillMode");
constexpr int kTimeoutMs = 10000;
constexpr uint kMaxScreens = 16;

// org.kde.image's FillMode: 0 stretch, 1 fit, 2 crop (its default), 3 tile,
// 4 and 5 tile one way, 6 centred. Tiles are laid here (see TiledCopy).
int FillModeOf(int placement) {
    return placement == dpStretch ? 0 : 6;
}

// The URL of a path: every byte but '/' and the unreserved characters
// percent-encoded, so that any byte, UTF-8 or not, comes back unchanged.
QString FileUrl(const std::string& path) {
    return QStringLiteral("file://") +
           QString::fromLatin1(QByteArray::fromStdString(path).toPercentEncoding("/"));
}

std::string LocalPath(const QString& image) {
    if (image.startsWith(QStringLiteral("file://"))) {
        return QByteArray::fromPercentEncoding(image.mid(7).toUtf8()).toStdString();
    }
    return image.toUtf8().toStdString();
}

// A JavaScript string literal that holds `text` whatever it contains: only
// printable ASCII stays as it is, everything else becomes a \u escape, so no
// quote, backslash, line break or U+2028 can end the literal.
QString JsString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += QLatin1Char('\\') + c;
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        }
    }
    return out + QLatin1Char('"');
}

// A configuration value as a script literal; nothing for values a script
// cannot write.
std::optional<QString> JsValue(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::QString:
            return JsString(value.toString());
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double: {
            const double d = value.toDouble();
            if (!std::isfinite(d)) {
                return std::nullopt;
            }
            return QString::number(d, 'g', 17);
        }
        case QMetaType::QStringList: {
            QStringList items;
            for (const QString& item : value.toStringList()) {
                items.append(JsString(item));
            }
            return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
        }
        default:
            return std::nullopt;
    }
}

// A value of the saved record back as what D-Bus and scripts take; nothing
// for a value no configuration holds.
std::optional<QVariant> FromJson(const QJsonValue& value) {
    if (value.isString() || value.isBool()) {
        return value.toVariant();
    }
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 2147483648.0) {
            return QVariant(int(d));
        }
        return QVariant(d);
    }
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue& item : value.toArray()) {
            if (!item.isString()) {
                return std::nullopt;
            }
            items.append(item.toString());
        }
        return QVariant(items);
    }
    return std::nullopt;
}

// Lists the screens' plugins and General groups as JSON.
const char* const kReadScript = R"((function () {
    var out = [];
    var all = desktops();
    for (var i = 0; i < all.length; i++) {
        var d = all[i];
        var plugin = d.wallpaperPlugin;
        d.currentConfigGroup = ['Wallpaper', plugin, 'General'];
        var config = {};
        var keys = d.configKeys;
        for (var k = 0; k < keys.length; k++) {
            config[keys[k]] = d.readConfig(keys[k]);
        }
        out.push({plugin: plugin, config: config});
    }
    print('vantoria-output:' + JSON.stringify(out));
})();)";

}  // namespace

TPlasmaDesktopBackend::TPlasmaDesktopBackend(std::string dataFolder,
                                             std::function<TScreenSize()> screenSize)
    : dataFolder_(std::move(dataFolder)), screenSize_(std::move(screenSize)) {}

// Asking the bus who owns the name is quick; a call to a name nobody owns
// would only fail, and one to a hung shell would wait for the whole timeout.
bool TPlasmaDesktopBackend::Reachable() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        lastError_ = "KDE Plasma cannot be reached: no D-Bus session bus";
        return false;
    }
    const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(kService);
    if (!owned.isValid() || !owned.value()) {
        lastError_ = "KDE Plasma is not running: nothing owns " + kService.toStdString() +
                     " on the session bus";
        return false;
    }
    return true;
}

bool TPlasmaDesktopBackend::Call(const QString& method, const QVariantList& args,
                                 QVariant* result) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString text = reply.errorMessage();
        forbidden_ = text.contains(QStringLiteral("Widgets are locked")) ||
                     text.contains(QStringLiteral("Administrative policies prevent script"));
        const std::string what =
            forbidden_ ? "forbids changes" : "did not answer " + method.toStdString();
        lastError_ = "KDE Plasma " + what + ": " + text.toStdString();
        return false;
    }
    forbidden_ = false;
    if (result && !reply.arguments().isEmpty()) {
        *result = reply.arguments().first();
    }
    return true;
}

// What the script printed after its marker: Plasma returns its own warnings
// in the same text.
std::optional<QString> TPlasmaDesktopBackend::Evaluate(const QString& script) {
    QVariant printed;
    if (!Call(QStringLiteral("evaluateScript"), {script}, &printed)) {
        return std::nullopt;
    }
    const QString text = printed.toString();
    const QString marker = QStringLiteral("vantoria-output:");
    const qsizetype at = text.indexOf(marker);
    return at < 0 ? QString() : text.mid(at + marker.size()).trimmed();
}

bool TPlasmaDesktopBackend::HasTypedApi() {
    if (typedApi_) {
        return *typedApi_;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;  // asked again next time
    }
    bool setter = false;
    bool getter = false;
    QString interface;
    QXmlStreamReader xml(reply.arguments().first().toString());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QString name = xml.attributes().value(QStringLiteral("name")).toString();
        if (xml.name() == QStringLiteral("interface")) {
            interface = name;
        } else if (xml.name() == QStringLiteral("method") && interface == kInterface) {
            setter = setter || name == QStringLiteral("setWallpaper");
            getter = getter || name == QStringLiteral("wallpaper");
        }
    }
    typedApi_ = setter && getter;
    return *typedApi_;
}

std::optional<std::vector<TScreen>> TPlasmaDesktopBackend::ReadScreens(bool firstOnly) {
    std::vector<TScreen> screens;
    if (HasTypedApi()) {
        for (uint n = 0; n < (firstOnly ? 1 : kMaxScreens); ++n) {
            QVariant result;
            if (!Call(QStringLiteral("wallpaper"), {QVariant::fromValue(n)}, &result)) {
                return n == 0 ? std::nullopt : std::optional(screens);
            }
            QVariantMap config = qdbus_cast<QVariantMap>(result);
            if (config.isEmpty()) {
                break;  // no such screen
            }
            screens.push_back(TScreen{config.take(kPluginKey).toString(), config});
        }
        return screens;
    }
    const std::optional<QString> printed = Evaluate(QString::fromUtf8(kReadScript));
    if (!printed) {
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(printed->toUtf8(), &error);
    if (!doc.isArray()) {
        lastError_ =
            "KDE Plasma's list of desktops cannot be read: " + error.errorString().toStdString();
        return std::nullopt;
    }
    for (const QJsonValue& item : doc.array()) {
        const QJsonObject object = item.toObject();
        screens.push_back(
            TScreen{object.value(QStringLiteral("plugin")).toString(),
                    object.value(QStringLiteral("config")).toObject().toVariantMap()});
        if (firstOnly) {
            break;
        }
    }
    return screens;
}

bool TPlasmaDesktopBackend::WriteScreens(const std::vector<TScreen>& screens, bool everyScreen) {
    if (HasTypedApi()) {
        bool ok = true;
        uint n = 0;
        for (; n < (everyScreen ? kMaxScreens : uint(screens.size())); ++n) {
            if (everyScreen) {
                QVariant present;
                if (!Call(QStringLiteral("wallpaper"), {QVariant::fromValue(n)}, &present) ||
                    qdbus_cast<QVariantMap>(present).isEmpty()) {
                    break;
                }
            }
            const TScreen& screen = screens[everyScreen ? 0 : n];
            ok = Call(QStringLiteral("setWallpaper"),
                      {screen.plugin, screen.config, QVariant::fromValue(n)}) &&
                 ok;
        }
        if (n > 0 || forbidden_) {
            return ok && n > 0;
        }
        // A shell that reports no screen still has its desktops for scripts.
    }
    QStringList records;
    for (const TScreen& screen : screens) {
        QStringList entries;
        for (auto it = screen.config.cbegin(); it != screen.config.cend(); ++it) {
            const std::optional<QString> value = JsValue(it.value());
            if (value) {
                entries.append(QStringLiteral("[%1, %2]").arg(JsString(it.key()), *value));
            }
        }
        records.append(QStringLiteral("{plugin: %1, config: [%2]}")
                           .arg(JsString(screen.plugin), entries.join(QStringLiteral(", "))));
    }
    const QString script = QStringLiteral(R"((function () {
    var records = [%1];
    var all = desktops();
    for (var i = 0; i < all.length; i++) {
        var r = records[%2];
        if (!r) {
            break;
        }
        var d = all[i];
        d.wallpaperPlugin = r.plugin;
        d.currentConfigGroup = ['Wallpaper', r.plugin, 'General'];
        for (var k = 0; k < r.config.length; k++) {
            d.writeConfig(r.config[k][0], r.config[k][1]);
        }
    }
})();)")
                               .arg(records.join(QStringLiteral(",\n")),
                                    everyScreen ? QStringLiteral("0") : QStringLiteral("i"));
    return Evaluate(script).has_value();
}

bool TPlasmaDesktopBackend::ChangesForbidden() {
    if (!Reachable()) {
        return false;  // nothing to ask; the changes themselves will fail
    }
    return !Evaluate(QStringLiteral("print('')")) && forbidden_;
}

bool TPlasmaDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    // Plasma keeps the placement with the picture: both are written together.
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

std::optional<TScreen> TPlasmaDesktopBackend::ImageScreen(const std::string& file, TScreenSize size,
                                                          int slot) {
    std::string shown = file;
    // Plasma pads a centred picture at its logical size (twice as large at
    // 2x); stretched, a bitmap of the screen's size in device pixels covers
    // it pixel for pixel.
    int fillMode = screenSized_ && placement_ == dpCenter ? 0 : FillModeOf(placement_);
    if (placement_ == dpTile) {
        const std::optional<std::string> tiled = TiledCopy(file, size, slot);
        if (!tiled) {
            return std::nullopt;
        }
        shown = *tiled;
        fillMode = 0;
    }
    return TScreen{kImagePlugin, {{kImage, FileUrl(shown)}, {kFillMode, fillMode}}};
}

bool TPlasmaDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    if (!Reachable()) {
        return false;
    }
    if (file.empty()) {
        // No picture: the plain colour plugin.
        return WriteScreens({TScreen{QStringLiteral("org.kde.color"), {}}}, true);
    }
    const std::optional<TScreen> screen =
        ImageScreen(file, screenSize_ ? screenSize_() : TScreenSize{});
    return screen && WriteScreens({*screen}, true);
}

// Plasma's desktops are matched to the monitors by the geometry of their
// screens: the same box, else the same top left corner, else the monitor of
// the screen's number.
bool TPlasmaDesktopBackend::SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool) {
    if (files.empty()) {
        lastError_ = "no monitor to show a wallpaper on";
        return false;
    }
    if (!Reachable()) {
        return false;
    }
    QStringList records;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const TMonitor& m = files[i].monitor;
        const std::optional<TScreen> screen =
            files[i].file.empty()
                ? std::optional(TScreen{QStringLiteral("org.kde.color"), {}})
                : ImageScreen(files[i].file, TScreenSize{m.width, m.height}, int(i));
        if (!screen) {
            return false;
        }
        QStringList entries;
        for (auto it = screen->config.cbegin(); it != screen->config.cend(); ++it) {
            entries.append(
                QStringLiteral("[%1, %2]")
                    .arg(JsString(it.key()), JsValue(it.value()).value_or(QStringLiteral("null"))));
        }
        records.append(QStringLiteral("{x: %1, y: %2, w: %3, h: %4, plugin: %5, config: [%6]}")
                           .arg(m.x)
                           .arg(m.y)
                           .arg(m.width)
                           .arg(m.height)
                           .arg(JsString(screen->plugin), entries.join(QStringLiteral(", "))));
    }
    const QString script = QStringLiteral(R"((function () {
    var records = [%1];
    var all = desktops();
    var shown = 0;
    for (var i = 0; i < all.length; i++) {
        var d = all[i];
        if (d.screen < 0) {
            continue;
        }
        var g = screenGeometry(d.screen);
        var r = null;
        for (var k = 0; k < records.length && !r; k++) {
            var c = records[k];
            if (c.x == g.x && c.y == g.y && c.w == g.width && c.h == g.height) {
                r = c;
            }
        }
        for (var k = 0; k < records.length && !r; k++) {
            if (records[k].x == g.x && records[k].y == g.y) {
                r = records[k];
            }
        }
        if (!r) {
            r = records[d.screen];
        }
        if (!r) {
            continue;
        }
        d.wallpaperPlugin = r.plugin;
        d.currentConfigGroup = ['Wallpaper', r.plugin, 'General'];
        for (var k = 0; k < r.config.length; k++) {
            d.writeConfig(r.config[k][0], r.config[k][1]);
        }
        shown++;
    }
    print('vantoria-output:' + shown);
})();)")
                               .arg(records.join(QStringLiteral(",\n")));
    const std::optional<QString> shown = Evaluate(script);
    if (!shown) {
        return false;
    }
    if (shown->toInt() == 0) {
        lastError_ = "KDE Plasma has no desktop on any of the monitors";
        return false;
    }
    return true;
}

// Screen 0's wallpaper; an empty plugin when there is none.
std::optional<TScreen> TPlasmaDesktopBackend::FirstScreen() {
    if (!Reachable()) {
        return std::nullopt;
    }
    const std::optional<std::vector<TScreen>> screens = ReadScreens(true);
    if (!screens) {
        return std::nullopt;
    }
    if (screens->empty()) {
        // A shell still starting has made no desktop yet: what it will show
        // is not known.
        lastError_ = "KDE Plasma is not running yet: it has no desktop";
        return std::nullopt;
    }
    return screens->front();
}

bool TPlasmaDesktopBackend::Present() {
    const std::string error = lastError_;
    // A shell that refuses scripts by policy is there all the same.
    const bool present = FirstScreen().has_value() || (Reachable() && forbidden_);
    if (present) {
        lastError_ = error;
    }
    return present;
}

std::optional<std::string> TPlasmaDesktopBackend::CurrentWallpaperFile() {
    const std::optional<TScreen> screen = FirstScreen();
    if (!screen || screen->plugin != kImagePlugin) {
        return screen ? std::optional(std::string()) : std::nullopt;
    }
    const std::string path = LocalPath(screen->config.value(kImage).toString());
    // The tiled copy stands for the converted bitmap it was made from.
    if (path == dataFolder_ + "/vantoria-tiled-1.bmp" ||
        path == dataFolder_ + "/vantoria-tiled-2.bmp") {
        return dataFolder_ + "/vantoria.bmp";
    }
    return path;
}

std::optional<int> TPlasmaDesktopBackend::CurrentPlacement() {
    const std::optional<TScreen> screen = FirstScreen();
    if (!screen) {
        return std::nullopt;
    }
    if (screen->plugin != kImagePlugin || !screen->config.contains(kFillMode)) {
        return dpOther;  // Plasma's default is crop
    }
    switch (screen->config.value(kFillMode).toInt()) {
        case 0:
            return dpStretch;
        case 3:
            return dpTile;
        case 6:
            return dpCenter;
        default:
            return dpOther;
    }
}

// The record: {"screens": [{"plugin": ..., "config": {key: value...}}...]}.
std::string TPlasmaDesktopBackend::SaveState() {
    if (!Reachable()) {
        return std::string();
    }
    const std::optional<std::vector<TScreen>> screens = ReadScreens(false);
    if (!screens || screens->empty()) {
        return std::string();
    }
    QJsonArray list;
    for (const TScreen& screen : *screens) {
        QJsonObject config;
        for (auto it = screen.config.cbegin(); it != screen.config.cend(); ++it) {
            const QJsonValue value = QJsonValue::fromVariant(it.value());
            if (!value.isNull() && !value.isUndefined() && FromJson(value)) {
                config.insert(it.key(), value);
            }
        }
        list.append(QJsonObject{{QStringLiteral("plugin"), screen.plugin},
                                {QStringLiteral("config"), config}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("screens"), list}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

bool TPlasmaDesktopBackend::RestoreState(const std::string& state) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(state));
    const QJsonArray list = doc.object().value(QStringLiteral("screens")).toArray();
    std::vector<TScreen> screens;
    bool damaged = list.isEmpty();
    for (const QJsonValue& item : list) {
        const QJsonValue plugin = item.toObject().value(QStringLiteral("plugin"));
        const QJsonValue config = item.toObject().value(QStringLiteral("config"));
        damaged =
            damaged || !plugin.isString() || plugin.toString().isEmpty() || !config.isObject();
        TScreen screen{plugin.toString(), {}};
        const QJsonObject entries = config.toObject();
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
            const std::optional<QVariant> value = FromJson(it.value());
            damaged = damaged || !value;
            screen.config.insert(it.key(), value.value_or(QVariant()));
        }
        // Values written since are put back to the plugin's defaults.
        if (screen.plugin == kImagePlugin) {
            screen.config.insert(kImage, screen.config.value(kImage, QString()));
            screen.config.insert(kFillMode, screen.config.value(kFillMode, 2));
        }
        screens.push_back(std::move(screen));
    }
    if (damaged) {
        lastError_ = "the record of the KDE Plasma wallpaper is damaged";
        return false;
    }
    return Reachable() && WriteScreens(screens, false);
}

// The picture repeated from the top left corner over a bitmap of the screen's
// size, saved under one of two names in turn so that Plasma reloads it.
std::optional<std::string> TPlasmaDesktopBackend::TiledCopy(const std::string& file,
                                                            TScreenSize size, int slot) {
    if (size.width <= 0 || size.height <= 0) {
        lastError_ = "the screen size is unknown, so the picture cannot be tiled";
        return std::nullopt;
    }
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(file.c_str(), 0);
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(file.c_str());
    }
    FIBITMAP* loaded = fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, file.c_str(), 0);
    FIBITMAP* tile = loaded ? FreeImage_ConvertTo24Bits(loaded) : nullptr;
    FreeImage_Unload(loaded);
    FIBITMAP* out = tile ? FreeImage_Allocate(size.width, size.height, 24) : nullptr;
    if (!out) {
        FreeImage_Unload(tile);
        lastError_ = "the picture to tile cannot be read: " + file;
        return std::nullopt;
    }
    const int w = int(FreeImage_GetWidth(tile));
    const int h = int(FreeImage_GetHeight(tile));
    for (int y = 0; y < size.height; ++y) {
        // FreeImage keeps the bottom row first.
        const BYTE* from = FreeImage_GetScanLine(tile, h - 1 - y % h);
        BYTE* to = FreeImage_GetScanLine(out, size.height - 1 - y);
        for (int x = 0; x < size.width; x += w) {
            std::memcpy(to + 3 * x, from, 3 * std::size_t(std::min(w, size.width - x)));
        }
    }
    const std::string base =
        slot == 0 ? "/vantoria-tiled-" : "/vantoria-tiled-" + std::to_string(slot) + "-";
    const std::string name =
        dataFolder_ + base + (tiledCopies_[slot]++ % 2 == 0 ? "1.bmp" : "2.bmp");
    const bool saved = FreeImage_Save(FIF_BMP, out, name.c_str(), 0);
    FreeImage_Unload(out);
    FreeImage_Unload(tile);
    if (!saved) {
        lastError_ = "the tiled picture cannot be written to " + name;
        return std::nullopt;
    }
    return name;
}
