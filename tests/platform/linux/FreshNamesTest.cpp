#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/linux/desktop/FreshNames.h"
#include "support/TempDir.h"

namespace {

// A desktop's file roles that record the names they are handed.
struct TNamesTaken : TFileWallpaper, TMonitorWallpapers, TSpanningWallpaper {
    bool SetPlacement(TDesktopPlacement) override { return true; }
    bool SetWallpaperFile(const std::string& file, bool) override { return Take({file}); }
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool) override {
        std::vector<std::string> names;
        for (const TMonitorFile& f : files) {
            names.push_back(f.file);
        }
        return Take(names);
    }
    bool SetSpanningWallpaperFile(const std::string& file, bool) override { return Take({file}); }
    bool Take(std::vector<std::string> names) {
        taken.push_back(std::move(names));
        return true;
    }
    std::vector<std::vector<std::string>> taken;
};

}  // namespace

// Each picture reaches a desktop that caches by name under a name of its own,
// two in turn, with the picture it was handed: the composed bitmap is moved
// there, and the name the desktop no longer shows goes.
TEST(FreshNamesTest, EveryChangeGetsANameOfItsOwn) {
    TTempDir dir;
    TNamesTaken desktop;
    TFreshNames fresh(desktop, &desktop, &desktop);
    const std::string bitmap = dir.File("vantoria.bmp");
    const auto bmps = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const char* picture : {"a", "b", "c"}) {
        WriteFileBytes(bitmap, picture);
        ASSERT_TRUE(fresh.SetWallpaperFile(bitmap, false));
    }
    EXPECT_EQ(desktop.taken, (std::vector<std::vector<std::string>>{{dir.File("vantoria-1.bmp")},
                                                                    {dir.File("vantoria-2.bmp")},
                                                                    {dir.File("vantoria-1.bmp")}}));
    EXPECT_EQ(ReadFileBytes(dir.File("vantoria-1.bmp")), "c");
    EXPECT_EQ(bmps(), std::vector<std::string>{"vantoria-1.bmp"});

    // The spanning bitmap and one shared by all monitors take one name; no
    // name at all stays none.
    desktop.taken.clear();
    WriteFileBytes(bitmap, "s");
    ASSERT_TRUE(fresh.SetSpanningWallpaperFile(bitmap, false));
    const TMonitor one{"DP-1", 0, 0, 10, 10, true};
    const TMonitor two{"DP-2", 10, 0, 10, 10, false};
    WriteFileBytes(bitmap, "m");
    ASSERT_TRUE(fresh.SetMonitorWallpaperFiles({{one, bitmap}, {two, bitmap}}, false));
    EXPECT_EQ(bmps(), std::vector<std::string>{"vantoria-1.bmp"});
    ASSERT_TRUE(fresh.SetWallpaperFile("", true));
    EXPECT_EQ(desktop.taken, (std::vector<std::vector<std::string>>{
                                 {dir.File("vantoria-2.bmp")},
                                 {dir.File("vantoria-1.bmp"), dir.File("vantoria-1.bmp")},
                                 {""}}));

    // Bitmaps composed for each monitor take the monitors' two names in turn.
    desktop.taken.clear();
    for (const char* picture : {"d", "e"}) {
        WriteFileBytes(dir.File("vantoria-monitor1.bmp"), picture);
        WriteFileBytes(dir.File("vantoria-monitor2.bmp"), picture);
        ASSERT_TRUE(fresh.SetMonitorWallpaperFiles(
            {{one, dir.File("vantoria-monitor1.bmp")}, {two, dir.File("vantoria-monitor2.bmp")}},
            false));
    }
    EXPECT_EQ(desktop.taken,
              (std::vector<std::vector<std::string>>{
                  {dir.File("vantoria-monitor1-a.bmp"), dir.File("vantoria-monitor2-a.bmp")},
                  {dir.File("vantoria-monitor1-b.bmp"), dir.File("vantoria-monitor2-b.bmp")}}));
    EXPECT_EQ(ReadFileBytes(dir.File("vantoria-monitor2-b.bmp")), "e");
    EXPECT_EQ(bmps(), (std::vector<std::string>{"vantoria-1.bmp", "vantoria-monitor1-b.bmp",
                                                "vantoria-monitor2-b.bmp"}));

    // Anyone else's picture is copied, never moved nor removed.
    WriteFileBytes(dir.File("photo.bmp"), "p");
    ASSERT_TRUE(fresh.SetWallpaperFile(dir.File("photo.bmp"), false));
    ASSERT_TRUE(fresh.SetWallpaperFile(dir.File("photo.bmp"), false));
    EXPECT_EQ(ReadFileBytes(dir.File("photo.bmp")), "p");
    EXPECT_EQ(ReadFileBytes(dir.File("photo-1.bmp")), "p");
}
