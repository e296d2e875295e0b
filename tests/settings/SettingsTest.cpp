// Loading and saving the settings: defaults for a new profile and for an
// existing key, type and range rules, write order and silent failures.
#include <gtest/gtest.h>

#include <memory>

#include "settings/Settings.h"
#include "platform/ScreenInfo.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"

namespace {

const std::string kFull = "HKEY_CURRENT_USER\\Software\\Vantoria";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
    }
    void TearDown() override { RegSetStore(nullptr); }
    void Key() { store->Hive().CreateKey(kFull); }
    void Put(const std::string& name, const TRegValue& v) { store->Hive().Set(kFull, name, v); }
    TSettings Loaded() {
        TSettings s;
        s.FStyle = 99;  // prove every field is set
        s.FClockY = -1;
        settings::Load(s, screen);
        return s;
    }
    std::shared_ptr<TMemoryRegistryStore> store;
    TFixedScreenInfo screen{{1280, 1024, 32}};
};

TEST_F(SettingsTest, NewProfileGetsStretchTenSecondsAndTheClockTopRight) {
    const TSettings s = Loaded();
    EXPECT_EQ(s.FAutoplay, apNone);
    EXPECT_EQ(s.FStyle, wsStretch);
    EXPECT_EQ(s.FChangeTime, 10);
    EXPECT_EQ(s.FCurrent, 0);
    EXPECT_EQ(s.FPlayListFile, "");
    EXPECT_EQ(s.FFolder, "");
    EXPECT_FALSE(s.FStopAtLast);
    EXPECT_EQ(s.FFitMode, fmStretch);
    EXPECT_EQ(s.FFillColor, 0u);
    EXPECT_TRUE(s.FShowClock);
    EXPECT_EQ(s.FClockX, 1280 - 165);
    EXPECT_EQ(s.FClockY, 20);
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, settings::kKey))
        << "loading never creates the key";
}

TEST_F(SettingsTest, ExistingKeyUsesItsOwnDefaultsAndTheRangeRules) {
    Key();
    Put("Autoplay", TRegValue::Dword(5));
    Put("ChangeTime", TRegValue::Dword(3));
    Put("Current", TRegValue::Dword(0xFFFFFFFCu));  // -4
    Put("Stop", TRegValue::Dword(256));
    Put("ShowClock", TRegValue::Dword(2));
    Put("Playlist", TRegValue::Text("$HOME/list.vpl", TRegType::ExpandSz));
    Put("Stretch", TRegValue::Dword(0x102));  // lowest byte only
    screen.Set({800, 600, 24});
    const TSettings s = Loaded();
    EXPECT_EQ(s.FAutoplay, 5) << "taken as read";
    EXPECT_EQ(s.FStyle, wsTile) << "an existing key without Style means Tile";
    EXPECT_EQ(s.FChangeTime, 10);
    EXPECT_EQ(s.FCurrent, 0);
    EXPECT_FALSE(s.FStopAtLast);
    EXPECT_TRUE(s.FShowClock);
    EXPECT_EQ(s.FPlayListFile, "$HOME/list.vpl") << "never expanded";
    EXPECT_EQ(s.FFitMode, 2);
    EXPECT_EQ(s.FClockX, 800 - 165);
    EXPECT_EQ(s.FClockY, 20);
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeReadAsDefaults) {
    Key();
    Put("ChangeTime", TRegValue::Text("60"));
    Put("Style", TRegValue::Text("1"));
    Put("Playlist", TRegValue::Dword(7));
    Put("Stop", TRegValue::Dword(2));
    const TSettings s = Loaded();
    EXPECT_EQ(s.FChangeTime, 10);
    EXPECT_EQ(s.FStyle, wsTile);
    EXPECT_EQ(s.FPlayListFile, "");
    EXPECT_TRUE(s.FStopAtLast);
}

TEST_F(SettingsTest, SaveCreatesTheKeyAndWritesAllTwelveValuesInOrder) {
    TSettings s;
    s.FAutoplay = apContinue;
    s.FStyle = wsCenter;
    s.FChangeTime = 3600;
    s.FCurrent = 4;
    s.FPlayListFile = "/home/ann/a \"b\".vpl";
    s.FFolder = "/home/ann/Pictures";
    s.FStopAtLast = true;
    s.FFitMode = fmZoom;
    s.FFillColor = 0x00FF0000;
    s.FShowClock = false;
    s.FClockX = -30;
    s.FClockY = 700;
    s.FRecursive = false;
    settings::Save(s);
    const auto& keys = store->Hive().Keys();
    const auto it = std::find_if(keys.begin(), keys.end(), [](auto& k) { return k.path == kFull; });
    ASSERT_NE(it, keys.end());
    std::vector<std::string> names;
    for (const auto& [n, v] : it->values)
        names.push_back(n);
    const std::vector<std::string> expected = {
        "",          "Autoplay", "Style",         "Stretch",       "ChangeTime",  "Current",
        "Folder",    "Playlist", "Stop",          "Color",         "ClockX",      "ClockY",
        "ShowClock", "Order",    "KeepWallpaper", "MonitorSlides", "StartInTray", "Recursive"};
    EXPECT_EQ(names, expected);
    TSettings back;
    settings::Load(back, screen);
    EXPECT_EQ(back.FAutoplay, s.FAutoplay);
    EXPECT_EQ(back.FStyle, s.FStyle);
    EXPECT_EQ(back.FChangeTime, s.FChangeTime);
    EXPECT_EQ(back.FCurrent, s.FCurrent);
    EXPECT_EQ(back.FPlayListFile, s.FPlayListFile);
    EXPECT_EQ(back.FFolder, s.FFolder);
    EXPECT_EQ(back.FStopAtLast, s.FStopAtLast);
    EXPECT_EQ(back.FFitMode, s.FFitMode);
    EXPECT_EQ(back.FFillColor, s.FFillColor);
    EXPECT_EQ(back.FShowClock, s.FShowClock);
    EXPECT_EQ(back.FClockX, s.FClockX);
    EXPECT_EQ(back.FClockY, s.FClockY);
    EXPECT_FALSE(back.FRecursive);
}

TEST_F(SettingsTest, WritesFailQuietlyForSaveAndLoudlyForAutoplay) {
    TSettings s;
    s.FAutoplay = apOnce;
    try {
        settings::SaveAutoplay(s);
        FAIL() << "no error without the key";
    } catch (const EJclRegistryError& e) {
        EXPECT_STREQ(e.what(), "Unable to open key \"Software\\Vantoria\" for write");
    }
    Key();
    Put("Autoplay", TRegValue::Dword(0));
    store->SetWritable(HKEY_CURRENT_USER, false);
    EXPECT_NO_THROW(settings::Save(s));
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", -1), 0);
    store->SetWritable(HKEY_CURRENT_USER, true);
    settings::SaveAutoplay(s);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", -1), apOnce);
}

}  // namespace
