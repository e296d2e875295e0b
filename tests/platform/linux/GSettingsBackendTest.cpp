// The GNOME family's back-end against real GSettings: the keyfile back-end in
// the private configuration folder the harness gives, read back with the
// gsettings tool.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "RunTool.h"
#include "platform/linux/desktop/gnome/GSettingsDesktopBackend.h"
#include "registry/MemoryRegistryStore.h"
#include "support/TempDir.h"
#include "wallpaper/ComposeCalls.h"
#include "wallpaper/DesktopWallpaperApplier.h"

namespace {

const std::string kHostile = std::string("/tmp/x/it's \"a\" \\b\n$(touch pwned) \xff\xfe.bmp");

std::string Get(const std::string& schema, const std::string& key) {
    const TToolResult r = RunTool({"gsettings", "get", schema, key});
    EXPECT_EQ(r.exitCode, 0) << schema << " " << key;
    return Trimmed(r.out);
}

// Values are set in this process: its settings back-end sees changes made by
// other processes only once its main loop has run, which a test does not.
// The gsettings tool reads the file anew, so reading back goes through it.
void Set(const std::string& schema, const std::string& key, const std::string& value) {
    GSettings* settings = g_settings_new(schema.c_str());
    GSettingsSchema* s = nullptr;
    g_object_get(settings, "settings-schema", &s, nullptr);
    GSettingsSchemaKey* k = g_settings_schema_get_key(s, key.c_str());
    GVariant* v = g_variant_parse(g_settings_schema_key_get_value_type(k),
                                  ("'" + value + "'").c_str(), nullptr, nullptr, nullptr);
    ASSERT_NE(v, nullptr) << value;
    EXPECT_TRUE(g_settings_set_value(settings, key.c_str(), v));
    g_settings_sync();
    g_variant_unref(v);
    g_settings_schema_key_unref(k);
    g_settings_schema_unref(s);
    g_object_unref(settings);
}

void ResetAll(const std::string& schema) {
    GSettings* settings = g_settings_new(schema.c_str());
    GSettingsSchema* s = nullptr;
    g_object_get(settings, "settings-schema", &s, nullptr);
    gchar** keys = g_settings_schema_list_keys(s);
    for (gchar** k = keys; *k; ++k) {
        g_settings_reset(settings, *k);
    }
    g_strfreev(keys);
    g_settings_sync();
    g_settings_schema_unref(s);
    g_object_unref(settings);
}

// The file a GVariant text like 'file:///a%20b' names.
std::string FileOfUriText(const std::string& text) {
    GVariant* v = g_variant_parse(G_VARIANT_TYPE_STRING, text.c_str(), nullptr, nullptr, nullptr);
    if (!v) {
        return "<unparsable " + text + ">";
    }
    gchar* path = g_filename_from_uri(g_variant_get_string(v, nullptr), nullptr, nullptr);
    std::string out = path ? path : "<no file URI " + text + ">";
    g_free(path);
    g_variant_unref(v);
    return out;
}

class GSettingsBackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_STREQ(getenv("GSETTINGS_BACKEND"), "keyfile");
        ASSERT_NE(getenv("VANTORIA_HARNESS_ROOT"), nullptr) << "run inside the harness";
    }
    void SetUp() override {
        for (const char* schema : {"org.gnome.desktop.background",
                                   "org.cinnamon.desktop.background", "org.mate.background"}) {
            ResetAll(schema);
        }
    }
};

}  // namespace

