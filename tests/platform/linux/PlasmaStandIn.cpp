// A stand-in for plasmashell on the session bus: org.kde.plasmashell
// /PlasmaShell org.kde.PlasmaShell with evaluateScript, and with Plasma 6's
// typed wallpaper(u) and setWallpaper(sa{sv}u) when asked for. Its desktops
// live in a JSON state file ({"version", "desktops": [{"plugin", "groups"}]});
// scripts run in node against the same file (PlasmaScriptMock.js). Every call
// is appended to LOG as one JSON line: method, signature, arguments (a{sv}
// values as [D-Bus type, value]) and, for scripts, what the script did.
//
//   plasma_stand_in script|typed none|locked|kiosk STATE LOG MOCK_JS

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdio>

namespace {

QString TypeOf(const QVariant& v) {
    switch (v.metaType().id()) {
        case QMetaType::Int:
            return QStringLiteral("i");
        case QMetaType::UInt:
            return QStringLiteral("u");
        case QMetaType::QString:
            return QStringLiteral("s");
        case QMetaType::Bool:
            return QStringLiteral("b");
        case QMetaType::Double:
            return QStringLiteral("d");
        case QMetaType::LongLong:
            return QStringLiteral("x");
        default:
            return QString::fromLatin1(v.metaType().name());
    }
}

class TPlasmaShell : public QDBusVirtualObject {
public:
    TPlasmaShell(bool typed, QString refusal, QString state, QString log, QString mock)
        : typed_(typed),
          refusal_(std::move(refusal)),
          state_(std::move(state)),
          log_(std::move(log)),
          mock_(std::move(mock)) {}

    QString introspect(const QString&) const override {
        QString xml = QStringLiteral(
            "<interface name=\"org.kde.PlasmaShell\">"
            "<method name=\"evaluateScript\"><arg name=\"script\" type=\"s\" direction=\"in\"/>"
            "<arg type=\"s\" direction=\"out\"/></method>");
        if (typed_) {
            xml += QStringLiteral(
                "<method name=\"setWallpaper\"><arg name=\"wallpaperPlugin\" type=\"s\" "
                "direction=\"in\"/><arg name=\"parameters\" type=\"a{sv}\" direction=\"in\"/>"
                "<arg name=\"screenNum\" type=\"u\" direction=\"in\"/></method>"
                "<method name=\"wallpaper\"><arg name=\"screenNum\" type=\"u\" "
                "direction=\"in\"/><arg type=\"a{sv}\" direction=\"out\"/></method>");
        }
        return xml + QStringLiteral("</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.interface() != QStringLiteral("org.kde.PlasmaShell")) {
            return false;
        }
        QJsonObject entry{{"method", message.member()}, {"signature", message.signature()}};
        QDBusMessage reply;
        const QString member = message.member();
        if (member == QStringLiteral("evaluateScript") && message.signature() == "s") {
            reply = Evaluate(message, entry);
        } else if (typed_ && member == QStringLiteral("wallpaper") && message.signature() == "u") {
            const uint screen = message.arguments().value(0).toUInt();
            entry.insert("args", QJsonArray{double(screen)});
            reply = message.createReply(QVariant::fromValue(Wallpaper(screen)));
        } else if (typed_ && member == QStringLiteral("setWallpaper") &&
                   message.signature() == "sa{sv}u") {
            reply = SetWallpaper(message, entry);
        } else {
            reply = message.createErrorReply(QDBusError::UnknownMethod, member);
        }
        Log(entry);
        bus.send(reply);
        return true;
    }

private:
    QJsonObject Load() const {
        QFile file(state_);
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    void Save(const QJsonObject& state) const {
        QFile file(state_);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QJsonDocument(state).toJson());
    }
    void Log(const QJsonObject& entry) const {
        QFile file(log_);
        file.open(QIODevice::WriteOnly | QIODevice::Append);
        file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    }

