// KDE Plasma's back-end against a stand-in plasmashell on the harness's
// private session bus (PlasmaStandIn.cpp), which records every call and runs
// every desktop script in node against mock desktops.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <chrono>
#include <filesystem>

#include "RunTool.h"
#include "support/TempDir.h"
#include "platform/linux/desktop/kde/PlasmaDesktopBackend.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "wallpaper/ComposeCalls.h"
#include "wallpaper/DesktopWallpaperApplier.h"

namespace {

// Quotes, backslashes, a line break, shell syntax, U+2028 and a byte that is
// no UTF-8.
const std::string kHostile = "/tmp/it's \"a\" \\b\n$(touch pwned) `x` \xe2\x80\xa8 \xff end.bmp";
const QString kImageGroup = QStringLiteral("Wallpaper/org.kde.image/General");
const QString kColorGroup = QStringLiteral("Wallpaper/org.kde.color/General");

bool PlasmaOnBus() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.kde.plasmashell"));
}

std::string Decoded(const QJsonValue& url) {
    const QString text = url.toString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("file:///"))) << text.toStdString();
    return QByteArray::fromPercentEncoding(text.mid(7).toUtf8()).toStdString();
}

QJsonObject Desktop(const QString& plugin, const QJsonObject& groups) {
    return QJsonObject{{"plugin", plugin}, {"groups", groups}};
}

class PlasmaBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run inside the harness";
        ASSERT_EQ(RunTool({"node", "--version"}).exitCode, 0)
            << "node is missing (scripts/install-deps)";
        std::filesystem::create_directories(data_);
    }
    void TearDown() override { Stop(); }

    void Start(const char* api, const char* refusal, const QString& version,
               const QJsonArray& desktops) {
        QFile state(QString::fromStdString(state_));
        ASSERT_TRUE(state.open(QIODevice::WriteOnly | QIODevice::Truncate));
        state.write(
            QJsonDocument(QJsonObject{{"version", version}, {"desktops", desktops}}).toJson());
        state.close();
        const std::string program = PLASMA_STAND_IN;
        const std::string mock = PLASMA_SCRIPT_MOCK;
        pid_ = fork();
        if (pid_ == 0) {
            execl(program.c_str(), program.c_str(), api, refusal, state_.c_str(), log_.c_str(),
                  mock.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && !PlasmaOnBus(); ++i) {
            QThread::msleep(25);
        }
        ASSERT_TRUE(PlasmaOnBus()) << "the stand-in did not come up";
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            for (int i = 0; i < 200 && PlasmaOnBus(); ++i) {
                QThread::msleep(25);
            }
        }
    }

    // The calls received since the last ClearLog(), optionally of one method.
    QJsonArray Calls(const QString& method = QString()) {
        QJsonArray calls;
        QFile log(QString::fromStdString(log_));
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                const QJsonObject call = QJsonDocument::fromJson(line).object();
                if (!call.isEmpty() && (method.isEmpty() || call["method"] == method)) {
                    calls.append(call);
                }
            }
        }
        return calls;
    }
    void ClearLog() { std::filesystem::remove(log_); }
    const QJsonArray Desktops() {
        QFile state(QString::fromStdString(state_));
        state.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(state.readAll()).object()["desktops"].toArray();
    }

    TTempDir dir_;
    std::string data_ = dir_.File("data");
    std::string state_ = dir_.File("state.json");
    std::string log_ = dir_.File("calls.log");
    pid_t pid_ = -1;
    TPlasmaDesktopBackend plasma_{data_, [] { return TScreenSize{10, 7, 32}; }};
};

}  // namespace

