#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLoggingCategory>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "RecordingDesktop.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "support/ManualWork.h"
#include "support/TempDir.h"
#include "wallpaper/Composer.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/DesktopWallpaperApplier.h"
#include "wallpaper/FreeBitmap.h"
#include "wallpaper/OriginalRecord.h"

namespace {

constexpr const char* kDesktopKey = "Control Panel\\Desktop";

struct TComposeCall {
    std::string source;
    int mode;
    std::string destination;
    TColor fill;
};

class ApplierTest : public ::testing::Test {
protected:
    // Hands every composition to the test's Composed.
    struct TTestComposer : TComposer {
        explicit TTestComposer(ApplierTest& test) : test(test) {}
        bool Run(const TComposeRequest& request, const TComposeSink& sink) const override {
            return test.Composed(request, sink);
        }
        ApplierTest& test;
    };
    // Records a composition of one bitmap and writes a token bitmap.
    virtual bool Composed(const TComposeRequest& request, const TComposeSink& sink) {
        const std::string destination = std::get<TMonitorBitmaps>(sink).files.front();
        if (composeHook) {
            return composeHook(destination);
        }
        composed.push_back({request.source, request.mode, destination, request.fillColor});
        if (composeThrows) {
            throw std::runtime_error("Error: GetDIBits failed");
        }
        if (!composeSucceeds) {
            return false;
        }
        WriteFileBytes(destination, "BM picture " + request.source);
        return true;
    }

    void SetUp() override {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
    }
    void TearDown() override { RegSetStore(std::make_shared<TMemoryRegistryStore>()); }

    std::unique_ptr<TDesktopWallpaperApplier> MakeApplier(TRecordingDesktop& desktop) {
        TApplierServices s;
        s.desktop = &desktop;
        s.composer = &composer;
        s.setHint = [this](const std::string& hint) { hints.push_back(hint); };
        s.warn = [this](const std::string& text) { warnings.push_back(text); };
        s.refused = [this](const std::string& text) { refusals.push_back(text); };
        s.dataFolder = dir.Path() + "/data/vantoria";
        s.background = work;
        s.screen = screen;
        return std::make_unique<TDesktopWallpaperApplier>(std::move(s));
    }

    // The start-up sequence of the main window.
    std::unique_ptr<TDesktopWallpaperApplier> Started(TRecordingDesktop& desktop) {
        auto applier = MakeApplier(desktop);
        applier->DetectActiveDesktop();
        applier->RememberOriginalWallpaper();
        applier->ReadOriginalStyle();
        desktop.calls.clear();
        return applier;
    }

    std::string Value(const char* name) {
        return RegReadText(HKEY_CURRENT_USER, kDesktopKey, name, "<absent>");
    }

    TTempDir dir;
    std::shared_ptr<TMemoryRegistryStore> store;
    std::vector<TComposeCall> composed;
    std::vector<std::string> hints;
    std::vector<std::string> warnings;
    std::vector<std::string> refusals;
    bool composeSucceeds = true;
    bool composeThrows = false;
    TBackgroundWork* work = nullptr;
    TTestComposer composer{*this};
    TScreenInfo* screen = nullptr;  // none: one display of no size
    // Composes in place of the recording composer, on the worker's thread.
    std::function<bool(const std::string& destination)> composeHook;
};

// Style and fitting mode chosen by the user, and what follows from them.
struct TStyleCase {
    std::uint8_t style;
    std::uint8_t fitMode;
    int composeMode;
    const char* tileWallpaper;
    const char* wallpaperStyle;
    std::optional<int> placement;
};

}  // namespace