TEST_F(GSettingsBackendTest, GnomeGetsUriDarkUriAndPlacement) {
    TGSettingsDesktopBackend gnome(GnomeFamily());
    ASSERT_TRUE(gnome.Available()) << gnome.LastError();
    EXPECT_FALSE(gnome.ChangesForbidden());
    EXPECT_TRUE(gnome.SetPlacement(dpTile));
    ASSERT_TRUE(gnome.SetWallpaperFile(kHostile, false)) << gnome.LastError();

    const std::string schema = "org.gnome.desktop.background";
    EXPECT_EQ(FileOfUriText(Get(schema, "picture-uri")), kHostile);
    EXPECT_EQ(FileOfUriText(Get(schema, "picture-uri-dark")), kHostile);
    EXPECT_EQ(Get(schema, "picture-options"), "'wallpaper'");
    EXPECT_EQ(gnome.CurrentWallpaperFile(), kHostile);
    EXPECT_EQ(gnome.CurrentPlacement(), dpTile);

    gnome.SetPlacement(dpCenter);
    EXPECT_EQ(Get(schema, "picture-options"), "'centered'");
    gnome.SetPlacement(dpStretch);
    EXPECT_EQ(Get(schema, "picture-options"), "'stretched'");
    EXPECT_EQ(gnome.CurrentPlacement(), dpStretch);

    ASSERT_TRUE(gnome.SetWallpaperFile("", true));
    EXPECT_EQ(Get(schema, "picture-uri"), "''");
    EXPECT_EQ(Get(schema, "picture-uri-dark"), "''");
    EXPECT_EQ(gnome.CurrentWallpaperFile(), "");
}

TEST_F(GSettingsBackendTest, ZoomIsReadAsAnotherPlacementAndSpannedAsSpan) {
    TGSettingsDesktopBackend gnome(GnomeFamily());
    EXPECT_NE(gnome.SpanningFile(), nullptr);
    EXPECT_EQ(gnome.MonitorFiles(), nullptr);
    // GNOME's own default.
    EXPECT_EQ(gnome.CurrentPlacement(), dpOther);
    Set("org.gnome.desktop.background", "picture-options", "scaled");
    EXPECT_EQ(gnome.CurrentPlacement(), dpOther);
    Set("org.gnome.desktop.background", "picture-options", "centered");
    ASSERT_TRUE(gnome.SetPlacement(dpSpan)) << gnome.LastError();
    EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'spanned'");
    EXPECT_EQ(gnome.CurrentPlacement(), dpSpan);
}

TEST_F(GSettingsBackendTest, SnapshotPutsBackValuesAndDefaults) {
    const std::string schema = "org.gnome.desktop.background";
    Set(schema, "picture-uri", "file:///usr/share/backgrounds/it%27s.jpg");
    Set(schema, "primary-color", "#123456");
    // picture-uri-dark and picture-options stay at their defaults.
    const std::string defaultOptions = Get(schema, "picture-options");
    const std::string defaultDark = Get(schema, "picture-uri-dark");

    TGSettingsDesktopBackend gnome(GnomeFamily());
    const std::string state = gnome.SaveState();
    ASSERT_FALSE(state.empty());
    gnome.SetPlacement(dpCenter);
    gnome.SetWallpaperFile("/tmp/other.bmp", false);
    Set(schema, "primary-color", "#ffffff");

    ASSERT_TRUE(gnome.RestoreState(state)) << gnome.LastError();
    EXPECT_EQ(Get(schema, "picture-uri"), "'file:///usr/share/backgrounds/it%27s.jpg'");
    EXPECT_EQ(Get(schema, "primary-color"), "'#123456'");
    EXPECT_EQ(Get(schema, "picture-options"), defaultOptions);
    EXPECT_EQ(Get(schema, "picture-uri-dark"), defaultDark);
    // Defaults come back as defaults, not as values copied into the user's settings.
    EXPECT_EQ(RunTool({"gsettings", "list-recursively", schema}).exitCode, 0);
    const std::string keyfile =
        ReadFileBytes(std::string(getenv("XDG_CONFIG_HOME")) + "/glib-2.0/settings/keyfile");
    EXPECT_EQ(keyfile.find("picture-options"), std::string::npos) << keyfile;
}

TEST_F(GSettingsBackendTest, DamagedSnapshotStoresNothingOfAnotherType) {
    TGSettingsDesktopBackend gnome(GnomeFamily());
    EXPECT_FALSE(gnome.RestoreState("picture-options\t=42\npicture-uri\t='file:///ok.jpg'\n"));
    EXPECT_EQ(Get("org.gnome.desktop.background", "picture-uri"), "'file:///ok.jpg'");
    EXPECT_EQ(gnome.CurrentPlacement(), dpOther);
    // Keys outside the wallpaper's are never touched.
    gnome.RestoreState("show-desktop-icons\t=true\n");
    EXPECT_EQ(Get("org.gnome.desktop.background", "show-desktop-icons"), "false");
}