TEST_F(PlasmaBackendTest, Plasma6GetsTypedCallsForEveryScreen) {
    Start("typed", "none", "6.3.5",
          {Desktop("org.kde.image",
                   {{kImageGroup, QJsonObject{{"Image", "file:///usr/share/wallpapers/a%20b.png"},
                                              {"FillMode", 2}}}}),
           Desktop("org.kde.color", {{kColorGroup, QJsonObject{{"Color", "10,20,30"}}}})});
    EXPECT_FALSE(plasma_.ChangesForbidden()) << plasma_.LastError();
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), "/usr/share/wallpapers/a b.png");
    EXPECT_EQ(plasma_.CurrentPlacement(), dpOther);  // crop

    ClearLog();
    plasma_.SetPlacement(dpCenter);
    ASSERT_TRUE(plasma_.SetWallpaperFile(kHostile, false)) << plasma_.LastError();
    const QJsonArray calls = Calls();
    ASSERT_EQ(calls.size(), 5);
    for (int screen = 0; screen < 3; ++screen) {
        const QJsonObject probe = calls[2 * screen].toObject();
        EXPECT_EQ(probe["method"], "wallpaper");
        EXPECT_EQ(probe["signature"], "u");
        EXPECT_EQ(probe["args"], QJsonArray{screen});
    }
    for (int screen = 0; screen < 2; ++screen) {
        const QJsonObject set = calls[2 * screen + 1].toObject();
        EXPECT_EQ(set["method"], "setWallpaper");
        EXPECT_EQ(set["signature"], "sa{sv}u");
        const QJsonArray args = set["args"].toArray();
        EXPECT_EQ(args[0], "org.kde.image");
        EXPECT_EQ(args[2], screen);
        const QJsonObject params = args[1].toObject();
        EXPECT_EQ(params.keys(), (QStringList{"FillMode", "Image"}));
        EXPECT_EQ(params["FillMode"], (QJsonArray{"i", 6}));
        EXPECT_EQ(params["Image"][0], "s");
        EXPECT_EQ(Decoded(params["Image"][1]), kHostile);
    }
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), kHostile);
    EXPECT_EQ(plasma_.CurrentPlacement(), dpCenter);
    EXPECT_EQ(Desktops()[1]["plugin"], "org.kde.image");

    plasma_.SetPlacement(dpStretch);
    ASSERT_TRUE(plasma_.SetWallpaperFile("/tmp/b.bmp", false));
    EXPECT_EQ(Desktops()[1]["groups"][kImageGroup]["FillMode"], 0);

    // No wallpaper: the plain colour plugin on every screen.
    ASSERT_TRUE(plasma_.SetWallpaperFile("", true));
    EXPECT_EQ(Desktops()[0]["plugin"], "org.kde.color");
    EXPECT_EQ(Desktops()[1]["plugin"], "org.kde.color");
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), "");
}

TEST_F(PlasmaBackendTest, Plasma5ScriptKeepsAHostilePathInsideItsLiteral) {
    Start("script", "none", "5.27.11",
          {Desktop("org.kde.color", {}), Desktop("org.kde.image", {})});
    EXPECT_FALSE(plasma_.ChangesForbidden()) << plasma_.LastError();
    ClearLog();
    plasma_.SetPlacement(dpCenter);
    ASSERT_TRUE(plasma_.SetWallpaperFile(kHostile, false)) << plasma_.LastError();
    EXPECT_TRUE(Calls("setWallpaper").isEmpty());
    const QJsonArray scripts = Calls("evaluateScript");
    ASSERT_EQ(scripts.size(), 1);
    const QString script = scripts[0]["args"][0].toString();
    for (const QChar c : script) {
        EXPECT_TRUE(c.unicode() < 0x7f && (c.unicode() >= 0x20 || c == '\n'));
    }
    // What node saw the script do, and nothing else.
    const QJsonObject ran = scripts[0]["mock"].toObject();
    EXPECT_FALSE(ran.contains("error")) << ran["error"].toString().toStdString();
    EXPECT_EQ(ran["newGlobals"], QJsonArray());
    const QJsonArray did = ran["calls"].toArray();
    ASSERT_EQ(did.size(), 8);
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(did[4 * d], (QJsonArray{d, "wallpaperPlugin", "org.kde.image"}));
        EXPECT_EQ(did[4 * d + 1], (QJsonArray{d, "currentConfigGroup", kImageGroup}));
        EXPECT_EQ(did[4 * d + 2], (QJsonArray{d, "writeConfig", "FillMode", "6"}));
        EXPECT_EQ(did[4 * d + 3][2], "Image");
        EXPECT_EQ(Decoded(did[4 * d + 3][3]), kHostile);
        EXPECT_EQ(Decoded(Desktops()[d]["groups"][kImageGroup]["Image"]), kHostile);
    }
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), kHostile);
    EXPECT_EQ(plasma_.CurrentPlacement(), dpCenter);
}

