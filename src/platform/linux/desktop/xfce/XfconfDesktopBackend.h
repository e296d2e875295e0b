#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopBackend.h"
#include "platform/linux/desktop/FreshNames.h"

class QDBusServiceWatcher;
class QSocketNotifier;
class TXfdesktopMarks;

// XFCE's wallpaper: the xfconf channel "xfce4-desktop", reached over D-Bus
// (org.xfce.Xfconf). Every monitor and workspace has its own
// /backdrop/screen0/monitor<NAME>/workspace<N>/last-image and image-style;
// each one present is changed, so every workspace shows the picture. On a desk
// of several monitors each monitor gets a picture of its own, in every
// workspace, its keys created when xfdesktop has none for it yet.
//
// xfdesktop 4.18 starts loading a backdrop at once on every change of either
// key (xfconf sets one key per call and has no transaction, and xfdesktop does
// not gather changes), and now and then aborts when a load supersedes one
// still running. So a key is written only when its value differs, the
// placement goes with the next picture, and no key of a backdrop is written
// while xfdesktop still loads one: the back-end waits, with a bound, for the
// mark xfdesktop sets on the root window when it has drawn (TXfdesktopMarks).
// When xfdesktop leaves the bus and comes back, its first drawing is such a
// load too; meanwhile nothing is awaited, and the keys it reads on return are
// the ones last written.
class TXfconfDesktopBackend : public TDesktopBackend,
                              public TFileWallpaper,
                              public TMonitorWallpapers,
                              public TWallpaperState,
                              public TWallpaperSetting {
public:
    TXfconfDesktopBackend();
    ~TXfconfDesktopBackend() override;

    std::string Name() const override { return "XFCE"; }
    // xfdesktop keeps its picture when handed the name it already shows: it
    // is handed fresh names.
    TFileWallpaper* Files() override { return &fresh_; }
    TMonitorWallpapers* MonitorFiles() override { return &fresh_; }
    TWallpaperState* State() override { return this; }
    TWallpaperSetting* Setting() override { return this; }

    bool ChangesForbidden() override;
    bool SetPlacement(TDesktopPlacement placement) override;
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    bool SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool persist) override;
    std::optional<std::string> CurrentWallpaperFile() override;
    std::optional<int> CurrentPlacement() override;
    std::string SaveState() override;
    bool RestoreState(const std::string& state) override;

private:
    // One backdrop's keys to write, in order, each differing from what xfconf
    // holds; a value of nothing resets the key.
    struct TBackdropKeys {
        QString prefix;
        std::vector<std::pair<QString, std::optional<QVariant>>> keys;
    };

    // The backdrops present: ".../workspace<N>" prefixes, sorted.
    QStringList Backdrops();
    bool Call(const QString& method, const QVariantList& args, QVariant* result = nullptr);
    bool SetProperty(const QString& property, const QVariant& value);
    std::optional<QVariant> GetProperty(const QString& property);
    // What showing `path` in the placement last set takes on the backdrop at
    // `prefix`: the picture, then the style where they differ. Our pictures
    // fill the monitor and look alike in every style, so the style changes
    // while ours is shown and the step between shows nothing else.
    TBackdropKeys ShowOn(const QString& prefix, const QString& path);
    // What showing the colour only ("none") takes there.
    TBackdropKeys ShowNone(const QString& prefix);
    // Writes the keys, a backdrop's next key only once xfdesktop has drawn
    // the change before.
    bool Write(const std::vector<TBackdropKeys>& plan);
    // Waits (bounded) until xfdesktop has drawn the loads it was last given.
    void Settle();
    void XfdesktopOnBus(bool present);

    TDesktopPlacement placement_ = dpCenter;
    std::unique_ptr<TXfdesktopMarks> marks_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    bool xfdesktop_ = false;
    // The mark count that ends the loads under way, and when they began.
    std::optional<std::uint64_t> awaited_;
    std::chrono::steady_clock::time_point awaitedSince_;
    std::uint64_t marksAtLeave_ = 0;
    TFreshNames fresh_{*this, this};
};
