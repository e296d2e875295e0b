// The slide show as the user drives it: run, ticks, navigation, missing
// files, start-up loading and the autoplay decision, and the orderly end.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QTimer>
#include <climits>
#include <filesystem>
#include <memory>

#include "app/Main.h"
#include "platform/TrayService.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/ManualWork.h"
#include "support/MainDialogs.h"
#include "support/Recorders.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"
#include "wallpaper/DesktopWallpaperApplier.h"
#include "wallpaper/RecordingDesktop.h"

namespace {

class SlideShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            WriteFileBytes(dir.File(name), "x");
            files.push_back(dir.File(name));
        }
        services.messages = &messages;
        services.screen = &screen;
        services.applier = &applier;
        services.tray = &tray;
        services.dialogs = &dialogs;
        frm = std::make_unique<TfrmMain>(services);
    }
    void TearDown() override {
        frm.reset();
        RegSetStore(nullptr);
    }
    void CreateKey() { RegEnsureKey(HKEY_CURRENT_USER, settings::kKey); }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i)
            frm->SlideTimerTimer();
    }
    std::vector<std::string> Applied() const { return applier.applied; }
    // A real applier's services over `desktop`, its composer writing a
    // token bitmap into the test's data folder.
    TApplierServices ApplierServicesOver(TRecordingDesktop& desktop) {
        TApplierServices s;
        s.desktop = &desktop;
        struct TTokenComposer : TComposer {
            bool Run(const TComposeRequest&, const TComposeSink& sink) const override {
                for (const std::string& file : std::get<TMonitorBitmaps>(sink).files) {
                    WriteFileBytes(file, "BM");
                }
                return true;
            }
        };
        static const TTokenComposer composer;
        s.composer = &composer;
        s.dataFolder = dir.File("data");
        return s;
    }

    TTempDir dir;
    std::vector<std::string> files;
    std::shared_ptr<TMemoryRegistryStore> store;
    TRecordingMessages messages;
    TFixedScreenInfo screen{{1024, 768, 32}};
    TRecordingApplier applier;
    TRecordingTray tray;
    TAnsweringDialogs dialogs;
    TMainServices services;
    std::unique_ptr<TfrmMain> frm;
};

TEST_F(SlideShowTest, RunAppliesTheNextEntryAndTicksApplyThenAdvance) {
    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(0);
    frm->actRunExecute();
    EXPECT_EQ(Applied(), std::vector<std::string>{files[1]});
    EXPECT_TRUE(frm->SlideShow().Running());
    EXPECT_TRUE(frm->SlideShow().Timer().isActive());
    EXPECT_EQ(frm->SlideShow().Timer().interval(), 10000);
    EXPECT_EQ(frm->actRun->text(), "Stop Slide Show");
    EXPECT_EQ(frm->actRun->toolTip(), "Stop Slide Show");
    EXPECT_EQ(frm->actRun->property("imageIndex").toInt(), 11);
    EXPECT_TRUE(tray.visible) << "running the show goes to the tray";
    EXPECT_FALSE(frm->ShowMainWindow);

    Tick();  // re-applies entry 1, then points at 2
    EXPECT_EQ(frm->SlideShow().Position(), 2);
    Tick();  // entry 2
    Tick();  // only rewinds
    EXPECT_EQ(frm->SlideShow().Position(), 0);
    Tick();  // entry 0
    EXPECT_EQ(Applied(), (std::vector<std::string>{files[1], files[1], files[2], files[0]}));
    EXPECT_TRUE(frm->SlideShow().Running());

    frm->actRunExecute();  // stops, applies nothing
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_FALSE(frm->SlideShow().Timer().isActive());
    EXPECT_EQ(frm->actRun->text(), "Run Slide Show");
    EXPECT_EQ(frm->actRun->property("imageIndex").toInt(), 4);
    EXPECT_EQ(tray.hints.back(), "Vantoria");
    EXPECT_EQ(Applied().size(), 4u);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SlideShowTest, MissingFilesAndEmptyListsAreReported) {
    frm->ShowCurrentSlide();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0],
              (TRecordedMessage{"error", "Playlist is empty. Please add images to the playlist"}));

    // A missing file holds nothing up: no box, a notice in the tray, and the
    // tick shows the next entry.
    const std::string gone = dir.File("gone \"quoted\".jpg");
    frm->SlideShow().SetPlaylist({files[0], gone, files[2]});
    frm->SlideShow().SetPosition(1);
    frm->StartSlideShow();
    Tick();
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(tray.notices,
              std::vector<std::string>{"Vantoria: File \"" + gone + "\" does not exists"});
    EXPECT_EQ(Applied(), std::vector<std::string>{files[2]});
    EXPECT_EQ(frm->SlideShow().Playlist().size(), 3u) << "the entry stays in the list";
    EXPECT_TRUE(frm->SlideShow().Running());

    // A folder stands for the pictures in it.
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::copy_file(files[0], dir.File("folder/in.jpg"));
    frm->SlideShow().SetPlaylist({dir.File("folder")});
    frm->FirstSlide();
    EXPECT_EQ(Applied().back(), dir.File("folder/in.jpg"));
}