    QVariantMap Wallpaper(uint screen) const {
        const QJsonArray desktops = Load().value("desktops").toArray();
        QVariantMap map;
        if (screen < uint(desktops.size())) {
            const QJsonObject desktop = desktops[int(screen)].toObject();
            const QString plugin = desktop.value("plugin").toString();
            map = desktop.value("groups")
                      .toObject()
                      .value(QStringLiteral("Wallpaper/%1/General").arg(plugin))
                      .toObject()
                      .toVariantMap();
            for (QVariant& value : map) {
                if (value.metaType().id() == QMetaType::Double) {
                    value = int(value.toDouble());  // the schema's integers
                }
            }
            map.insert(QStringLiteral("wallpaperPlugin"), plugin);
        }
        return map;
    }

    QDBusMessage SetWallpaper(const QDBusMessage& message, QJsonObject& entry) {
        const QString plugin = message.arguments().value(0).toString();
        const uint screen = message.arguments().value(2).toUInt();
        QJsonObject logged;
        QJsonObject values;
        const QDBusArgument map = message.arguments().value(1).value<QDBusArgument>();
        map.beginMap();
        while (!map.atEnd()) {
            QString key;
            QDBusVariant value;
            map.beginMapEntry();
            map >> key >> value;
            map.endMapEntry();
            logged.insert(
                key, QJsonArray{TypeOf(value.variant()), QJsonValue::fromVariant(value.variant())});
            values.insert(key, QJsonValue::fromVariant(value.variant()));
        }
        map.endMap();
        entry.insert("args", QJsonArray{plugin, logged, double(screen)});
        if (refusal_ == QStringLiteral("locked")) {
            return message.createErrorReply(QDBusError::Failed, "Widgets are locked");
        }
        QJsonObject state = Load();
        QJsonArray desktops = state.value("desktops").toArray();
        if (screen < uint(desktops.size())) {
            QJsonObject desktop = desktops[int(screen)].toObject();
            QJsonObject groups = desktop.value("groups").toObject();
            const QString name = QStringLiteral("Wallpaper/%1/General").arg(plugin);
            QJsonObject group = groups.value(name).toObject();
            for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
                group.insert(it.key(), it.value());
            }
            groups.insert(name, group);
            desktop.insert("groups", groups);
            desktop.insert("plugin", plugin);
            desktops[int(screen)] = desktop;
            state.insert("desktops", desktops);
            Save(state);
        }
        return message.createReply();
    }

    QDBusMessage Evaluate(const QDBusMessage& message, QJsonObject& entry) {
        const QString script = message.arguments().value(0).toString();
        entry.insert("args", QJsonArray{script});
        if (refusal_ == QStringLiteral("locked")) {
            return message.createErrorReply(QDBusError::Failed, "Widgets are locked");
        }
        if (refusal_ == QStringLiteral("kiosk")) {
            return message.createErrorReply(QDBusError::Failed,
                                            "Administrative policies prevent script execution");
        }
        QProcess node;
        node.start(QStringLiteral("node"), {mock_, state_});
        node.write(script.toUtf8());
        node.closeWriteChannel();
        node.waitForFinished(20000);
        const QJsonObject result = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
        entry.insert("mock", result);
        if (result.isEmpty() || result.contains("error")) {
            return message.createErrorReply(
                QDBusError::Failed, result.value("error").toString(node.readAllStandardError()));
        }
        return message.createReply(result.value("printed").toString());
    }

    bool typed_;
    QString refusal_;
    QString state_;
    QString log_;
    QString mock_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fputs("usage: plasma_stand_in script|typed none|locked|kiosk STATE LOG MOCK_JS\n",
                   stderr);
        return 2;
    }
    TPlasmaShell shell(args[1] == QStringLiteral("typed"), args[2], args[3], args[4], args[5]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(QStringLiteral("/PlasmaShell"), &shell) ||
        !bus.registerService(QStringLiteral("org.kde.plasmashell"))) {
        std::fputs("plasma_stand_in: cannot take org.kde.plasmashell\n", stderr);
        return 1;
    }
    return app.exec();
}