TEST_F(ApplierTest, CompositionModeAndStyleFollowTheSettings) {
    const TStyleCase cases[] = {
        // A composed picture is centred, never stretched again by the desktop.
        {wsStretch, fmLetterBox, fmLetterBox, "0", "0", dpCenter},
        {wsStretch, fmStretch, fmStretch, "0", "0", dpCenter},
        {wsStretch, fmZoom, fmZoom, "0", "0", dpCenter},
        {wsTile, fmLetterBox, fmConvertOnly, "1", "0", dpTile},
        {wsCenter, fmZoom, fmConvertOnly, "0", "0", dpCenter},
        // A hand-edited fitting mode 3: an unscaled bitmap the desktop stretches.
        {wsStretch, 3, fmConvertOnly, "0", "2", dpStretch},
        // A style outside the three writes no style at all.
        {7, fmStretch, fmConvertOnly, "<absent>", "<absent>", std::nullopt},
    };
    for (const TStyleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << int(c.style) << " fit " << int(c.fitMode));
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        composed.clear();
        TRecordingDesktop desktop;
        auto applier = Started(desktop);
        applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{c.style, c.fitMode, 0x123456});

        ASSERT_EQ(composed.size(), 1u);
        EXPECT_EQ(composed[0].source, "/pictures/a.jpg");
        EXPECT_EQ(composed[0].mode, c.composeMode);
        EXPECT_EQ(composed[0].destination, applier->ConvertedWallpaperPath());
        EXPECT_EQ(composed[0].fill, 0x123456u);
        EXPECT_EQ(Value("TileWallpaper"), c.tileWallpaper);
        EXPECT_EQ(Value("WallpaperStyle"), c.wallpaperStyle);
        if (c.placement) {
            EXPECT_EQ(desktop.placements, std::vector<int>{*c.placement});
        } else {
            EXPECT_TRUE(desktop.placements.empty());
        }
        // The style reaches the desktop before the picture.
        ASSERT_FALSE(desktop.calls.empty());
        EXPECT_EQ(desktop.calls.back(), "SetWallpaperFile " + applier->ConvertedWallpaperPath());
        EXPECT_TRUE(applier->FWallpaperChanged);
        EXPECT_EQ(hints.back(), "Vantoria a.jpg");
    }
}

TEST_F(ApplierTest, ConvertedBitmapLivesInTheUsersDataFolder) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    EXPECT_EQ(applier->ConvertedWallpaperPath(), dir.Path() + "/data/vantoria/vantoria.bmp");
    // The folder does not exist yet: the first change creates it.
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    EXPECT_EQ(ReadFileBytes(applier->ConvertedWallpaperPath()), "BM picture /pictures/a.jpg");
    EXPECT_EQ(desktop.files.back(), applier->ConvertedWallpaperPath());
}

TEST_F(ApplierTest, FailedCompositionChangesNothing) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    hints.push_back("Vantoria before");
    composeSucceeds = false;
    applier->SetWallpaper("/pictures/broken.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    EXPECT_EQ(composed.size(), 1u);
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_FALSE(applier->FWallpaperChanged);
    EXPECT_EQ(hints, std::vector<std::string>{"Vantoria before"});
    EXPECT_EQ(Value("WallpaperStyle"), "<absent>");
    EXPECT_TRUE(warnings.empty());

    // A picture the decoder refuses is told once per run, with its reason.
    composeHook = [](const std::string&) {
        NoteDecodeRefusal("damaged");
        return false;
    };
    for (int round = 0; round < 2; ++round) {
        applier->SetWallpaper("/pictures/cut.png", TWallpaperChoice{wsStretch, fmZoom, 0});
    }
    EXPECT_EQ(refusals, std::vector<std::string>{"/pictures/cut.png: damaged"});
    EXPECT_EQ(applier->FLastRefusal, "/pictures/cut.png: damaged");
    composeHook = nullptr;

    // An error raised by the composer leaves the same way, to the caller.
    composeThrows = true;
    EXPECT_THROW(applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsStretch, fmZoom, 0}),
                 std::runtime_error);
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_FALSE(applier->FWallpaperChanged);
}

TEST_F(ApplierTest, StyleWriteFailureLeavesTheDesktopAlone) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    store->SetWritable(HKEY_CURRENT_USER, false);
    try {
        applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsTile, fmStretch, 0});
        FAIL() << "no error raised";
    } catch (const EJclRegistryError& e) {
        EXPECT_STREQ(e.what(), "Unable to open key \"Control Panel\\Desktop\" for write");
    }
    EXPECT_TRUE(applier->FWallpaperChanged);
    EXPECT_TRUE(desktop.files.empty());
}

TEST_F(ApplierTest, ChangesAreNotPersistedWhileAnOriginalIsRemembered) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    ASSERT_EQ(applier->FOriginalWallpaper, "/pictures/original.jpg");
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    applier->SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    EXPECT_EQ(desktop.persists, (std::vector<bool>{false, false}));

    // Remove Wallpaper forgets the original: from then on changes persist.
    applier->ForgetOriginalWallpaper();
    applier->SetWallpaper("", TWallpaperChoice{wsStretch, fmZoom, 0});
    applier->SetWallpaper("/pictures/c.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    EXPECT_EQ(desktop.persists, (std::vector<bool>{false, false, true, true}));
    // The empty name is no composition; style Stretch with mode convert-only.
    EXPECT_EQ(desktop.files[2], "");
    EXPECT_EQ(composed.size(), 3u);
    EXPECT_EQ(hints[2], "Vantoria ");
}