TEST_F(SlideShowTest, NextOnAnEmptyListTurnsAutoplayOffOrStopsWhenItCannot) {
    frm->Settings().FAutoplay = apContinue;
    frm->actNextExecute();  // no key: the autoplay write fails, the command resets the position
    EXPECT_EQ(frm->SlideShow().Position(), 0);
    EXPECT_TRUE(Applied().empty());
    EXPECT_TRUE(messages.shown.empty());

    CreateKey();
    frm->Settings().FAutoplay = apContinue;
    tray.visible = true;
    frm->NextSlide();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", -1), apNone);
    EXPECT_FALSE(tray.visible) << "the main window comes back from the tray";
    EXPECT_EQ(messages.shown.back().text, "Playlist is empty. Please add images to the playlist");
}

TEST_F(SlideShowTest, CommandsOfTheShowAreEnabledOnlyWithEntries) {
    frm->ActionList1Update();
    for (QAction* a : {frm->actFirst, frm->actNext, frm->actPrev, frm->actLast, frm->actRun}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    for (QAction* a :
         {frm->actLoadList, frm->actSetup, frm->actResetDefault, frm->actRemoveWallPaper,
          frm->actShowClock, frm->actAbout, frm->actMinimize, frm->actExit}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    frm->actNext->trigger();  // disabled: ignored
    EXPECT_TRUE(messages.shown.empty());
    frm->SlideShow().SetPlaylist(files);
    frm->ActionList1Update();
    EXPECT_TRUE(frm->actRun->isEnabled());
    frm->actNext->trigger();
    EXPECT_EQ(Applied(), std::vector<std::string>{files[1]});
}

// Start-up -------------------------------------------------------------------

class StartUpTest : public SlideShowTest {
protected:
    void Settings(std::int32_t autoplay, const std::string& playlist, std::int32_t current = 0) {
        CreateKey();
        RegWriteInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", autoplay);
        RegWriteText(HKEY_CURRENT_USER, settings::kKey, "Playlist", playlist);
        RegWriteInt(HKEY_CURRENT_USER, settings::kKey, "Current", current);
    }
    std::string List(const std::string& text) {
        WriteFileBytes(dir.File("list.vpl"), text);
        return dir.File("list.vpl");
    }
};

TEST_F(StartUpTest, KeepsMissingEntriesOrderDuplicatesAndPosition) {
    const std::string list =
        List(files[0] + "\r\n\r\n" + dir.File("missing.jpg") + "\n" + files[2] + "\r" + files[0]);
    Settings(apNone, list, 7);
    frm->StartUp();
    EXPECT_EQ(frm->SlideShow().Playlist(),
              (std::vector<std::string>{files[0], dir.File("missing.jpg"), files[2], files[0]}))
        << "a file missing at start (a drive not mounted yet) keeps its entry";
    EXPECT_EQ(frm->SlideShow().Position(), 7) << "the position is not adjusted to the list";
    EXPECT_EQ(applier.calls,
              (std::vector<std::string>{"DetectActiveDesktop", "RememberOriginalWallpaper",
                                        "ReadOriginalStyle"}));
    EXPECT_TRUE(Applied().empty());
    EXPECT_TRUE(frm->actRun->isEnabled());
    EXPECT_EQ(ReadFileBytes(list).size(),
              (files[0] + "\r\n\r\n" + dir.File("missing.jpg") + "\n" + files[2] + "\r" + files[0])
                  .size())
        << "the playlist file is not rewritten";
}

TEST_F(StartUpTest, ContinueRunsTheShowFromTheTray) {
    Settings(apContinue, List(files[0] + "\r\n" + files[1] + "\r\n" + files[2] + "\r\n"), 1);
    frm->StartUp();
    EXPECT_EQ(Applied(), std::vector<std::string>{files[2]});
    EXPECT_TRUE(frm->SlideShow().Running());
    EXPECT_TRUE(tray.visible);
    EXPECT_FALSE(frm->ShowMainWindow);
    EXPECT_EQ(frm->Settings().FAutoplay, apContinue);
}

TEST_F(StartUpTest, OnceAndValuesAboveTwoChangeOnceWithoutTheTimer) {
    Settings(5, List(files[0] + "\r\n" + files[1] + "\r\n"));
    frm->StartUp();
    EXPECT_EQ(Applied(), std::vector<std::string>{files[1]});
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_TRUE(tray.visible);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", -1), 5);
}

TEST_F(StartUpTest, AutoplayWithoutAnyEntryIsTurnedOffAndStored) {
    Settings(apContinue, dir.File("no such list.vpl"));
    frm->StartUp();
    EXPECT_EQ(frm->Settings().FAutoplay, apNone);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Autoplay", -1), apNone);
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_TRUE(frm->ShowMainWindow);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(StartUpTest, UnreadablePlaylistsGiveAnEmptyListAndPositionZero) {
    std::filesystem::create_directory(dir.File("a folder.vpl"));
    Settings(apNone, dir.File("a folder.vpl"), 3);
    frm->StartUp();
    EXPECT_TRUE(frm->SlideShow().Playlist().empty());
    EXPECT_EQ(frm->SlideShow().Position(), 0);

    // Binary content and no line ends: the line is kept as it stands, no crash.
    auto other = std::make_unique<TfrmMain>(services);
    Settings(apNone, List(std::string("\x01\x02\xFF\xFE", 4) + files[1]), 0);
    other->StartUp();
    EXPECT_EQ(other->SlideShow().Playlist(),
              std::vector<std::string>{std::string("\x01\x02\xFF\xFE", 4) + files[1]});
    Settings(apNone, List(files[1]), 0);
    other = std::make_unique<TfrmMain>(services);
    other->StartUp();
    EXPECT_EQ(other->SlideShow().Playlist(), std::vector<std::string>{files[1]});
}

TEST_F(StartUpTest, OddNamesSurviveByteForByteAndLongListsAreKeptWhole) {
    const std::vector<std::string> odd = {
        dir.File(" lead and trail .jpg "), dir.File("quote \"'$(x)`.jpg"),
        dir.File("latin1 M\xFCnchen.jpg"), dir.File("utf8 caf\xC3\xA9.jpg")};
    std::string text;
    for (const auto& f : odd) {
        WriteFileBytes(f, "x");
        text += f + "\r\n";
    }
    std::vector<std::string> expected = odd;
    for (int i = 0; i < 5000; ++i) {
        const std::string f = dir.File("n" + std::to_string(i) + ".png");
        if (i % 2 == 0) {
            WriteFileBytes(f, "x");
        }
        expected.push_back(f);
        text += f + "\n";
    }
    Settings(apNone, List(text));
    frm->StartUp();
    EXPECT_EQ(frm->SlideShow().Playlist(), expected);
}

TEST_F(StartUpTest, FirstStartRaisesFromTheAutoplayWriteAndCreatesNoKey) {
    EXPECT_THROW(frm->StartUp(), EJclRegistryError);
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, settings::kKey));
    EXPECT_EQ(frm->Settings().FStyle, wsStretch);
}

// Options, Reset to Default, Remove Wallpaper and the orderly end --------------

TEST_F(SlideShowTest, OptionsStopsTheShowAndReappliesEntryZeroWhenConfirmed) {
    CreateKey();
    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(2);
    frm->StartSlideShow();
    dialogs.settings = [] {
        RegWriteInt(HKEY_CURRENT_USER, settings::kKey, "Current", 0);
        RegWriteInt(HKEY_CURRENT_USER, settings::kKey, "Style", wsCenter);
        return true;
    };
    frm->actSetupExecute();
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(frm->Settings().FStyle, wsCenter);
    ASSERT_EQ(Applied(), std::vector<std::string>{files[0]});
    EXPECT_EQ(applier.choices.back().style, wsCenter);

    frm->StartSlideShow();
    dialogs.settings = [] { return false; };
    frm->actSetupExecute();
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(Applied().size(), 1u);
}

TEST_F(SlideShowTest, ResetAndRemoveFollowTheWallpaperFoundAtStart) {
    applier.FOriginalWallpaper = "/usr/share/backgrounds/original.png";
    applier.FOriginalStyle = wsCenter;
    frm->Settings().FStyle = wsStretch;
    frm->ResetToDefault();  // nothing changed yet: only the style
    EXPECT_EQ(frm->Settings().FStyle, wsCenter);
    EXPECT_TRUE(Applied().empty());

    frm->SlideShow().SetPlaylist(files);
    frm->Settings().FStyle = wsStretch;
    frm->FirstSlide();
    frm->StartSlideShow();
    frm->ResetToDefault();
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(Applied().back(), "/usr/share/backgrounds/original.png");
    EXPECT_EQ(applier.choices.back().style, wsCenter);

    frm->Settings().FStyle = wsTile;
    frm->actRemoveWallPaperExecute();
    EXPECT_EQ(Applied().back(), "");
    EXPECT_EQ(applier.FOriginalWallpaper, "");
    EXPECT_EQ(frm->Settings().FStyle, wsCenter);
    frm->ResetToDefault();
    EXPECT_EQ(Applied().back(), "") << "after Remove, Reset keeps the desktop without wallpaper";
}

TEST_F(SlideShowTest, FormDestroySavesTheUsersStyleThenPutsTheOriginalBack) {
    applier.FOriginalWallpaper = "/orig.png";
    applier.FOriginalStyle = wsTile;
    frm->FormCreate();
    frm->SlideShow().SetPlaylist(files);
    frm->Settings().FStyle = wsStretch;
    frm->SlideShow().SetPosition(0);
    frm->actRunExecute();
    frm->FormDestroy();
    EXPECT_FALSE(frm->SlideShow().Running());
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Style", -1), wsStretch);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, settings::kKey, "Current", -1), 1);
    EXPECT_EQ(Applied().back(), "/orig.png");
    const std::size_t n = Applied().size();
    frm->FormDestroy();  // runs once
    frm.reset();
    EXPECT_EQ(Applied().size(), n);
}

// At the end of a session the desktop may be gone before the program: the
// original cannot be put back, and no box may hold the end up waiting for a
// click nobody will give.
TEST_F(SlideShowTest, TheEndReportsARefusedReturnInTheLogOnly) {
    TRecordingDesktop desktop;
    std::vector<std::string> warnings;
    TApplierServices s = ApplierServicesOver(desktop);
    s.warn = [&](const std::string& text) { warnings.push_back(text); };
    TDesktopWallpaperApplier real(std::move(s));
    services.applier = &real;
    frm = std::make_unique<TfrmMain>(services);
    real.DetectActiveDesktop();
    real.RememberOriginalWallpaper();
    frm->FormCreate();
    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(0);
    frm->actNextExecute();
    desktop.refuse = true;
    frm->FormDestroy();
    EXPECT_EQ(desktop.calls.back().rfind("RestoreState", 0), 0u) << desktop.calls.back();
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_TRUE(std::filesystem::exists(real.OriginalRecordPath()))
        << "the record stays for the next start";
}

// With changes composed in the background, the end of the program lets the
// change on its way arrive, drops those asked for after it and only then puts
// the original back, also when no change had arrived before.
TEST_F(SlideShowTest, TheEndWaitsForTheChangeOnItsWayBeforeTheOriginal) {
    TManualWork manual;
    TRecordingDesktop desktop;
    TApplierServices s = ApplierServicesOver(desktop);
    s.setHint = [this](const std::string& hint) { tray.SetHint(hint); };
    s.background = &manual;
    TDesktopWallpaperApplier real(std::move(s));
    services.applier = &real;
    frm = std::make_unique<TfrmMain>(services);
    real.DetectActiveDesktop();
    real.RememberOriginalWallpaper();
    desktop.calls.clear();
    frm->FormCreate();
    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(0);
    frm->actNextExecute();  // entry 1 on its way
    frm->actNextExecute();
    frm->actLastExecute();  // entry 2 waits
    frm->FormDestroy();
    manual.DeliverAll();  // the completion posted by the thread comes late
    EXPECT_EQ(manual.pieces.size(), 1u);
    EXPECT_EQ(desktop.calls,
              (std::vector<std::string>{"SetPlacement 0",
                                        "SetWallpaperFile " + real.ConvertedWallpaperPath(),
                                        "RestoreState state of the desktop"}));
    EXPECT_EQ(tray.hints.back(), "Vantoria original.jpg");
    frm.reset();
}

}  // namespace

// Monitors plugged, unplugged or resized: the picture on screen is composed
// anew, once for a burst, and only while it is ours.
TEST_F(SlideShowTest, MonitorChangesRecomposeThePictureOnScreenOnce) {
    const std::vector<TMonitor> desk = {{"A", 0, 0, 1920, 1080, true},
                                        {"B", 1920, 0, 1280, 1024, false}};
    auto settled = [this] { return !frm->MonitorChangePending(); };
    screen.SetMonitors(desk);  // before the first slide: nothing to recompose
    QTRY_VERIFY(settled());
    EXPECT_TRUE(Applied().empty());

    frm->SlideShow().SetPlaylist(files);
    frm->SlideShow().SetPosition(1);
    frm->ShowCurrentSlide();
    screen.SetMonitors({desk[0]});
    screen.SetMonitors(desk);
    QTRY_VERIFY(settled());
    EXPECT_EQ(Applied(), (std::vector<std::string>{files[1], files[1]}));

    frm->ResetToDefault();
    const std::size_t afterReset = Applied().size();
    screen.SetMonitors({desk[1]});
    QTRY_VERIFY(settled());
    EXPECT_EQ(Applied().size(), afterReset);
}