TEST_F(GSettingsBackendTest, CinnamonAndMate) {
    TGSettingsDesktopBackend cinnamon(CinnamonFamily());
    ASSERT_TRUE(cinnamon.Available()) << cinnamon.LastError();
    ASSERT_TRUE(cinnamon.SetPlacement(dpCenter));
    ASSERT_TRUE(cinnamon.SetWallpaperFile("/tmp/a b/vantoria.bmp", true));
    EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-uri"),
              "'file:///tmp/a%20b/vantoria.bmp'");
    EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-options"), "'centered'");

    TGSettingsDesktopBackend mate(MateFamily());
    ASSERT_TRUE(mate.Available()) << mate.LastError();
    EXPECT_NE(mate.Files(), static_cast<TFileWallpaper*>(&mate)) << "fresh names";
    ASSERT_TRUE(mate.SetPlacement(dpTile));
    // A plain path, stored as it is.
    const std::string path = "/tmp/it's \"q\" $(x)\n.bmp";
    ASSERT_TRUE(mate.SetWallpaperFile(path, true));
    EXPECT_EQ(mate.CurrentWallpaperFile(), path);
    EXPECT_EQ(Get("org.mate.background", "picture-options"), "'wallpaper'");
    // A path that is not UTF-8 cannot be stored in a string key: refused, not mangled.
    EXPECT_FALSE(mate.SetWallpaperFile("/tmp/\xff.bmp", true));
    EXPECT_EQ(mate.CurrentWallpaperFile(), path);
}

TEST_F(GSettingsBackendTest, ApplierShowsSlidesAndPutsTheOriginalBack) {
    const std::string schema = "org.gnome.desktop.background";
    Set(schema, "picture-uri", "file:///usr/share/backgrounds/original.jpg");
    Set(schema, "picture-uri-dark", "file:///usr/share/backgrounds/original-dark.jpg");
    RegSetStore(std::make_shared<TMemoryRegistryStore>());
    TTempDir dir;
    TGSettingsDesktopBackend gnome(GnomeFamily());
    TApplierServices services;
    services.desktop = &gnome;
    const TFakeComposer composer([](const TComposeRequest& request, const std::string& file) {
        WriteFileBytes(file, "BM" + request.source);
        return true;
    });
    services.composer = &composer;
    services.dataFolder = dir.Path() + "/data";
    TDesktopWallpaperApplier applier(services);
    applier.DetectActiveDesktop();
    applier.RememberOriginalWallpaper();
    applier.ReadOriginalStyle();
    EXPECT_TRUE(applier.FUseActiveDesktop);
    EXPECT_EQ(applier.FOriginalWallpaper, "/usr/share/backgrounds/original.jpg");

    // The shell draws a picture it showed before from its own stale copy, so
    // the bitmap comes as a copy under a new name, rewritten while shown.
    applier.SetWallpaper(kHostile, TWallpaperChoice{wsStretch, fmLetterBox, 0});
    const std::string shown = FileOfUriText(Get(schema, "picture-uri"));
    EXPECT_NE(shown, applier.ConvertedWallpaperPath());
    EXPECT_TRUE(applier.IsOwnWallpaper(shown)) << shown;
    EXPECT_EQ(FileOfUriText(Get(schema, "picture-uri-dark")), shown);
    EXPECT_EQ(ReadFileBytes(shown), "BM" + kHostile);
    // A bitmap of the screen's size: 'zoom' shows it pixel for pixel at any scale.
    EXPECT_EQ(Get(schema, "picture-options"), "'zoom'");
    applier.SetWallpaper("/b.jpg", TWallpaperChoice{wsStretch, fmLetterBox, 0});
    EXPECT_EQ(FileOfUriText(Get(schema, "picture-uri")), shown);
    EXPECT_EQ(ReadFileBytes(shown), "BM/b.jpg");

    applier.RestoreOriginalWallpaper(TWallpaperChoice{applier.FOriginalStyle, fmLetterBox, 0});
    EXPECT_EQ(Get(schema, "picture-uri"), "'file:///usr/share/backgrounds/original.jpg'");
    EXPECT_EQ(Get(schema, "picture-uri-dark"), "'file:///usr/share/backgrounds/original-dark.jpg'");
    EXPECT_EQ(Get(schema, "picture-options"), "'zoom'");
    // Back from the original: a name the shell has not seen, the old copy gone.
    applier.SetWallpaper("/c.jpg", TWallpaperChoice{wsStretch, fmLetterBox, 0});
    EXPECT_NE(FileOfUriText(Get(schema, "picture-uri")), shown);
    EXPECT_FALSE(std::filesystem::exists(shown));
    applier.RestoreOriginalWallpaper(TWallpaperChoice{applier.FOriginalStyle, fmLetterBox, 0});
    applier.Finish();
    EXPECT_FALSE(std::filesystem::exists(applier.OriginalRecordPath()));
}

