#include "wallpaper/DesktopWallpaperApplier.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>

#include "platform/DesktopBackend.h"
#include "platform/Translate.h"
#include "registry/JclRegistry.h"
#include "wallpaper/BackgroundWork.h"
#include "wallpaper/Composer.h"
#include "wallpaper/DebugLog.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/OriginalRecord.h"
#include "wallpaper/WindowsRestrictions.h"

namespace {

// Who has a change once its picture is composed: the worker handing it to a
// painter, or the program's end, which leaves a change still composing to
// itself. Whoever comes first.
constexpr int kComposing = 0, kHandingOver = 1, kLeft = 2;
bool Claim(std::atomic<int>& owner, int who) {
    int expected = kComposing;
    return owner.compare_exchange_strong(expected, who);
}

constexpr const char* kDesktopKey = "Control Panel\\Desktop";

// The desktop style values per style: "TileWallpaper", "WallpaperStyle".
struct TStyleValues {
    const char* tile;
    const char* style;
    TDesktopPlacement placement;
};
constexpr TStyleValues kStyleValues[] = {
    {"1", "0", dpTile},     // wsTile
    {"0", "0", dpCenter},   // wsCenter
    {"0", "2", dpStretch},  // wsStretch
};

std::filesystem::path FsPath(const std::string& bytes) {
    return std::filesystem::path(bytes);
}

// The number a "WallpaperStyle" text holds; 0 when it holds none.
int StyleNumber(const std::string& text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return n;
}

}  // namespace

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One change on its way to the desktop: planned on the caller's thread,
// composed (and painted, for painting desktops) by Work, ended by Complete.
struct TDesktopWallpaperApplier::TChange {
    enum class TRoute {
        kFile,          // one file, placed by the desktop on every monitor alike
        kMonitorFiles,  // a file for each monitor
        kSpanning,      // one file spanning the box around all monitors
        kPaint,         // pixel parts for a painter
    };
    std::string fileName;
    TComposeRequest request;
    // Each monitor's own picture (of request.monitors, or of the painter's
    // outputs in turn); empty: `fileName` on every monitor.
    std::vector<std::string> sources;
    TComposeSink sink;
    TRoute route = TRoute::kFile;
    std::uint8_t style = wsCenter;    // the style values written
    std::vector<TMonitorFile> files;  // what the desktop is given: the bitmaps, or ""
    bool atOnce = false;              // run on the caller's thread, failures raised to it
    bool fitted = false;              // composed at each monitor's size in device pixels
    bool composed = false;
    bool painted = false;  // painted inside Work: only the style values and hint remain
    bool taken = false;
    std::string error;
    std::string refusal;  // why the composer refused the picture
    std::exception_ptr failure;
    bool completed = false;
    std::atomic<int> owner{kComposing};
};

TDesktopWallpaperApplier::TDesktopWallpaperApplier(TApplierServices services)
    : services_(std::move(services)) {}

TDesktopWallpaperApplier::~TDesktopWallpaperApplier() {
    // The work refers to this applier: it must be over first.
    if (inFlight_ && services_.background) {
        services_.background->Wait();
    }
}

std::string TDesktopWallpaperApplier::ConvertedWallpaperPath() const {
    return services_.dataFolder + "/vantoria.bmp";
}

std::string TDesktopWallpaperApplier::OriginalRecordPath() const {
    return services_.dataFolder + "/original-wallpaper";
}

bool TDesktopWallpaperApplier::IsOwnWallpaper(const std::string& path) const {
    // The bitmap, and the copies of it desktops are handed ("vantoria-1.bmp",
    // "vantoria-shown-<n>.bmp"), all in the data folder.
    const std::string folder = services_.dataFolder + "/";
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    const std::string name = path.substr(folder.size());
    return name.find('/') == std::string::npos && name.rfind("vantoria", 0) == 0 &&
           name.size() >= 12 && name.compare(name.size() - 4, 4, ".bmp") == 0;
}