TEST_F(PlasmaBackendTest, SnapshotPutsBackEveryScreenExactly) {
    // Another plugin's settings with characters a script literal must escape.
    const QString color = QString::fromUtf8("a\"b\\c\xe2\x80\xa8'd\ne</script>");
    for (const char* api : {"script", "typed"}) {
        SCOPED_TRACE(api);
        const QJsonArray original = {
            Desktop("org.kde.color",
                    {{kColorGroup, QJsonObject{{"Color", color}}},
                     {kImageGroup, QJsonObject{{"Image", "file:///old.png"}, {"FillMode", "1"}}}}),
            Desktop("org.kde.image", {{kImageGroup, QJsonObject{{"Image", "file:///x%27y.png"},
                                                                {"Color", "1,2,3"}}}})};
        Start(api, "none", "6.2.0", original);
        const std::string state = plasma_.SaveState();
        ASSERT_FALSE(state.empty()) << plasma_.LastError();
        EXPECT_EQ(plasma_.CurrentPlacement(), dpOther);  // the colour plugin: no picture
        plasma_.SetPlacement(dpStretch);
        ASSERT_TRUE(plasma_.SetWallpaperFile(kHostile, false));
        ASSERT_NE(Desktops(), original);

        ClearLog();
        for (const std::string& damaged :
             {std::string(), std::string("{"), std::string(R"({"screens":[]})"),
              std::string(R"({"screens":[{"plugin":"","config":{}}]})"),
              std::string(R"({"screens":[{"plugin":"p","config":{"k":{"x":1}}}]})")}) {
            EXPECT_FALSE(plasma_.RestoreState(damaged)) << damaged;
        }
        EXPECT_TRUE(Calls().isEmpty());

        ASSERT_TRUE(plasma_.RestoreState(state)) << plasma_.LastError();
        const QJsonArray back = Desktops();
        EXPECT_EQ(back[0]["plugin"], "org.kde.color");
        EXPECT_EQ(back[0]["groups"][kColorGroup]["Color"], color);
        EXPECT_EQ(back[1]["plugin"], "org.kde.image");
        const QJsonObject image = back[1]["groups"][kImageGroup].toObject();
        EXPECT_EQ(image["Image"], "file:///x%27y.png");
        EXPECT_EQ(image["Color"], "1,2,3");
        EXPECT_EQ(image["FillMode"].toVariant().toInt(), 2);  // the default again
        Stop();
        ClearLog();
    }
}

TEST_F(PlasmaBackendTest, TilesThePictureItselfFromTheTopLeftCorner) {
    Start("typed", "none", "6.6.0",
          {Desktop("org.kde.image", {{kImageGroup, QJsonObject{{"Image", "file:///a.png"}}}})});
    // A 3 x 2 picture whose pixels all differ.
    const std::string source = dir_.File("small.bmp");
    FIBITMAP* small = FreeImage_Allocate(3, 2, 24);
    for (unsigned y = 0; y < 2; ++y) {
        for (unsigned x = 0; x < 3; ++x) {
            RGBQUAD c{BYTE(40 * x), BYTE(100 * y), BYTE(7 + x + 3 * y), 0};
            FreeImage_SetPixelColor(small, x, 1 - y, &c);  // row 0 is the bottom
        }
    }
    ASSERT_TRUE(FreeImage_Save(FIF_BMP, small, source.c_str(), 0));
    FreeImage_Unload(small);

    plasma_.SetPlacement(dpTile);
    for (const char* name : {"/vantoria-tiled-1.bmp", "/vantoria-tiled-2.bmp"}) {
        ClearLog();
        ASSERT_TRUE(plasma_.SetWallpaperFile(source, false)) << plasma_.LastError();
        const QJsonArray sets = Calls("setWallpaper");
        ASSERT_EQ(sets.size(), 1);
        EXPECT_EQ(sets[0]["args"][1]["FillMode"], (QJsonArray{"i", 0}));
        const std::string tiled = Decoded(sets[0]["args"][1]["Image"][1]);
        EXPECT_EQ(tiled, data_ + name);
        FIBITMAP* shown = FreeImage_Load(FIF_BMP, tiled.c_str(), 0);
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(FreeImage_GetWidth(shown), 10u);
        ASSERT_EQ(FreeImage_GetHeight(shown), 7u);
        for (unsigned y = 0; y < 7; ++y) {
            for (unsigned x = 0; x < 10; ++x) {
                RGBQUAD c;
                FreeImage_GetPixelColor(shown, x, 6 - y, &c);
                EXPECT_EQ(c.rgbBlue, 40 * (x % 3)) << x << "," << y;
                EXPECT_EQ(c.rgbGreen, 100 * (y % 2)) << x << "," << y;
                EXPECT_EQ(c.rgbRed, 7 + x % 3 + 3 * (y % 2)) << x << "," << y;
            }
        }
        FreeImage_Unload(shown);
        // The tiled copy counts as the program's own converted bitmap.
        EXPECT_EQ(plasma_.CurrentWallpaperFile(), data_ + "/vantoria.bmp");
    }
    plasma_.SetPlacement(dpCenter);
    ASSERT_TRUE(plasma_.SetWallpaperFile(source, false));
    EXPECT_EQ(Desktops()[0]["groups"][kImageGroup]["FillMode"], 6);
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), source);
}