// A key that may not be written (a lock-down) blocks every change. The
// keyfile back-end reports its keys unwritable when its folder is read-only,
// which holds only for a user without the power to override: the check runs
// in a child process without root's privileges.
TEST_F(GSettingsBackendTest, LockedKeyBlocksEveryChange) {
    if (getenv("VANTORIA_LOCKED_CHILD")) {
        TGSettingsDesktopBackend gnome(GnomeFamily());
        ASSERT_TRUE(gnome.Available());
        EXPECT_TRUE(gnome.ChangesForbidden());
        EXPECT_NE(gnome.LastError().find("locked"), std::string::npos);
        RegSetStore(std::make_shared<TMemoryRegistryStore>());
        int composed = 0;
        TApplierServices services;
        services.desktop = &gnome;
        const TFakeComposer composer([&](const TComposeRequest&, const std::string&) {
            ++composed;
            return true;
        });
        services.composer = &composer;
        services.dataFolder = "/nonexistent/vantoria";
        TDesktopWallpaperApplier applier(services);
        applier.DetectActiveDesktop();
        applier.RememberOriginalWallpaper();
        EXPECT_FALSE(applier.FCanChangeWallpaper);
        applier.SetWallpaper("/tmp/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
        applier.SetWallpaper("", TWallpaperChoice{wsCenter, fmStretch, 0});
        applier.RestoreOriginalWallpaper(TWallpaperChoice{wsCenter, fmStretch, 0});
        EXPECT_EQ(composed, 0);
        return;
    }
    const std::string schema = "org.gnome.desktop.background";
    Set(schema, "picture-uri", "file:///locked.jpg");
    const std::string root = getenv("VANTORIA_HARNESS_ROOT");
    const std::string settingsDir = std::string(getenv("XDG_CONFIG_HOME")) + "/glib-2.0/settings";
    chmod(root.c_str(), 0755);
    chmod(getenv("XDG_CONFIG_HOME"), 0755);
    chmod((std::string(getenv("XDG_CONFIG_HOME")) + "/glib-2.0").c_str(), 0755);
    chmod((settingsDir + "/keyfile").c_str(), 0444);
    chmod(settingsDir.c_str(), 0555);
    setenv("VANTORIA_LOCKED_CHILD", "1", 1);
    std::vector<std::string> argv;
    if (geteuid() == 0) {
        argv = {"unshare", "--user"};
    }
    argv.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
    argv.push_back("--gtest_filter=GSettingsBackendTest.LockedKeyBlocksEveryChange");
    const TToolResult child = RunTool(argv);
    unsetenv("VANTORIA_LOCKED_CHILD");
    chmod(settingsDir.c_str(), 0755);
    chmod((settingsDir + "/keyfile").c_str(), 0644);
    EXPECT_EQ(child.exitCode, 0) << child.out;
    EXPECT_NE(child.out.find("[  PASSED  ] 1 test"), std::string::npos) << child.out;
    EXPECT_EQ(Get(schema, "picture-uri"), "'file:///locked.jpg'");
}