TEST_F(ApplierTest, RemoveThenResetLeavesTheDesktopWithoutWallpaper) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    applier->ForgetOriginalWallpaper();
    applier->SetWallpaper("", TWallpaperChoice{applier->FOriginalStyle, fmStretch, 0});
    desktop.calls.clear();
    applier->RestoreOriginalWallpaper(TWallpaperChoice{applier->FOriginalStyle, fmStretch, 0});
    EXPECT_EQ(desktop.calls.back(), "SetWallpaperFile ");
    for (const std::string& call : desktop.calls) {
        EXPECT_NE(call.rfind("RestoreState", 0), 0u) << call;
    }
}

TEST_F(ApplierTest, ResetPutsBackExactlyWhatTheDesktopShowed) {
    TRecordingDesktop desktop;
    desktop.placement = 5;  // a placement the three styles cannot express (zoom)
    auto applier = Started(desktop);
    EXPECT_EQ(applier->FOriginalStyle, wsTile);  // left as it was
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    composed.clear();
    desktop.calls.clear();
    applier->RestoreOriginalWallpaper(TWallpaperChoice{applier->FOriginalStyle, fmZoom, 0});
    EXPECT_TRUE(composed.empty());
    EXPECT_EQ(desktop.calls, std::vector<std::string>{"RestoreState state of the desktop"});
    EXPECT_EQ(hints.back(), "Vantoria original.jpg");
    EXPECT_EQ(Value("TileWallpaper"), "1");
}

TEST_F(ApplierTest, PolicyBlocksEveryChange) {
    TRecordingDesktop desktop;
    desktop.forbidden = true;
    auto applier = Started(desktop);
    EXPECT_FALSE(applier->FCanChangeWallpaper);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    applier->SetWallpaper("", TWallpaperChoice{wsStretch, fmZoom, 0});
    applier->RestoreOriginalWallpaper(TWallpaperChoice{wsStretch, fmZoom, 0});
    EXPECT_TRUE(composed.empty());
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_TRUE(hints.empty());
    EXPECT_FALSE(applier->FWallpaperChanged);

    // A painted desktop has no policy to ask.
    TRecordingDesktop painted;
    painted.hasSetting = false;
    painted.forbidden = true;
    auto other = MakeApplier(painted);
    other->DetectActiveDesktop();
    EXPECT_TRUE(other->FCanChangeWallpaper);
    EXPECT_FALSE(other->FUseActiveDesktop);
    EXPECT_TRUE(painted.calls.empty());
}

TEST_F(ApplierTest, OriginalStyleIsDecodedFromTheDesktop) {
    const std::pair<std::optional<int>, std::uint8_t> cases[] = {{dpCenter, wsCenter},
                                                                 {dpTile, wsTile},
                                                                 {dpStretch, wsStretch},
                                                                 {6, wsTile},
                                                                 {std::nullopt, wsCenter}};
    for (const auto& [placement, style] : cases) {
        TRecordingDesktop desktop;
        desktop.placement = placement;
        auto applier = Started(desktop);
        EXPECT_EQ(applier->FOriginalStyle, style) << placement.value_or(-99);
    }
}

TEST_F(ApplierTest, PaintedDesktopTakesTheStyleFromTheStyleValue) {
    const std::pair<const char*, std::uint8_t> cases[] = {{"2", wsStretch},  {"0", wsCenter},
                                                          {"1", wsTile},     {"6", wsTile},
                                                          {"abc", wsCenter}, {nullptr, wsCenter}};
    for (const auto& [text, style] : cases) {
        store = std::make_shared<TMemoryRegistryStore>();
        RegSetStore(store);
        RegEnsureKey(HKEY_CURRENT_USER, kDesktopKey);
        // "TileWallpaper" is not read: a tiled desktop comes back centred.
        RegWriteText(HKEY_CURRENT_USER, kDesktopKey, "TileWallpaper", "1");
        if (text) {
            RegWriteText(HKEY_CURRENT_USER, kDesktopKey, "WallpaperStyle", text);
        }
        TRecordingDesktop desktop;
        desktop.hasSetting = false;
        desktop.placement = dpStretch;  // not asked
        auto applier = Started(desktop);
        EXPECT_EQ(applier->FOriginalStyle, style) << (text ? text : "absent");
    }
}