TEST_F(PlasmaBackendTest, LockedWidgetsAndKioskForbidChanges) {
    const QJsonArray desktops = {Desktop("org.kde.color", {})};
    const std::pair<const char*, const char*> cases[] = {
        {"typed", "locked"}, {"script", "locked"}, {"script", "kiosk"}};
    for (const auto& [api, refusal] : cases) {
        SCOPED_TRACE(std::string(api) + " " + refusal);
        Start(api, refusal, "6.1.0", desktops);
        EXPECT_TRUE(plasma_.ChangesForbidden());
        const std::string why = refusal == std::string("locked")
                                    ? "Widgets are locked"
                                    : "Administrative policies prevent script execution";
        EXPECT_NE(plasma_.LastError().find(why), std::string::npos) << plasma_.LastError();
        EXPECT_FALSE(plasma_.SetWallpaperFile("/tmp/a.bmp", false));
        EXPECT_NE(plasma_.LastError().find("forbids"), std::string::npos) << plasma_.LastError();
        EXPECT_EQ(Desktops(), desktops);
        Stop();
    }
}

TEST_F(PlasmaBackendTest, AbsentPlasmaFailsAtOnce) {
    ASSERT_FALSE(PlasmaOnBus());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(plasma_.ChangesForbidden());
    EXPECT_FALSE(plasma_.SetWallpaperFile("/tmp/a.bmp", false));
    EXPECT_NE(plasma_.LastError().find("KDE Plasma is not running"), std::string::npos);
    EXPECT_EQ(plasma_.CurrentWallpaperFile(), std::nullopt);
    EXPECT_EQ(plasma_.CurrentPlacement(), std::nullopt);
    EXPECT_EQ(plasma_.SaveState(), "");
    EXPECT_FALSE(plasma_.RestoreState(R"({"screens":[{"plugin":"org.kde.color","config":{}}]})"));
    // Far below one D-Bus call timeout.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Through the applier: every change reaches Plasma under a new name, and a
// run that ended without putting the original back (here while a tiled copy
// was shown) still finds the original in its record at the next start.
TEST_F(PlasmaBackendTest, ApplierShowsEveryChangeAndRecoversAfterACrash) {
    const QJsonArray original = {
        Desktop("org.kde.color", {{kColorGroup, QJsonObject{{"Color", "10,20,30"}}}})};
    Start("typed", "none", "6.6.1", original);
    RegSetStore(std::make_shared<TMemoryRegistryStore>());
    TApplierServices services;
    const TFakeComposer composer([](const TComposeRequest&, const std::string& destination) {
        FIBITMAP* picture = FreeImage_Allocate(4, 4, 24);
        const bool saved = FreeImage_Save(FIF_BMP, picture, destination.c_str(), 0);
        FreeImage_Unload(picture);
        return saved;
    });
    services.composer = &composer;
    services.dataFolder = data_;
    auto shownImage = [&] { return Decoded(Desktops()[0]["groups"][kImageGroup]["Image"]); };
    {
        services.desktop = &plasma_;
        TDesktopWallpaperApplier applier(services);
        applier.DetectActiveDesktop();
        applier.RememberOriginalWallpaper();
        applier.ReadOriginalStyle();
        ASSERT_TRUE(applier.FCanChangeWallpaper);
        EXPECT_EQ(applier.FOriginalWallpaper, "");  // a plain colour
        applier.SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
        const std::string first = shownImage();
        applier.SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
        EXPECT_NE(shownImage(), first);
        applier.SetWallpaper("/pictures/c.jpg", TWallpaperChoice{wsTile, fmStretch, 0});
        EXPECT_EQ(shownImage(), data_ + "/vantoria-tiled-1.bmp");
        // No orderly end.
    }
    TPlasmaDesktopBackend again(data_, [] { return TScreenSize{10, 7, 32}; });
    services.desktop = &again;
    TDesktopWallpaperApplier applier(services);
    applier.DetectActiveDesktop();
    applier.RememberOriginalWallpaper();
    applier.ReadOriginalStyle();
    applier.RestoreOriginalWallpaper(TWallpaperChoice{applier.FOriginalStyle, fmStretch, 0});
    EXPECT_EQ(Desktops()[0]["plugin"], "org.kde.color");
    EXPECT_EQ(Desktops()[0]["groups"][kColorGroup], original[0]["groups"][kColorGroup]);
}
