#include "wallpaper/DesktopWallpaperApplier.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/DesktopBackend.h"
#include "registry/JclRegistry.h"
#include "wallpaper/BackgroundWork.h"
#include "wallpaper/DebugLog.h"
#include "wallpaper/DecodeBudget.h"
#include "wallpaper/FileUtils.h"
#include "wallpaper/OriginalRecord.h"
#include "wallpaper/WindowsRestrictions.h"

namespace {

constexpr const char* kDesktopKey = "Control Panel\\Desktop";

// The desktop style values per style: "TileWallpaper", "WallpaperStyle".
struct TStyleValues {
    const char* tile;
    const char* style;
    int placement;
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

// One change on its way to the desktop. Work fills in the composition and,
// for desktops that allow it, the hand-over; Complete does the rest.
struct TDesktopWallpaperApplier::TChange {
    std::string fileName;
    TWallpaperChoice choice;
    int mode = fmConvertOnly;
    std::uint8_t style = wsCenter;  // the style values written
    int placement = dpCenter;       // how the desktop places the picture
    TScreenSize display;
    std::string file;  // what the desktop is given: the converted bitmap, or ""
    bool persist = false;
    bool handOffThread = false;  // hand over inside Work
    bool composed = false;
    bool handedOver = false;
    bool taken = false;
    std::string error;
    std::string refusal;  // why the composer refused the picture
    bool completed = false;
    // Who has the change once its picture is composed: the worker handing it
    // to the desktop, or the program's end, which leaves a change still
    // composing to itself. Whoever comes first.
    std::atomic<int> owner{kComposing};
    static constexpr int kComposing = 0, kHandingOver = 1, kLeft = 2;
    bool Claim(int who) {
        int expected = kComposing;
        return owner.compare_exchange_strong(expected, who);
    }
    // Two or more: the picture is composed for each of these monitors.
    std::vector<TMonitor> monitors;
    // How the desktop takes them; kSame: the one file, as on one monitor.
    TMultiMonitor route = TMultiMonitor::kSame;
    std::vector<TMonitorFile> files;  // kPerMonitor: what each monitor is given
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

bool TDesktopWallpaperApplier::ShellSupportsActiveDesktop() const {
    return services_.desktop->HasWallpaperSetting();
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
    if (!ShellSupportsActiveDesktop()) {
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
    TDesktopBackend& desktop = *services_.desktop;
    // The record and the desktop's own copies live in the data folder, which
    // others may not read: the pictures may be private photographs. Why the
    // original cannot be recorded, when it cannot.
    std::string unrecorded = MakePrivateFolder(services_.dataFolder);
    const std::optional<std::string> current = desktop.CurrentWallpaperFile();
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
            originalState_ = desktop.SaveState();
            if (originalState_.empty() && desktop.LastError() != errorBefore) {
                unrecorded = desktop.LastError();
            }
        }
    }
    if (!fromRecord) {
        if (FUseActiveDesktop) {
            const std::optional<int> placement = desktop.CurrentPlacement();
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
        if (unrecorded.empty() &&
            !WriteOriginalRecord(OriginalRecordPath(),
                                 TOriginalRecord{desktop.Name(), FOriginalWallpaper,
                                                 originalPlacement_, originalState_})) {
            unrecorded =
                "the record of the original wallpaper cannot be written to " + OriginalRecordPath();
        }
        // What the desktop shows could not be put back after a change (a full
        // or read-only disk, a folder of someone else's): it is left alone.
        // An earlier run's record, read above, still serves.
        // The first change asked for says why nothing changes.
        if (!unrecorded.empty() && !fromRecord) {
            FCanChangeWallpaper = false;
            unrecorded_ =
                "the wallpaper in use cannot be recorded to be put back later (" + unrecorded + ")";
            qCWarning(lcWallpaper, "%s", unrecorded_.c_str());
        }
    }
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

void TDesktopWallpaperApplier::WriteWallpaperStyle(std::uint8_t style) {
    if (style > wsStretch) {
        return;
    }
    WriteStyleValues(style);
    if (!services_.desktop->SetPlacement(kStyleValues[style].placement)) {
        ReportFailure(services_.desktop->LastError());
    }
}

void TDesktopWallpaperApplier::SetWallpaper(const std::string& fileName,
                                            const TWallpaperChoice& choice) {
    if (!services_.background) {
        Apply(fileName, choice);
        return;
    }
    if (inFlight_) {
        waiting_.emplace(fileName, choice);
        return;
    }
    Start(fileName, choice);
}

std::shared_ptr<TDesktopWallpaperApplier::TChange> TDesktopWallpaperApplier::Plan(
    const std::string& fileName, const TWallpaperChoice& choice) {
    auto change = std::make_shared<TChange>();
    change->fileName = fileName;
    change->choice = choice;
    if (!fileName.empty()) {
        change->mode = choice.style == wsStretch ? int{choice.fitMode} : int{fmConvertOnly};
        change->file = ConvertedWallpaperPath();
        MakePrivateFolder(services_.dataFolder);
    }
    // A composed picture already fits the display and the desktop centres it,
    // so the desktop is never asked to stretch one.
    change->style = change->mode != fmConvertOnly ? std::uint8_t{wsCenter} : choice.style;
    if (change->style <= wsStretch) {
        placement_ = kStyleValues[change->style].placement;
    }
    change->placement = placement_;
    if (services_.screen) {
        change->display = services_.screen->PrimaryScreenSize();
    }
    // While a wallpaper from start is remembered, the change is not meant to
    // outlive the session: the user's own setting keeps naming the original.
    change->persist = FOriginalWallpaper.empty();
    if (services_.screen && !fileName.empty()) {
        std::vector<TMonitor> monitors = services_.screen->Monitors();
        if (monitors.size() >= 2) {
            PlanMonitors(*change, std::move(monitors));
        }
    }
    return change;
}

void TDesktopWallpaperApplier::PlanMonitors(TChange& change, std::vector<TMonitor> monitors) {
    TDesktopBackend& desktop = *services_.desktop;
    if (PaintsPicture(change)) {
        // One picture of the whole screen, every monitor's at its place.
        if (services_.composeMonitorsPicture) {
            change.monitors = std::move(monitors);
        }
        return;
    }
    const bool composed = change.mode != fmConvertOnly;
    switch (desktop.MultiMonitor()) {
        case TMultiMonitor::kPerMonitor:
            if (composed && !services_.composeMonitors) {
                return;
            }
            change.route = TMultiMonitor::kPerMonitor;
            ++monitorChanges_;
            for (std::size_t i = 0; i < monitors.size(); ++i) {
                // A bitmap of its own for each monitor; desktops that cache
                // pictures by name get the monitor's two names in turn. An
                // unscaled picture is the same for all: the one bitmap.
                std::string file = ConvertedWallpaperPath();
                if (composed) {
                    file = services_.dataFolder + "/vantoria-monitor" + std::to_string(i + 1) +
                           (desktop.ReloadsSameName() ? "" : (monitorChanges_ % 2 ? "-a" : "-b")) +
                           ".bmp";
                }
                change.files.push_back(TMonitorFile{monitors[i], std::move(file)});
            }
            change.monitors = std::move(monitors);
            break;
        case TMultiMonitor::kSpanned:
            // The desktop places an unscaled picture on each monitor itself.
            if (!composed || !services_.composeSpanned) {
                return;
            }
            change.route = TMultiMonitor::kSpanned;
            change.placement = dpSpan;
            change.monitors = std::move(monitors);
            break;
        case TMultiMonitor::kSame:
            break;
    }
}

void TDesktopWallpaperApplier::ComposeMonitors(TChange& change) const {
    const TColor fill = change.choice.fillColor;
    if (change.route == TMultiMonitor::kSpanned) {
        change.composed = services_.composeSpanned(change.fileName, change.mode, change.file, fill,
                                                   change.display.depth, change.monitors);
    } else if (change.mode != fmConvertOnly) {
        change.composed = services_.composeMonitors(change.fileName, change.mode, fill,
                                                    change.display.depth, change.files);
    } else {
        change.composed =
            services_.compose(change.fileName, change.mode, change.file, fill, change.display);
    }
    if (!change.composed) {
        change.refusal = LastDecodeRefusal();
    }
}

bool TDesktopWallpaperApplier::HandOverMonitors(TChange& change) const {
    TDesktopBackend& desktop = *services_.desktop;
    bool placed = true;
    if (change.route == TMultiMonitor::kSpanned || change.style <= wsStretch) {
        placed = desktop.SetPlacement(change.placement);
    }
    const std::string placementError = placed ? std::string() : desktop.LastError();
    const bool taken = change.route == TMultiMonitor::kSpanned
                           ? desktop.SetWallpaperFile(change.file, change.persist)
                           : desktop.SetMonitorWallpaperFiles(change.files, change.persist);
    if (!taken) {
        return false;
    }
    if (!placed) {
        change.error = placementError;
    }
    return true;
}

bool TDesktopWallpaperApplier::DeliverMonitors(TChange& change) {
    WriteStyleValues(change.style);
    change.persist = FOriginalWallpaper.empty();
    if (!services_.desktop->ReloadsSameName()) {
        // The bitmaps shared by all monitors are handed over under fresh
        // names; those composed per monitor have theirs already.
        if (change.route == TMultiMonitor::kSpanned) {
            change.file = FreshName(change.file);
        } else if (change.mode == fmConvertOnly) {
            const std::string fresh = FreshName(change.file);
            for (TMonitorFile& f : change.files) {
                f.file = fresh;
            }
        }
    }
    change.error.clear();
    const bool taken = HandOverMonitors(change);
    if (!taken || !change.error.empty()) {
        ReportFailure(taken ? change.error : services_.desktop->LastError());
    }
    return taken;
}

void TDesktopWallpaperApplier::Start(const std::string& fileName, const TWallpaperChoice& choice) {
    if (!FCanChangeWallpaper) {
        if (!unrecorded_.empty()) {
            ReportFailure(unrecorded_);
        }
        return;
    }
    std::shared_ptr<TChange> change = Plan(fileName, choice);
    change->handOffThread =
        services_.desktop->HandsOverFromAnyThread() && services_.desktop->ReloadsSameName();
    inFlight_ = change;
    std::weak_ptr<int> alive = alive_;
    services_.background->Run([this, change] { Work(*change); },
                              [this, change, alive] {
                                  if (!alive.expired()) {
                                      Complete(change);
                                  }
                              });
}

// Runs away from the GUI thread: it touches only the change, the composer and,
// where the desktop allows it, the desktop.
bool TDesktopWallpaperApplier::PaintsPicture(const TChange& change) const {
    return !change.fileName.empty() && services_.composePicture &&
           services_.desktop->PaintsPictures();
}

void TDesktopWallpaperApplier::Paint(TChange& change) const {
    TDesktopBackend& desktop = *services_.desktop;
    if (change.style <= wsStretch) {
        desktop.SetPlacement(change.placement);
    }
    bool composed = false;
    bool shown = false;
    if (change.monitors.size() >= 2) {
        // Outside every monitor: the fill colour.
        const TColor fill = change.choice.fillColor;
        shown = desktop.PaintPictureParts(
            ((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF),
            [&](int width, int height, const TPicturePut& put) {
                composed =
                    services_.composeMonitorsPicture(change.fileName, change.mode, change.placement,
                                                     fill, change.monitors, width, height, put);
                change.refusal = composed ? std::string() : LastDecodeRefusal();
                composed = composed && change.Claim(TChange::kHandingOver);
                return composed;
            },
            change.file);
    } else {
        shown = desktop.PaintPicture(
            [&](int width, int height, TScreenPicture& picture) {
                composed =
                    services_.composePicture(change.fileName, change.mode, change.placement,
                                             change.choice.fillColor, width, height, picture);
                change.refusal = composed ? std::string() : LastDecodeRefusal();
                composed = composed && change.Claim(TChange::kHandingOver);
                return composed;
            },
            change.file);
    }
    change.composed = composed;
    change.handedOver = composed;
    change.taken = shown;
    if (composed && !shown) {
        change.error = desktop.LastError();
    }
}

void TDesktopWallpaperApplier::Work(TChange& change) const {
    try {
        if (change.handOffThread && PaintsPicture(change)) {
            Paint(change);
            return;
        }
        if (change.route != TMultiMonitor::kSame) {
            ComposeMonitors(change);
            if (change.composed && change.handOffThread && change.Claim(TChange::kHandingOver)) {
                change.handedOver = true;
                change.taken = HandOverMonitors(change);
                if (!change.taken) {
                    change.error = services_.desktop->LastError();
                }
            }
            return;
        }
        change.composed =
            change.fileName.empty() || services_.compose(change.fileName, change.mode, change.file,
                                                         change.choice.fillColor, change.display);
        if (!change.composed) {
            change.refusal = LastDecodeRefusal();
        }
        if (change.composed && change.handOffThread && change.Claim(TChange::kHandingOver)) {
            TDesktopBackend& desktop = *services_.desktop;
            change.handedOver = true;
            if (change.style <= wsStretch &&
                !desktop.SetPlacement(kStyleValues[change.style].placement)) {
                change.error = desktop.LastError();
            }
            change.taken = desktop.SetWallpaperFile(change.file, change.persist);
            if (!change.taken) {
                change.error = desktop.LastError();
            }
        }
    } catch (...) {
        // A composer that fails by raising changes nothing, as one that says so.
        change.composed = change.handedOver && change.taken;
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
            if (change->handedOver) {
                if (!change->taken) {
                    ReportFailure(change->error);
                }
                WriteStyleValues(change->style);
            } else if (change->route != TMultiMonitor::kSame) {
                change->taken = DeliverMonitors(*change);
            } else {
                WriteWallpaperStyle(change->style);
                change->taken = HandOver(change->file);
            }
            if (change->taken && FUseActiveDesktop) {
                DebugLog("Active desktop call: " + change->fileName);
            }
            SetHint(change->fileName);
        } catch (const std::exception& e) {
            // The style values could not be written: the desktop is left as it
            // was, as when the change runs on the caller's thread.
            qCWarning(lcWallpaper, "%s", e.what());
            if (change->handedOver) {
                SetHint(change->fileName);
            }
        }
    }
    if (services_.changeEnded) {
        services_.changeEnded();
    }
    if (waiting_) {
        auto [fileName, choice] = std::move(*waiting_);
        waiting_.reset();
        Start(fileName, choice);
    }
}

void TDesktopWallpaperApplier::Settle() {
    waiting_.reset();
    if (inFlight_) {
        const std::shared_ptr<TChange> change = inFlight_;
        if (FEnding) {
            // The end never waits for a decode: whatever is decoded is given
            // up, and a change still composing a moment later is left to
            // itself (it hands nothing to the desktop any more), so that the
            // original is back at once. A change already handing its picture
            // over is waited for: that is the desktop's matter, not a decode.
            AbandonRunningDecodes();
            if (!services_.background->WaitFor(std::chrono::milliseconds(300)) &&
                change->Claim(TChange::kLeft)) {
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

bool TDesktopWallpaperApplier::Apply(const std::string& fileName, const TWallpaperChoice& choice) {
    if (!FCanChangeWallpaper) {
        if (!unrecorded_.empty()) {
            ReportFailure(unrecorded_);
        }
        return false;
    }
    const std::shared_ptr<TChange> change = Plan(fileName, choice);
    if (PaintsPicture(*change)) {
        Paint(*change);
        NoteRefusal(*change);
        if (!change->composed) {
            return false;
        }
        FWallpaperChanged = true;
        desktopShowsOriginal_ = false;
        if (!change->taken) {
            ReportFailure(change->error);
        }
        WriteStyleValues(change->style);
        SetHint(fileName);
        return change->taken;
    }
    if (change->route != TMultiMonitor::kSame) {
        ComposeMonitors(*change);
        NoteRefusal(*change);
        if (!change->composed) {
            return false;
        }
        FWallpaperChanged = true;
        desktopShowsOriginal_ = false;
        const bool taken = DeliverMonitors(*change);
        if (taken && FUseActiveDesktop) {
            DebugLog("Active desktop call: " + fileName);
        }
        SetHint(fileName);
        return taken;
    }
    if (!fileName.empty() && !services_.compose(fileName, change->mode, change->file,
                                                choice.fillColor, change->display)) {
        change->refusal = LastDecodeRefusal();
        NoteRefusal(*change);
        return false;
    }
    NoteRefusal(*change);
    FWallpaperChanged = true;
    desktopShowsOriginal_ = false;
    WriteWallpaperStyle(change->style);
    const bool taken = HandOver(change->file);
    if (taken && FUseActiveDesktop) {
        DebugLog("Active desktop call: " + fileName);
    }
    SetHint(fileName);
    return taken;
}

void TDesktopWallpaperApplier::RestoreOriginalWallpaper(const TWallpaperChoice& choice) {
    Settle();
    FRestoreProblem.clear();
    if (!FCanChangeWallpaper) {
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
        if (Apply(FOriginalWallpaper, choice)) {
            desktopShowsOriginal_ = true;
        } else {
            failed();
        }
        return;
    }
    // The desktop gets back exactly what it showed, including placements the
    // three styles cannot express; the style values follow the original style.
    FWallpaperChanged = true;
    if (services_.desktop->RestoreState(originalState_)) {
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
    if (!desktopShowsOriginal_) {
        // The desktop still shows our picture: the bitmaps it may read and the
        // record that tells the next start the original all stay.
        return;
    }
    std::error_code ec;
    std::filesystem::remove(FsPath(OriginalRecordPath()), ec);
    if (!originalState_.empty()) {
        services_.desktop->DropState(originalState_);
    }
    // The original is back: the composed bitmaps and the copies handed out go,
    // except a file the desktop shows all the same (a bitmap it showed at a
    // start without a record).
    const std::optional<std::string> shown = services_.desktop->CurrentWallpaperFile();
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

bool TDesktopWallpaperApplier::HandOver(const std::string& file) {
    std::string handed = file;
    if (!file.empty() && !services_.desktop->ReloadsSameName()) {
        handed = FreshName(file);
    }
    if (!services_.desktop->SetWallpaperFile(handed, FOriginalWallpaper.empty())) {
        ReportFailure(services_.desktop->LastError());
        return false;
    }
    return true;
}

// Desktops that cache pictures by file name are handed a copy of the bitmap
// under two names in turn, so that every change is shown. A copy, not a
// link: the next composition rewrites the bitmap while the desktop may still
// be reading the picture it was handed.
std::string TDesktopWallpaperApplier::FreshName(const std::string& converted) {
    const std::string name =
        services_.dataFolder + (handOvers_++ % 2 == 0 ? "/vantoria-1.bmp" : "/vantoria-2.bmp");
    std::error_code ec;
    std::filesystem::copy_file(FsPath(converted), FsPath(name),
                               std::filesystem::copy_options::overwrite_existing, ec);
    return ec ? converted : name;
}

void TDesktopWallpaperApplier::NoteRefusal(const TChange& change) {
    if (change.composed || change.refusal.empty()) {
        FLastRefusal.clear();
        return;
    }
    FLastRefusal = change.fileName + ": " + change.refusal;
    qCWarning(lcWallpaper, "picture refused: %s", FLastRefusal.c_str());
}

void TDesktopWallpaperApplier::ReportFailure(const std::string& what) {
    qCWarning(lcWallpaper, "the %s desktop did not take the wallpaper: %s",
              services_.desktop->Name().c_str(), what.c_str());
    if (!warned_ && !FEnding && services_.warn) {
        warned_ = true;
        services_.warn("The desktop wallpaper cannot be changed here: " + what);
    }
}

void TDesktopWallpaperApplier::SetHint(const std::string& fileName) {
    if (services_.setHint) {
        services_.setHint("Vantoria " + FileNamePart(fileName));
    }
}