TEST_F(ApplierTest, StartRecordsTheOriginalAndPrevWallpaper) {
    TRecordingDesktop desktop;
    desktop.current = std::string("/pictures/with\nnewline and \"quote\".jpg");
    auto applier = Started(desktop);
    EXPECT_EQ(Value("PrevWallpaper"), "/pictures/with\nnewline and \"quote\".jpg");
    const auto record = ReadOriginalRecord(applier->OriginalRecordPath());
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, (TOriginalRecord{"Recording", "/pictures/with\nnewline and \"quote\".jpg",
                                        dpStretch, "state of the desktop"}));
    // The data folder, where the pictures go, is the user's alone.
    struct stat folder {};
    ASSERT_EQ(
        ::stat(std::filesystem::path(applier->OriginalRecordPath()).parent_path().c_str(), &folder),
        0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    // So is the record, which names the user's files even where the folder
    // was made open by someone else.
    struct stat recordFile {};
    ASSERT_EQ(::stat(applier->OriginalRecordPath().c_str(), &recordFile), 0);
    EXPECT_EQ(recordFile.st_mode & 0777, 0600u);
    // An orderly end that changed nothing removes the record.
    applier->Finish();
    EXPECT_FALSE(std::filesystem::exists(applier->OriginalRecordPath()));
}

TEST_F(ApplierTest, RestartAfterACrashTakesTheOriginalFromTheRecord) {
    TRecordingDesktop desktop;
    std::string converted;
    {
        auto first = Started(desktop);
        first->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
        converted = first->ConvertedWallpaperPath();
        // The program is killed here: no reset, no Finish.
    }
    ASSERT_EQ(desktop.current, converted);
    desktop.state = "state showing our own bitmap";
    desktop.placement = dpCenter;

    auto second = Started(desktop);
    // Even a run that changes nothing must put the original back at its end.
    EXPECT_TRUE(second->FWallpaperChanged);
    EXPECT_EQ(second->FOriginalWallpaper, "/pictures/original.jpg");
    EXPECT_EQ(second->FOriginalStyle, wsStretch);
    EXPECT_EQ(Value("PrevWallpaper"), "/pictures/original.jpg");
    second->SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    second->RestoreOriginalWallpaper(TWallpaperChoice{second->FOriginalStyle, fmStretch, 0});
    EXPECT_EQ(desktop.calls.back(), "RestoreState state of the desktop");
    second->Finish();
    EXPECT_FALSE(std::filesystem::exists(second->OriginalRecordPath()));
}

TEST_F(ApplierTest, RecordStaysWhenTheOriginalCouldNotBePutBack) {
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    desktop.refuse = true;  // the desktop is already gone at log-off
    applier->RestoreOriginalWallpaper(TWallpaperChoice{applier->FOriginalStyle, fmStretch, 0});
    applier->Finish();
    EXPECT_TRUE(ReadOriginalRecord(applier->OriginalRecordPath()).has_value());
}

TEST_F(ApplierTest, OwnBitmapWithoutRecordGivesNoOriginal) {
    TRecordingDesktop desktop;
    auto applier = MakeApplier(desktop);
    desktop.current = applier->ConvertedWallpaperPath();
    applier->DetectActiveDesktop();
    applier->RememberOriginalWallpaper();
    EXPECT_EQ(applier->FOriginalWallpaper, "");
}

TEST_F(ApplierTest, RefusedChangeWarnsOnceAndLogsEveryTime) {
    TRecordingDesktop desktop;
    desktop.refuse = true;
    auto applier = Started(desktop);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    applier->SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsCenter, fmStretch, 0});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("refused by the test"), std::string::npos);
}

namespace {
std::vector<std::string>* gLogLines = nullptr;
void CollectLog(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (gLogLines && QByteArray(context.category) == "vantoria.wallpaper") {
        gLogLines->push_back(message.toStdString());
    }
}
}  // namespace