void TDesktopWallpaperApplier::DetectActiveDesktop() {
    FCanChangeWallpaper = true;
    FUseActiveDesktop = false;
    // The style values are written at every change; their key must exist.
    try {
        RegEnsureKey(HKEY_CURRENT_USER, kDesktopKey);
    } catch (const EJclRegistryError& e) {
        qCWarning(lcWallpaper, "%s", e.what());
    }
    if (!services_.desktop->Setting()) {
        return;
    }
    FUseActiveDesktop = true;
    FCanChangeWallpaper = IsRestricted(*services_.desktop, REST_NOCHANGINGWALLPAPER) == 0;
    if (!FCanChangeWallpaper) {
        qCWarning(lcWallpaper, "the %s desktop's policy forbids wallpaper changes: %s",
                  services_.desktop->Name().c_str(), services_.desktop->LastError().c_str());
    }
}

void TDesktopWallpaperApplier::RememberOriginalWallpaper() {
    if (!ReadOriginal()) {
        qCWarning(lcWallpaper,
                  "the wallpaper in use cannot be read (%s): it is read again before the first "
                  "change",
                  services_.desktop->LastError().c_str());
    }
}

bool TDesktopWallpaperApplier::ReadOriginal() {
    TDesktopBackend& desktop = *services_.desktop;
    TWallpaperState* state = desktop.State();
    // The record and the desktop's own copies live in the data folder, which
    // others may not read: the pictures may be private photographs. Why the
    // original cannot be recorded, when it cannot.
    std::string unrecorded = MakePrivateFolder(services_.dataFolder);
    const std::optional<std::string> current =
        state ? state->CurrentWallpaperFile() : std::optional<std::string>();
    // A shell not there yet (or restarting) shows nothing that could be
    // recorded: an empty record would later "restore" no wallpaper at all.
    originalUnknown_ = !current && state && !desktop.Present();
    if (originalUnknown_) {
        FOriginalWallpaper.clear();
        originalState_.clear();
        return false;
    }
    if (!current) {
        qCWarning(lcWallpaper, "the wallpaper in use cannot be read: %s",
                  desktop.LastError().c_str());
    }
    const std::optional<TOriginalRecord> record =
        unrecorded.empty() ? ReadOriginalRecord(OriginalRecordPath()) : std::nullopt;
    bool fromRecord = false;
    if (current && IsOwnWallpaper(*current)) {
        // An earlier run ended without putting the original back: the desktop
        // still shows our bitmap, and the original is the one recorded then.
        if (record && record->desktop == desktop.Name()) {
            FOriginalWallpaper = record->wallpaper;
            originalState_ = record->state;
            originalPlacement_ = record->placement;
            fromRecord = true;
        } else {
            FOriginalWallpaper.clear();
            originalState_.clear();
        }
    } else {
        FOriginalWallpaper = current.value_or(std::string());
        if (unrecorded.empty()) {
            // A desktop that keeps a copy of what it shows (the plain X root's
            // pixels) says so in its error when the copy cannot be written.
            const std::string errorBefore = desktop.LastError();
            originalState_ = state ? state->SaveState() : std::string();
            if (originalState_.empty() && desktop.LastError() != errorBefore) {
                unrecorded = desktop.LastError();
            }
        }
    }
    if (!fromRecord) {
        if (FUseActiveDesktop) {
            const std::optional<int> placement = desktop.Setting()->CurrentPlacement();
            originalPlacement_ = placement.value_or(dpCenter);
        } else {
            try {
                originalPlacement_ = StyleNumber(
                    RegReadTextStrict(HKEY_CURRENT_USER, kDesktopKey, "WallpaperStyle"));
            } catch (const EJclRegistryError&) {
                originalPlacement_ = 0;
            }
        }
    }
    DebugLog("Original wallpaper is " + FOriginalWallpaper);
    try {
        RegWriteText(HKEY_CURRENT_USER, kDesktopKey, "PrevWallpaper", FOriginalWallpaper);
    } catch (const EJclRegistryError&) {
    }
    desktopShowsOriginal_ = !fromRecord;
    // The desktop shows our bitmap, not the original: an orderly end and Reset
    // to Default must put the original back even when this run changes nothing.
    if (fromRecord) {
        FWallpaperChanged = true;
    }
    if (FCanChangeWallpaper) {
        // A record that already says the same is not written again.
        const TOriginalRecord now{desktop.Name(), FOriginalWallpaper, originalPlacement_,
                                  originalState_};
        if (unrecorded.empty() && record != now &&
            !WriteOriginalRecord(OriginalRecordPath(), now)) {
            unrecorded =
                TextArgs(TrText("TDesktopWallpaperApplier",
                                "the record of the original wallpaper cannot be written to %1"),
                         {OriginalRecordPath()});
        }
        // What the desktop shows could not be put back after a change (a full
        // or read-only disk, a folder of someone else's): it is left alone.
        // An earlier run's record, read above, still serves.
        // The first change asked for says why nothing changes.
        if (!unrecorded.empty() && !fromRecord) {
            FCanChangeWallpaper = false;
            unrecorded_ = TextArgs(
                TrText("TDesktopWallpaperApplier",
                       "the wallpaper in use cannot be recorded to be put back later (%1)"),
                {unrecorded});
            qCWarning(lcWallpaper, "%s", unrecorded_.c_str());
        }
    }
    return true;
}

