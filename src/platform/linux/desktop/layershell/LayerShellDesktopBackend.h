#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DesktopAccessory.h"
#include "platform/DesktopBackend.h"

class QObject;
class TLayerShellAccessory;
class TWaylandConnection;
struct wl_buffer;
struct wl_compositor;
struct wl_output;
struct wl_pointer;
struct wl_seat;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

// A Wayland compositor that offers the layer-shell protocol
// (zwlr_layer_shell_v1: wayfire, Hyprland, river, labwc, niri, sway...) and
// no wallpaper setting of its own: this program draws the wallpaper itself,
// as swaybg does. Each output gets a surface on the background layer,
// anchored to every edge, over no other surface's place (exclusive zone -1),
// taking no input, showing the slide composed for that output at its size in
// device pixels. What the compositor showed beneath comes back as soon as the
// surfaces go: on Reset to Default, on Remove Wallpaper, at the program's end
// and after a crash, when the compositor drops a dead client's surfaces.
// Small accessories (the clock) go on the bottom layer, above the wallpaper
// and beneath the windows, on the same connection.
class TLayerShellDesktopBackend : public TDesktopBackend,
                                  public TFileWallpaper,
                                  public TPicturePainter,
                                  public TWallpaperState,
                                  public TAccessoryLayer {
public:
    // Connects to `displayName` ("" for $WAYLAND_DISPLAY) and reads the
    // outputs; events then come through the calling thread's event loop.
    explicit TLayerShellDesktopBackend(const std::string& displayName = std::string());
    ~TLayerShellDesktopBackend() override;

    // False, with LastError() naming what is missing, when the compositor
    // cannot be reached or offers no layer-shell.
    bool Available() const { return available_; }

    std::string Name() const override { return "layer-shell"; }
    TFileWallpaper* Files() override { return this; }
    TPicturePainter* Painter() override { return this; }
    TWallpaperState* State() override { return this; }
    TAccessoryLayer* Accessories() override { return available_ ? this : nullptr; }

    // Every picture is composed for its output: nothing to place.
    bool SetPlacement(TDesktopPlacement placement) override;
    // "" removes this program's surfaces, so the compositor's own background
    // (or another drawer's) shows; files are not shown, only pictures painted.
    bool SetWallpaperFile(const std::string& file, bool persist) override;
    // Asks `draw` for each output's picture at the output's size in device
    // pixels, into shared memory, and shows them all on the GUI thread.
    bool PaintPicture(TPictureDraw& draw, std::uint32_t fill, const std::string& label) override;
    bool PerOutput() const override { return true; }
    void WatchOutputs(std::function<void()> changed) override;

    // The label of the picture painted while this program's surfaces show,
    // else "": what shows beneath belongs to the compositor.
    std::optional<std::string> CurrentWallpaperFile() override;
    // Nothing to record: the compositor keeps its own background beneath.
    std::string SaveState() override { return std::string(); }
    bool RestoreState(const std::string& state) override;

    std::unique_ptr<TAccessorySurface> NewAccessorySurface(const std::string& name) override;

    // An output as painted: its name and size in device pixels.
    struct TOutputSize {
        std::string name;
        int width = 0;
        int height = 0;
        int scale = 1;
    };
    std::vector<TOutputSize> Outputs() const;
    // How many outputs show a picture of this program now.
    int ShownOutputs() const;

    struct TBuffer;
    struct TOutput;

private:
    friend struct TOutputEvents;
    friend struct TPointerEvents;
    friend class TLayerShellAccessory;
    void ForgetAccessory(TLayerShellAccessory* accessory);
    TLayerShellAccessory* AccessoryOf(wl_surface* surface) const;
    void SeatCapabilities(std::uint32_t capabilities);
    // The outputs described so far, in the compositor's order, for the accessories.
    struct TOutputObject {
        wl_output* output = nullptr;
        TOutputSize size;
    };
    std::vector<TOutputObject> OutputObjects() const;
    void Bind(wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version);
    void RemoveGlobal(std::uint32_t name);
    void OutputDone(TOutput& output);
    void Configure(TOutput& output, std::uint32_t serial, std::uint32_t width,
                   std::uint32_t height);
    void Closed(TOutput& output);
    void Show(std::uint32_t global, const std::shared_ptr<TBuffer>& buffer,
              const std::string& label);
    void Attach(TOutput& output);
    void DropSurface(TOutput& output);
    void DropAll();
    void ConnectionLost(const std::string& why);
    void Changed();
    static TOutputSize DeviceSize(const TOutput& output);

    std::unique_ptr<TWaylandConnection> connection_;
    std::unique_ptr<QObject> context_;  // the GUI thread's place for queued showing
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    std::uint32_t compositorVersion_ = 0;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* shell_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    TLayerShellAccessory* pointed_ = nullptr;         // the accessory the pointer is on
    std::vector<TLayerShellAccessory*> accessories_;  // GUI thread only
    bool available_ = false;
    std::function<void()> changed_;

    // Guards what the painting thread reads: the outputs, their sizes and buffers.
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<TOutput>> outputs_;
    bool showing_ = false;
    std::string label_;
    std::string lost_;
};