TEST_F(ApplierTest, DebugLinesNameTheGivenFile) {
    std::vector<std::string> lines;
    gLogLines = &lines;
    QLoggingCategory::setFilterRules(QStringLiteral("vantoria.wallpaper.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(CollectLog);
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    TRecordingDesktop painted;
    painted.hasSetting = false;
    auto other = Started(painted);
    other->SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    gLogLines = nullptr;
    EXPECT_EQ(lines, (std::vector<std::string>{"Original wallpaper is /pictures/original.jpg",
                                               "Active desktop call: /pictures/a.jpg",
                                               "Original wallpaper is /pictures/original.jpg"}));
}

// Changes composed in the background keep the order the user sees: one at a
// time, the latest of those asked for meanwhile next, the desktop, the hint
// and FWallpaperChanged only once the change arrives, and nothing after a
// failure.
TEST_F(ApplierTest, BackgroundChangesArriveOneAtATimeAndCollapseToTheLatest) {
    TManualWork manual;
    work = &manual;
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    const TWallpaperChoice centre{wsCenter, fmStretch, 0};
    applier->SetWallpaper("/pictures/a.jpg", centre);
    applier->SetWallpaper("/pictures/b.jpg", centre);
    applier->SetWallpaper("/pictures/c.jpg", centre);
    EXPECT_TRUE(applier->Busy());
    ASSERT_EQ(manual.pieces.size(), 1u) << "one change at a time";
    manual.Wait();  // composed, not yet arrived
    EXPECT_EQ(composed.size(), 1u);
    EXPECT_TRUE(desktop.files.empty());
    EXPECT_TRUE(hints.empty());
    EXPECT_FALSE(applier->FWallpaperChanged);

    manual.Deliver();
    EXPECT_EQ(desktop.files, std::vector<std::string>{applier->ConvertedWallpaperPath()});
    EXPECT_EQ(hints, std::vector<std::string>{"Vantoria a.jpg"});
    EXPECT_TRUE(applier->FWallpaperChanged);
    ASSERT_EQ(manual.pieces.size(), 2u) << "the latest waiting change starts at once";
    manual.DeliverAll();
    ASSERT_EQ(composed.size(), 2u);
    EXPECT_EQ(composed[1].source, "/pictures/c.jpg");
    EXPECT_EQ(hints.back(), "Vantoria c.jpg");
    EXPECT_FALSE(applier->Busy());

    composeSucceeds = false;
    applier->SetWallpaper("/pictures/d.jpg", TWallpaperChoice{wsTile, fmStretch, 0});
    manual.DeliverAll();
    EXPECT_EQ(desktop.files.size(), 2u);
    EXPECT_EQ(hints.back(), "Vantoria c.jpg");
    EXPECT_EQ(Value("TileWallpaper"), "0") << "a failure writes no style";
    composeSucceeds = true;
    composeThrows = true;
    applier->SetWallpaper("/pictures/e.jpg", centre);
    manual.DeliverAll();
    EXPECT_EQ(desktop.files.size(), 2u);
}

// Reset and the end of the program let a change on its way arrive, drop the
// ones asked for after it, and only then put the original back; a first
// change still on its way counts as a change.
TEST_F(ApplierTest, ResetWaitsForTheChangeOnItsWay) {
    TManualWork manual;
    work = &manual;
    TRecordingDesktop desktop;
    auto applier = Started(desktop);
    applier->SetWallpaper("/pictures/a.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    applier->SetWallpaper("/pictures/b.jpg", TWallpaperChoice{wsStretch, fmZoom, 0});
    EXPECT_FALSE(applier->FWallpaperChanged);
    applier->Settle();
    EXPECT_TRUE(applier->FWallpaperChanged);
    applier->RestoreOriginalWallpaper(TWallpaperChoice{applier->FOriginalStyle, fmZoom, 0});
    manual.DeliverAll();  // the completion posted by the thread arrives late
    EXPECT_EQ(desktop.calls,
              (std::vector<std::string>{"SetPlacement 0",
                                        "SetWallpaperFile " + applier->ConvertedWallpaperPath(),
                                        "RestoreState state of the desktop"}));
    EXPECT_EQ(composed.size(), 1u);
    EXPECT_EQ(hints, (std::vector<std::string>{"Vantoria a.jpg", "Vantoria original.jpg"}));
    applier->Finish();
    EXPECT_FALSE(std::filesystem::exists(applier->OriginalRecordPath()));
}

// The end never waits for a decode: a decoding child is killed, and work
// that cannot be stopped (a picture being scaled) is left to itself and
// hands nothing to the desktop. Either end waiting would hang here.
TEST_F(ApplierTest, TheEndPutsTheOriginalBackWhileAPictureIsDecoded) {
    // FreeImage's XBM reader loops for ever on a list cut short; here its
    // decode may take an hour of CPU time.
    const std::string cut = dir.File("cut.xbm");
    WriteFileBytes(cut, "#define a_width 8\n#define a_height 8\nstatic char a_bits[] = {\n0x00 };");
    struct TRow {
        const char* name;
        bool inChild;
    };
    for (const TRow row : {TRow{"decoding child", true}, TRow{"work of the thread", false}}) {
        SCOPED_TRACE(row.name);
        std::mutex postedLock;
        std::vector<std::function<void()>> posted;
        TThreadWork thread([&](std::function<void()> done) {
            const std::lock_guard<std::mutex> lock(postedLock);
            posted.push_back(std::move(done));
        });
        work = &thread;
        TRecordingDesktop desktop;
        std::promise<void> started;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::promise<void> finished;
        composeHook = [&](const std::string& destination) {
            started.set_value();
            bool composed = false;
            if (row.inChild) {
                TDecodeBudget endless;
                endless.cpuSeconds = 3600;
                TFreeBitmap image;
                std::string refusal;
                composed = DecodeInChild(
                    FIF_XBM, cut, 0, endless, [](TFreeBitmap&) { return std::string(); }, image,
                    refusal);
                NoteDecodeRefusal(refusal);
            } else {
                released.wait();
                WriteFileBytes(destination, "BM late");
                composed = true;
            }
            finished.set_value();
            return composed;
        };
        auto applier = Started(desktop);
        applier->SetWallpaper(cut, TWallpaperChoice{wsStretch, fmZoom, 0});
        started.get_future().wait();
        while (row.inChild && RunningDecodeChildren() == 0) {
            std::this_thread::yield();  // the child is on its way
        }
        applier->FEnding = true;
        applier->Settle();
        applier->RestoreOriginalWallpaper(TWallpaperChoice{applier->FOriginalStyle, fmZoom, 0});
        applier->Finish();
        release.set_value();
        finished.get_future().wait();
        EXPECT_EQ(desktop.calls, (std::vector<std::string>{"RestoreState state of the desktop"}));
        if (row.inChild) {
            EXPECT_NE(applier->FLastRefusal.find("ending"), std::string::npos)
                << applier->FLastRefusal;
        }
        thread.Wait();  // the thread of the first row has ended
    }
}

TEST(OriginalRecordTest, RoundTripsAnyBytesAndRejectsDamage) {
    TTempDir dir;
    const std::string path = dir.File("record");
    const TOriginalRecord record{"GNOME", std::string("/a\n\\b\0c\xff.jpg", 12), -1,
                                 "picture-uri\t='file:///x'\n"};
    ASSERT_TRUE(WriteOriginalRecord(path, record));
    EXPECT_EQ(ReadOriginalRecord(path), record);
    const std::string bytes = ReadFileBytes(path);
    // A torn or damaged file is no record.
    WriteFileBytes(path, bytes.substr(0, bytes.size() - 3));
    EXPECT_FALSE(ReadOriginalRecord(path).has_value());
    WriteFileBytes(path, bytes + "x");
    EXPECT_FALSE(ReadOriginalRecord(path).has_value());
    EXPECT_FALSE(ReadOriginalRecord(dir.File("absent")).has_value());
    // A pipe or a device in its place is not waited for, nor read without end.
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(ReadOriginalRecord(dir.File("pipe")).has_value());
    EXPECT_FALSE(ReadOriginalRecord("/dev/zero").has_value());
}

namespace {

// 1920x1080 primary, 1280x1024 to its right.
const std::vector<TMonitor> kTwoMonitors = {{"DP-1", 0, 0, 1920, 1080, true},
                                            {"DP-2", 1920, 0, 1280, 1024, false}};

class MonitorsTest : public ApplierTest {
protected:
    std::unique_ptr<TDesktopWallpaperApplier> StartedOnDesk(TRecordingDesktop& desktop,
                                                            std::vector<TMonitor> monitors) {
        desk.SetMonitors(std::move(monitors));
        screen = &desk;
        auto applier = MakeApplier(desktop);
        applier->DetectActiveDesktop();
        applier->RememberOriginalWallpaper();
        applier->ReadOriginalStyle();
        desktop.calls.clear();
        desktop.placements.clear();
        return applier;
    }
    // Records each composition as a line: what was composed, for which
    // monitors, into what.
    bool Composed(const TComposeRequest& r, const TComposeSink& sink) override {
        const std::string mode = std::to_string(r.mode);
        if (const auto* bitmaps = std::get_if<TMonitorBitmaps>(&sink)) {
            if (bitmaps->files.size() == 1) {
                calls.push_back("compose " + mode + " " + FileNamePart(bitmaps->files[0]));
                WriteFileBytes(bitmaps->files[0], "BM picture " + r.source);
            } else {
                std::string call = "monitors " + mode + " " + std::to_string(r.depth);
                for (std::size_t i = 0; i < r.monitors.size(); ++i) {
                    call += " " + r.monitors[i].name + "=" + FileNamePart(bitmaps->files[i]);
                }
                calls.push_back(call);
            }
        } else if (const auto* spanning = std::get_if<TSpanningBitmap>(&sink)) {
            calls.push_back("spanned " + mode + " " + FileNamePart(spanning->file) + " " +
                            std::to_string(r.monitors.size()));
        } else {
            const TScreenParts& parts = std::get<TScreenParts>(sink);
            calls.push_back("root " + mode + " " + std::to_string(r.placement) + " " +
                            std::to_string(r.monitors.size()) + " " +
                            std::to_string(parts.size.width) + "x" +
                            std::to_string(parts.size.height));
        }
        return composeSucceeds;
    }

    TFixedScreenInfo desk{TScreenSize{1920, 1080, 24}};
    std::vector<std::string> calls;
    const TWallpaperChoice letterBox{wsStretch, fmLetterBox, 0x0000FF};
    const TWallpaperChoice tile{wsTile, fmLetterBox, 0};
};

}  // namespace

TEST_F(MonitorsTest, PerMonitorDesktopsGetABitmapComposedForEachMonitor) {
    TRecordingDesktop desktop;
    desktop.perMonitor = true;
    auto applier = StartedOnDesk(desktop, kTwoMonitors);
    const std::string folder = dir.Path() + "/data/vantoria/";

    applier->SetWallpaper("/pictures/a.png", letterBox);
    EXPECT_EQ(calls, std::vector<std::string>{
                         "monitors 1 24 DP-1=vantoria-monitor1.bmp DP-2=vantoria-monitor2.bmp"});
    EXPECT_EQ(desktop.calls, (std::vector<std::string>{"SetPlacement 0",
                                                       "SetMonitorWallpaperFiles DP-1=" + folder +
                                                           "vantoria-monitor1.bmp DP-2=" + folder +
                                                           "vantoria-monitor2.bmp"}));
    // So are the names desktops that cache by name are handed (FreshNames).
    for (const char* name :
         {"vantoria-monitor2.bmp", "vantoria-1.bmp", "vantoria-2.bmp", "vantoria-monitor1-b.bmp"}) {
        EXPECT_TRUE(applier->IsOwnWallpaper(folder + name)) << name;
    }
    EXPECT_EQ(hints.back(), "Vantoria a.png");

    // An unscaled picture: the one converted bitmap on every monitor.
    calls.clear();
    desktop.calls.clear();
    applier->SetWallpaper("/pictures/b.png", tile);
    EXPECT_EQ(calls, std::vector<std::string>{"compose 3 vantoria.bmp"});
    EXPECT_EQ(desktop.calls,
              (std::vector<std::string>{"SetPlacement 1",
                                        "SetMonitorWallpaperFiles DP-1=" + folder +
                                            "vantoria.bmp DP-2=" + folder + "vantoria.bmp"}));
}

// MonitorSlides: a desktop of a file per monitor gets each monitor's bitmap
// composed from its own picture, a tiled one too; a spanning desktop takes
// one picture, the first.
TEST_F(MonitorsTest, EachMonitorItsOwnPictureWhereTheDesktopTakesOnePerMonitor) {
    const std::string folder = dir.Path() + "/data/vantoria/";
    for (const TWallpaperChoice& choice : {letterBox, tile}) {
        TRecordingDesktop desktop;
        desktop.perMonitor = true;
        auto applier = StartedOnDesk(desktop, kTwoMonitors);
        calls.clear();
        EXPECT_EQ(applier->PicturesAtOnce(), 2u);
        applier->SetMonitorWallpapers({"/pictures/a.png", "/pictures/b.png"}, choice);
        const std::string mode = std::to_string(choice.style == wsStretch ? fmLetterBox : 3);
        EXPECT_EQ(calls, (std::vector<std::string>{"compose " + mode + " vantoria-monitor1.bmp",
                                                   "compose " + mode + " vantoria-monitor2.bmp"}));
        EXPECT_EQ(ReadFileBytes(folder + "vantoria-monitor2.bmp"), "BM picture /pictures/b.png");
        EXPECT_EQ(desktop.calls.back(), "SetMonitorWallpaperFiles DP-1=" + folder +
                                            "vantoria-monitor1.bmp DP-2=" + folder +
                                            "vantoria-monitor2.bmp");
    }
    TRecordingDesktop spanning;
    spanning.spanning = true;
    auto applier = StartedOnDesk(spanning, kTwoMonitors);
    calls.clear();
    EXPECT_EQ(applier->PicturesAtOnce(), 1u);
    applier->SetMonitorWallpapers({"/pictures/a.png", "/pictures/b.png"}, tile);
    EXPECT_EQ(calls, std::vector<std::string>{"compose 3 vantoria.bmp"});
    EXPECT_EQ(ReadFileBytes(folder + "vantoria.bmp"), "BM picture /pictures/a.png");
}

TEST_F(MonitorsTest, SpanningDesktopsGetOneBitmapOfTheWholeDesk) {
    TRecordingDesktop desktop;
    desktop.spanning = true;
    auto applier = StartedOnDesk(desktop, kTwoMonitors);
    const std::string bitmap = applier->ConvertedWallpaperPath();

    applier->SetWallpaper("/pictures/a.png", TWallpaperChoice{wsStretch, fmZoom, 0});
    EXPECT_EQ(calls, std::vector<std::string>{"spanned 2 vantoria.bmp 2"});
    EXPECT_EQ(desktop.calls, std::vector<std::string>{"SetSpanningWallpaperFile " + bitmap});
    // Tiles and centred pictures are placed on each monitor by the desktop.
    calls.clear();
    desktop.calls.clear();
    applier->SetWallpaper("/pictures/b.png", tile);
    EXPECT_EQ(calls, std::vector<std::string>{"compose 3 vantoria.bmp"});
    EXPECT_EQ(desktop.calls,
              (std::vector<std::string>{"SetPlacement 1", "SetWallpaperFile " + bitmap}));
}

TEST_F(MonitorsTest, RootGetsEveryMonitorsPictureAndOneMonitorKeepsTodaysRoad) {
    TRecordingDesktop desktop;
    desktop.paints = true;
    desktop.hasSetting = false;
    auto applier = StartedOnDesk(desktop, kTwoMonitors);
    applier->SetWallpaper("/pictures/a.png", tile);
    EXPECT_EQ(calls, std::vector<std::string>{"root 3 1 2 3200x1080"});

    // One monitor: the same calls as before monitors were known.
    for (const bool perMonitor : {true, false}) {
        TRecordingDesktop single;
        single.perMonitor = perMonitor;
        single.spanning = !perMonitor;
        auto one = StartedOnDesk(single, {{"DP-1", 0, 0, 1920, 1080, true}});
        calls.clear();
        one->SetWallpaper("/pictures/a.png", letterBox);
        EXPECT_EQ(calls, std::vector<std::string>{"compose 1 vantoria.bmp"});
        EXPECT_EQ(single.calls,
                  (std::vector<std::string>{"SetPlacement 0",
                                            "SetWallpaperFile " + one->ConvertedWallpaperPath()}));
    }
}

TEST_F(MonitorsTest, FailedOrRefusedPerMonitorChangesLeaveTheDesktopAlone) {
    TRecordingDesktop desktop;
    desktop.perMonitor = true;
    auto applier = StartedOnDesk(desktop, kTwoMonitors);
    composeSucceeds = false;
    applier->SetWallpaper("/pictures/a.png", letterBox);
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_FALSE(applier->FWallpaperChanged);
    EXPECT_TRUE(hints.empty());

    // Composed off the GUI thread, handed over on it.
    TManualWork manual;
    work = &manual;
    TRecordingDesktop threaded;
    threaded.spanning = true;
    auto background = StartedOnDesk(threaded, kTwoMonitors);
    composeSucceeds = true;
    background->SetWallpaper("/pictures/a.png", letterBox);
    background->SetWallpaper("/pictures/b.png", letterBox);
    EXPECT_TRUE(threaded.calls.empty());
    manual.DeliverAll();
    EXPECT_EQ(threaded.calls.size(), 2u);  // two changes
    EXPECT_EQ(hints.back(), "Vantoria b.png");
}