void TDesktopWallpaperApplier::ReadOriginalStyle() {
    switch (originalPlacement_) {
        case dpCenter:
            FOriginalStyle = wsCenter;
            break;
        case dpTile:
            FOriginalStyle = wsTile;
            break;
        case dpStretch:
            FOriginalStyle = wsStretch;
            break;
        default:
            break;
    }
}

void TDesktopWallpaperApplier::WriteStyleValues(std::uint8_t style) {
    if (style > wsStretch) {
        return;
    }
    const TStyleValues& values = kStyleValues[style];
    // Every slide writes the same values; the settings file is rewritten only
    // when one of them changes.
    for (const auto& [name, text] :
         {std::pair{"TileWallpaper", values.tile}, std::pair{"WallpaperStyle", values.style}}) {
        if (RegReadText(HKEY_CURRENT_USER, kDesktopKey, name, "") != text) {
            try {
                RegWriteText(HKEY_CURRENT_USER, kDesktopKey, name, text);
            } catch (const EJclRegistryError& e) {
                if (!restoring_) {
                    throw;
                }
                // The original goes back all the same; the failure is said.
                FRestoreProblem = std::string("the style values cannot be written: ") + e.what();
            }
        }
    }
}

void TDesktopWallpaperApplier::SetWallpaper(const std::string& fileName,
                                            const TWallpaperChoice& choice) {
    SetMonitorWallpapers({fileName}, choice);
}

std::size_t TDesktopWallpaperApplier::PicturesAtOnce() {
    const std::size_t monitors = services_.screen ? services_.screen->Monitors().size() : 1;
    if (monitors < 2) {
        return 1;
    }
    TDesktopBackend& desktop = *services_.desktop;
    if (desktop.Painter() || desktop.MonitorFiles()) {
        return monitors;
    }
    if (!toldOnePicture_) {
        toldOnePicture_ = true;
        qCInfo(lcWallpaper,
               "the %s desktop shows one picture on all monitors: each monitor gets the same",
               desktop.Name().c_str());
    }
    return 1;
}

void TDesktopWallpaperApplier::SetMonitorWallpapers(const std::vector<std::string>& files,
                                                    const TWallpaperChoice& choice) {
    const std::string fileName = files.empty() ? std::string() : files.front();
    if (!FCanChangeWallpaper) {
        if (!unrecorded_.empty()) {
            ReportFailure(unrecorded_);
        }
        // The entry on screen stays the one the show names.
        if (FChangesEnded) {
            FChangesEnded(unrecorded_.empty() ? "wallpaper changes are locked on this desktop"
                                              : unrecorded_);
        }
        return;
    }
    if (inFlight_) {
        waiting_.emplace(files, choice);
        return;
    }
    if (originalUnknown_) {
        // The desktop was not there at start: what it shows now is the
        // original, read before anything of ours reaches it.
        if (!ReadOriginal()) {
            ReportFailure(services_.desktop->LastError());
            if (FChangesEnded) {
                FChangesEnded("the desktop did not take the picture: " + lastFailure_);
            }
            return;
        }
        ReadOriginalStyle();
        DebugLog("Original wallpaper read once the desktop was there: " + FOriginalWallpaper);
    }
    Run(Plan(fileName, choice, files), services_.background);
}

std::shared_ptr<TDesktopWallpaperApplier::TChange> TDesktopWallpaperApplier::Plan(
    const std::string& fileName, const TWallpaperChoice& choice,
    const std::vector<std::string>& pictures) {
    TDesktopBackend& desktop = *services_.desktop;
    auto change = std::make_shared<TChange>();
    change->fileName = fileName;
    TComposeRequest& request = change->request;
    request.source = fileName;
    request.fillColor = choice.fillColor;
    std::string converted;
    if (!fileName.empty()) {
        request.mode =
            choice.style == wsStretch ? static_cast<TFitMode>(choice.fitMode) : fmConvertOnly;
        converted = ConvertedWallpaperPath();
        MakePrivateFolder(services_.dataFolder);
    }
    // A composed picture already fits the display and the desktop centres it,
    // so the desktop is never asked to stretch one.
    const bool fitted = request.mode != fmConvertOnly;
    change->fitted = fitted;
    change->style = fitted ? std::uint8_t{wsCenter} : choice.style;
    if (change->style <= wsStretch) {
        placement_ = kStyleValues[change->style].placement;
    }
    request.placement = placement_;
    const TScreenSize display =
        services_.screen ? services_.screen->PrimaryScreenSize() : TScreenSize{};
    // A composed picture is opaque: 24 bits a pixel, a quarter less to write
    // and for the desktop to read than 32.
    request.depth = 24;
    std::vector<TMonitor> monitors;
    if (services_.screen && !fileName.empty()) {
        monitors = services_.screen->Monitors();
    }
    // One file composed for the primary display, unless the desk and the
    // desktop call for more.
    const TMonitor primary{"", 0, 0, display.width, display.height, true};
    request.monitors = {primary};
    change->sink = TMonitorBitmaps{{converted}};
    change->files = {TMonitorFile{primary, converted}};
    const bool several = monitors.size() >= 2;
    // Each monitor its own picture, taken in turn from `pictures` (the
    // first is `fileName`): only where the desktop takes one per monitor.
    const bool own = several && pictures.size() >= 2 && !fileName.empty() &&
                     (desktop.Painter() || desktop.MonitorFiles());
    if (own) {
        const std::size_t count =
            desktop.Painter() && desktop.Painter()->PerOutput() ? pictures.size() : monitors.size();
        for (std::size_t i = 0; i < count; ++i) {
            change->sources.push_back(pictures[i % pictures.size()]);
        }
    }
    if (!fileName.empty() && desktop.Painter()) {
        // The painter tells the screen's size: a single monitor is the whole
        // screen, several are placed on it; a painter of each output asks
        // for each output's picture as a screen of its own.
        change->route = TChange::TRoute::kPaint;
        request.monitors =
            several && !desktop.Painter()->PerOutput() ? monitors : std::vector<TMonitor>{};
    } else if (several && desktop.MonitorFiles()) {
        // A bitmap of its own for each monitor; an unscaled picture is the
        // same for all: the one bitmap.
        change->route = TChange::TRoute::kMonitorFiles;
        change->files.clear();
        std::vector<std::string> bitmaps;
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            bitmaps.push_back(fitted || own ? services_.dataFolder + "/vantoria-monitor" +
                                                  std::to_string(i + 1) + ".bmp"
                                            : converted);
            change->files.push_back(TMonitorFile{monitors[i], bitmaps.back()});
        }
        if (fitted || own) {
            request.monitors = std::move(monitors);
            change->sink = TMonitorBitmaps{std::move(bitmaps)};
        }
    } else if (several && fitted && desktop.SpanningFile()) {
        // The desktop places an unscaled picture on each monitor itself.
        change->route = TChange::TRoute::kSpanning;
        request.monitors = std::move(monitors);
        change->sink = TSpanningBitmap{converted};
    }
    return change;
}

void TDesktopWallpaperApplier::Run(const std::shared_ptr<TChange>& change,
                                   TBackgroundWork* background) {
    inFlight_ = change;
    if (!background) {
        change->atOnce = true;
        Work(*change);
        Complete(change);
        return;
    }
    std::weak_ptr<int> alive = alive_;
    background->Run([this, change] { Work(*change); },
                    [this, change, alive] {
                        if (!alive.expired()) {
                            Complete(change);
                        }
                    });
}

namespace {

// The composer's parts of the screen, for a painter that tells the screen's size.
class TChangeDraw final : public TPictureDraw {
public:
    TChangeDraw(const TComposer& composer, const TComposeRequest& request,
                const std::vector<std::string>& sources, std::atomic<int>& owner)
        : composer_(composer), request_(request), sources_(sources), owner_(owner) {}
    bool Draw(int width, int height, TPictureParts& parts) override {
        TComposeRequest request = request_;
        const TScreenParts sink{TPixelSize{width, height}, &parts};
        if (request.monitors.empty()) {
            request.monitors = {TMonitor{"", 0, 0, width, height, true}};
            // A painter of each output asks for the outputs one by one.
            if (!sources_.empty()) {
                request.source = sources_[outputs_++ % sources_.size()];
            }
        }
        if (sources_.empty() || request.monitors.size() == 1) {
            composed = composer_.Run(request, sink);
            failedSource = request.source;
        } else {
            // One monitor at a time, each its own picture, into the same screen.
            composed = true;
            for (std::size_t i = 0; composed && i < request_.monitors.size(); ++i) {
                request.source = sources_[i % sources_.size()];
                request.monitors = {request_.monitors[i]};
                composed = composer_.Run(request, sink);
                failedSource = request.source;
            }
        }
        refusal = composed ? std::string() : LastDecodeRefusal();
        // A change the program's end has left shows nothing any more.
        // (Claimed at the first of a painter's several pictures.)
        composed = composed && (owner_.load() == kHandingOver || Claim(owner_, kHandingOver));
        return composed;
    }
    bool composed = false;
    std::string refusal;
    std::string failedSource;  // the picture refused, when one was

private:
    const TComposer& composer_;
    const TComposeRequest& request_;
    const std::vector<std::string>& sources_;
    std::size_t outputs_ = 0;
    std::atomic<int>& owner_;
};

const TComposer& PictureComposer() {
    static const TComposer composer;
    return composer;
}

}  // namespace

// Runs away from the GUI thread: it touches only the change, the composer and
// the painter.
void TDesktopWallpaperApplier::Work(TChange& change) const {
    const TComposer& composer = services_.composer ? *services_.composer : PictureComposer();
    try {
        if (change.route == TChange::TRoute::kPaint) {
            TDesktopBackend& desktop = *services_.desktop;
            TChangeDraw draw(composer, change.request, change.sources, change.owner);
            change.taken = desktop.Painter()->PaintPicture(draw, change.request.fillColor,
                                                           change.files.front().file);
            change.composed = change.painted = draw.composed;
            change.refusal = draw.refusal;
            if (!draw.composed && !draw.failedSource.empty()) {
                change.fileName = draw.failedSource;  // the one the refusal names
            }
            if (draw.composed && !change.taken) {
                change.error = desktop.LastError();
            }
            return;
        }
        if (!change.sources.empty()) {
            // Each monitor's bitmap from its own picture; a refusal names it.
            const auto& bitmaps = std::get<TMonitorBitmaps>(change.sink).files;
            change.composed = true;
            for (std::size_t i = 0; change.composed && i < change.sources.size(); ++i) {
                TComposeRequest request = change.request;
                request.source = change.sources[i];
                request.monitors = {change.request.monitors[i]};
                change.composed = composer.Run(request, TMonitorBitmaps{{bitmaps[i]}});
                if (!change.composed) {
                    change.fileName = change.sources[i];
                }
            }
        } else {
            change.composed =
                change.request.source.empty() || composer.Run(change.request, change.sink);
        }
        if (!change.composed) {
            change.refusal = LastDecodeRefusal();
        }
    } catch (...) {
        // A composer that fails by raising changes nothing, as one that says
        // so; a change run at once raises it to the caller.
        change.failure = std::current_exception();
        change.composed = change.painted && change.taken;
    }
}

void TDesktopWallpaperApplier::Complete(const std::shared_ptr<TChange>& change) {
    if (change->completed) {
        return;
    }
    change->completed = true;
    if (inFlight_ == change) {
        inFlight_.reset();
    }
    NoteRefusal(*change);
    if (change->composed) {
        FWallpaperChanged = true;
        desktopShowsOriginal_ = false;
        try {
            if (change->painted) {
                if (!change->taken) {
                    ReportFailure(change->error);
                }
                WriteStyleValues(change->style);
            } else {
                WriteStyleValues(change->style);
                change->taken = HandOver(*change);
            }
            if (change->taken && FUseActiveDesktop) {
                DebugLog("Active desktop call: " + change->fileName);
            }
            SetHint(change->fileName);
        } catch (const std::exception& e) {
            // The style values could not be written: the desktop is left as it
            // was. A change run at once tells its caller.
            if (change->atOnce) {
                throw;
            }
            qCWarning(lcWallpaper, "%s", e.what());
            if (change->painted) {
                SetHint(change->fileName);
            }
        }
    }
    if (change->atOnce) {
        if (change->failure) {
            std::rethrow_exception(change->failure);
        }
        return;
    }
    if (services_.changeEnded) {
        services_.changeEnded();
    }
    if (waiting_) {
        auto [files, choice] = std::move(*waiting_);
        waiting_.reset();
        if (FCanChangeWallpaper) {
            Run(Plan(files.empty() ? std::string() : files.front(), choice, files),
                services_.background);
            return;
        }
    }
    if (FChangesEnded) {
        FChangesEnded(Failure(*change));
    }
}

std::string TDesktopWallpaperApplier::Failure(const TChange& change) const {
    if (change.composed && change.taken) {
        return {};
    }
    if (!change.composed) {
        return change.refusal.empty() ? "the picture \"" + change.fileName + "\" cannot be composed"
                                      : "the picture \"" + change.fileName + "\" " + change.refusal;
    }
    return "the desktop did not take the picture: " +
           (lastFailure_.empty() ? std::string("no reason given") : lastFailure_);
}

bool TDesktopWallpaperApplier::HandOver(const TChange& change) {
    TDesktopBackend& desktop = *services_.desktop;
    // While a wallpaper from start is remembered, the change is not meant to
    // outlive the session: the user's own setting keeps naming the original.
    const bool persist = FOriginalWallpaper.empty();
    if (TWallpaperSetting* setting = desktop.Setting()) {
        setting->SetScreenSized(change.fitted);
    }
    bool taken = false;
    if (change.route == TChange::TRoute::kSpanning) {
        taken =
            desktop.SpanningFile()->SetSpanningWallpaperFile(change.files.front().file, persist);
    } else if (TFileWallpaper* files = desktop.Files()) {
        const bool placed =
            change.style > wsStretch || files->SetPlacement(kStyleValues[change.style].placement);
        const std::string placementError = placed ? std::string() : desktop.LastError();
        if (change.route == TChange::TRoute::kMonitorFiles) {
            taken = desktop.MonitorFiles()->SetMonitorWallpaperFiles(change.files, persist);
            if (taken && !placed) {
                ReportFailure(placementError);
            }
        } else {
            if (!placed) {
                ReportFailure(placementError);
            }
            taken = files->SetWallpaperFile(change.files.front().file, persist);
        }
    }
    if (!taken) {
        ReportFailure(desktop.Files()
                          ? desktop.LastError()
                          : TrText("TDesktopWallpaperApplier", "this desktop takes no file"));
    } else if (away_) {
        away_ = false;
        if (services_.desktopBack) {
            services_.desktopBack();
        }
    }
    return taken;
}

void TDesktopWallpaperApplier::Settle() {
    waiting_.reset();
    if (inFlight_) {
        const std::shared_ptr<TChange> change = inFlight_;
        if (FEnding) {
            // The end never waits for a decode: whatever is decoded is given
            // up, and a change still composing a moment later is left to
            // itself (it shows nothing any more), so that the original is
            // back at once. A change already painting is waited for: that is
            // the desktop's matter, not a decode.
            AbandonRunningDecodes();
            if (!services_.background->WaitFor(std::chrono::milliseconds(300)) &&
                Claim(change->owner, kLeft)) {
                services_.background->Abandon();
                change->completed = true;
                inFlight_.reset();
                qCWarning(lcWallpaper, "the picture being composed was left at the end: %s",
                          change->fileName.c_str());
                return;
            }
        }
        services_.background->Wait();
        Complete(change);
    }
}

void TDesktopWallpaperApplier::RestoreOriginalWallpaper(const TWallpaperChoice& choice) {
    Settle();
    FRestoreProblem.clear();
    if (!FCanChangeWallpaper) {
        return;
    }
    if (originalUnknown_) {
        // Nothing of ours reached the desktop, and what it showed at start
        // was never read: its own setting is left as it is.
        qCWarning(lcWallpaper,
                  "the wallpaper found at start was never read (the %s desktop was not there): "
                  "the desktop's setting is left alone",
                  services_.desktop->Name().c_str());
        return;
    }
    // Style values that cannot be written (a full disk, a read-only settings
    // file) never keep the original from going back; they are reported.
    restoring_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{restoring_};
    const auto failed = [this] {
        const std::string why = services_.desktop->LastError();
        FRestoreProblem = "the original wallpaper cannot be put back" +
                          (why.empty() ? std::string() : ": " + why);
    };
    if (originalState_.empty()) {
        // Nothing of the desktop's own was recorded (or the original was
        // forgotten): the original file is applied like any picture.
        const std::shared_ptr<TChange> change = Plan(FOriginalWallpaper, choice);
        Run(change, nullptr);
        if (change->taken) {
            desktopShowsOriginal_ = true;
        } else {
            failed();
        }
        return;
    }
    // The desktop gets back exactly what it showed, including placements the
    // three styles cannot express; the style values follow the original style.
    FWallpaperChanged = true;
    TWallpaperState* state = services_.desktop->State();
    if (state && state->RestoreState(originalState_)) {
        desktopShowsOriginal_ = true;
    } else {
        failed();
        ReportFailure(services_.desktop->LastError());
    }
    WriteStyleValues(choice.style);
    SetHint(FOriginalWallpaper);
}

void TDesktopWallpaperApplier::ForgetOriginalWallpaper() {
    FOriginalWallpaper.clear();
    originalState_.clear();
}

void TDesktopWallpaperApplier::Finish() {
    Settle();
    // An earlier run's record stays while the desktop was never seen.
    if (!desktopShowsOriginal_ || originalUnknown_) {
        return;
    }
    std::error_code ec;
    std::filesystem::remove(FsPath(OriginalRecordPath()), ec);
    TWallpaperState* state = services_.desktop->State();
    if (state && !originalState_.empty()) {
        state->DropState(originalState_);
    }
    // The original is back: the composed bitmaps and the copies handed out go,
    // except a file the desktop shows all the same (a bitmap it showed at a
    // start without a record).
    const std::optional<std::string> shown =
        state ? state->CurrentWallpaperFile() : std::optional<std::string>();
    std::vector<std::filesystem::path> own;
    for (std::filesystem::directory_iterator it(FsPath(services_.dataFolder), ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string path = services_.dataFolder + "/" + it->path().filename().string();
        std::error_code kind;
        if (IsOwnWallpaper(path) && path != FOriginalWallpaper && (!shown || path != *shown) &&
            it->is_regular_file(kind)) {
            own.push_back(it->path());
        }
    }
    for (const auto& path : own) {
        std::filesystem::remove(path, ec);
    }
}

void TDesktopWallpaperApplier::NoteRefusal(const TChange& change) {
    if (change.composed || change.refusal.empty()) {
        FLastRefusal.clear();
        return;
    }
    FLastRefusal = change.fileName + ": " + change.refusal;
    qCWarning(lcWallpaper, "picture refused: %s", FLastRefusal.c_str());
    if (services_.refused && refusedFiles_.insert(change.fileName).second) {
        services_.refused(FLastRefusal);
    }
}

void TDesktopWallpaperApplier::ReportFailure(const std::string& what) {
    lastFailure_ = what;
    qCWarning(lcWallpaper, "the %s desktop did not take the wallpaper: %s",
              services_.desktop->Name().c_str(), what.c_str());
    if (!FEnding && services_.desktopAway && !services_.desktop->Present()) {
        // It may be starting or restarting: no box waits over the show, and
        // the notice goes once the desktop takes a picture again.
        away_ = true;
        services_.desktopAway(TextArgs(
            TrText("TDesktopWallpaperApplier", "The desktop wallpaper cannot be changed now: %1"),
            {what}));
        return;
    }
    if (!warned_ && !FEnding && services_.warn) {
        warned_ = true;
        services_.warn(TextArgs(
            TrText("TDesktopWallpaperApplier", "The desktop wallpaper cannot be changed here: %1"),
            {what}));
    }
}

void TDesktopWallpaperApplier::SetHint(const std::string& fileName) {
    if (services_.setHint) {
        services_.setHint("Vantoria " + FileNamePart(fileName));
    }
}
