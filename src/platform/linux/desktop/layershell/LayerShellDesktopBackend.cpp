#include "platform/linux/desktop/layershell/LayerShellDesktopBackend.h"

#include "platform/linux/desktop/layershell/SharedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

#include <QLoggingCategory>
#include <QObject>
#include <QThread>

#include "platform/linux/desktop/layershell/LayerShellAccessory.h"
#include "platform/linux/desktop/layershell/SharedMemory.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

Q_LOGGING_CATEGORY(lcLayerShell, "vantoria.layershell", QtInfoMsg)

// A picture in shared memory, 32-bit XRGB, as the compositor reads it. The
// painting thread fills it while `filling`; the compositor reads it while
// `busy` (attached and not yet released). Its Wayland objects are made and
// destroyed on the GUI thread only.
struct TLayerShellDesktopBackend::TBuffer {
    TSharedMemory memory;
    std::uint32_t* data = nullptr;  // the memory's pixels
    std::size_t bytes = 0;
    int width = 0;
    int height = 0;
    wl_buffer* buffer = nullptr;
    std::atomic<bool> busy{false};
    bool filling = false;

    ~TBuffer() {
        if (buffer) {
            wl_buffer_destroy(buffer);
        }
    }
};

struct TLayerShellDesktopBackend::TOutput {
    TLayerShellDesktopBackend* owner = nullptr;
    std::uint32_t global = 0;
    wl_output* output = nullptr;
    std::string name;
    int modeWidth = 0;
    int modeHeight = 0;
    int transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int scale = 1;
    bool done = false;
    TOutputSize painted;  // the device size when last done

    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    bool configured = false;
    int width = 0;  // as configured, in the compositor's units
    int height = 0;
    std::vector<std::shared_ptr<TBuffer>> buffers;
    std::shared_ptr<TBuffer> pending;
};

namespace {

std::shared_ptr<TLayerShellDesktopBackend::TBuffer> NewBuffer(int width, int height) {
    auto buffer = std::make_shared<TLayerShellDesktopBackend::TBuffer>();
    buffer->width = width;
    buffer->height = height;
    buffer->bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (!buffer->memory.Make("vantoria-wallpaper", buffer->bytes)) {
        return nullptr;
    }
    buffer->data = static_cast<std::uint32_t*>(buffer->memory.Data());
    return buffer;
}

// The composer's parts copied into a buffer, clipped to it.
class TBufferParts final : public TPictureParts {
public:
    explicit TBufferParts(TLayerShellDesktopBackend::TBuffer& buffer) : buffer_(buffer) {}
    bool Put(int x, int y, const TScreenPicture& part) override {
        const int left = std::max(x, 0);
        const int right = std::min(x + part.width, buffer_.width);
        if (left >= right || part.pixels.size() < static_cast<std::size_t>(part.width) *
                                                      static_cast<std::size_t>(part.height)) {
            return true;
        }
        for (int row = std::max(y, 0); row < std::min(y + part.height, buffer_.height); ++row) {
            const std::uint32_t* from =
                part.pixels.data() + static_cast<std::size_t>(row - y) * part.width + (left - x);
            std::memcpy(buffer_.data + static_cast<std::size_t>(row) * buffer_.width + left, from,
                        static_cast<std::size_t>(right - left) * 4);
        }
        return true;
    }
    bool Repeats() const override { return true; }
    // Copies the corner across the buffer, row by row.
    bool Repeat(int tileWidth, int tileHeight, int width, int height) override {
        const int w = std::min({tileWidth, width, buffer_.width});
        const int h = std::min({tileHeight, height, buffer_.height});
        if (w <= 0 || h <= 0) {
            return false;
        }
        const int right = std::min(width, buffer_.width);
        for (int row = 0; row < std::min(height, buffer_.height); ++row) {
            std::uint32_t* to = buffer_.data + static_cast<std::size_t>(row) * buffer_.width;
            const std::uint32_t* from =
                buffer_.data + static_cast<std::size_t>(row % h) * buffer_.width;
            for (int x = row < h ? w : 0; x < right; x += w) {
                std::memcpy(to + x, from, static_cast<std::size_t>(std::min(w, right - x)) * 4);
            }
        }
        return true;
    }

private:
    TLayerShellDesktopBackend::TBuffer& buffer_;
};

void Released(void* data, wl_buffer*) {
    static_cast<TLayerShellDesktopBackend::TBuffer*>(data)->busy = false;
}
const wl_buffer_listener kBufferListener{Released};

}  // namespace

using TOutput = TLayerShellDesktopBackend::TOutput;

// Listeners: plain functions handing the events to the back-end. An
// output's description is read by the painting thread: written under the lock.
struct TOutputEvents {
    static void Geometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t,
                         const char*, const char*, int32_t transform) {
        auto* output = static_cast<TOutput*>(data);
        std::lock_guard lock(output->owner->mutex_);
        output->transform = transform;
    }
    static void Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height,
                     int32_t) {
        auto* output = static_cast<TOutput*>(data);
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            std::lock_guard lock(output->owner->mutex_);
            output->modeWidth = width;
            output->modeHeight = height;
        }
    }
    static void Scale(void* data, wl_output*, int32_t factor) {
        auto* output = static_cast<TOutput*>(data);
        std::lock_guard lock(output->owner->mutex_);
        output->scale = std::max(1, factor);
    }
    static void Name(void* data, wl_output*, const char* name) {
        auto* output = static_cast<TOutput*>(data);
        std::lock_guard lock(output->owner->mutex_);
        output->name = name ? name : "";
    }
    static void Description(void*, wl_output*, const char*) {}
    static void Done(void* data, wl_output*) {
        auto* output = static_cast<TOutput*>(data);
        output->owner->OutputDone(*output);
    }
    static void Configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width,
                          uint32_t height) {
        auto* output = static_cast<TOutput*>(data);
        output->owner->Configure(*output, serial, width, height);
    }
    static void Closed(void* data, zwlr_layer_surface_v1*) {
        auto* output = static_cast<TOutput*>(data);
        output->owner->Closed(*output);
    }
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        static_cast<TLayerShellDesktopBackend*>(data)->Bind(registry, name, interface, version);
    }
    static void GlobalRemove(void* data, wl_registry*, uint32_t name) {
        static_cast<TLayerShellDesktopBackend*>(data)->RemoveGlobal(name);
    }
};

// The pointer's events, for the accessory it is on.
struct TPointerEvents {
    static void Capabilities(void* data, wl_seat*, uint32_t capabilities) {
        static_cast<TLayerShellDesktopBackend*>(data)->SeatCapabilities(capabilities);
    }
    static void SeatName(void*, wl_seat*, const char*) {}
    static void Enter(void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x,
                      wl_fixed_t y) {
        auto* d = static_cast<TLayerShellDesktopBackend*>(data);
        d->pointed_ = d->AccessoryOf(surface);
        if (d->pointed_) {
            d->pointed_->PointerEnter(wl_fixed_to_double(x), wl_fixed_to_double(y));
        }
    }
    static void Leave(void* data, wl_pointer*, uint32_t, wl_surface*) {
        static_cast<TLayerShellDesktopBackend*>(data)->pointed_ = nullptr;
    }
    static void Motion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        if (auto* accessory = static_cast<TLayerShellDesktopBackend*>(data)->pointed_) {
            accessory->PointerMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
        }
    }
    static void Button(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button,
                       uint32_t state) {
        if (auto* accessory = static_cast<TLayerShellDesktopBackend*>(data)->pointed_) {
            accessory->PointerButton(button, state == WL_POINTER_BUTTON_STATE_PRESSED);
        }
    }
    static void Axis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
};

namespace {

// Version 3 of the seat: its pointer sends no frame or axis-source events.
const wl_seat_listener kSeatListener{TPointerEvents::Capabilities, TPointerEvents::SeatName};
const wl_pointer_listener kPointerListener{TPointerEvents::Enter,
                                           TPointerEvents::Leave,
                                           TPointerEvents::Motion,
                                           TPointerEvents::Button,
                                           TPointerEvents::Axis,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr};

const wl_output_listener kOutputListener{TOutputEvents::Geometry, TOutputEvents::Mode,
                                         TOutputEvents::Done,     TOutputEvents::Scale,
                                         TOutputEvents::Name,     TOutputEvents::Description};
const zwlr_layer_surface_v1_listener kLayerListener{TOutputEvents::Configure,
                                                    TOutputEvents::Closed};
const wl_registry_listener kRegistryListener{TOutputEvents::Global, TOutputEvents::GlobalRemove};

}  // namespace

TLayerShellDesktopBackend::TLayerShellDesktopBackend(const std::string& displayName)
    : connection_(std::make_unique<TWaylandConnection>(displayName)),
      context_(std::make_unique<QObject>()) {
    wl_display* display = connection_->Display();
    if (!display) {
        lastError_ = connection_->Error();
        return;
    }
    registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    // The globals, then the outputs' first description.
    if (!connection_->Roundtrip() || !connection_->Roundtrip()) {
        lastError_ = connection_->Error();
        return;
    }
    std::string missing;
    for (const auto& [global, what] :
         {std::pair<const void*, const char*>{compositor_, "wl_compositor"},
          {shm_, "wl_shm (shared memory)"},
          {shell_, "zwlr_layer_shell_v1 (the layer-shell protocol)"}}) {
        if (!global) {
            missing += (missing.empty() ? "" : ", ") + std::string(what);
        }
    }
    if (!missing.empty()) {
        lastError_ = "the Wayland compositor offers no " + missing +
                     ", so Vantoria cannot draw the wallpaper there";
        return;
    }
    available_ = true;
    connection_->Watch([this](const std::string& why) { ConnectionLost(why); });
}

TLayerShellDesktopBackend::~TLayerShellDesktopBackend() {
    context_.reset();  // no queued showing runs any more
    for (TLayerShellAccessory* accessory : accessories_) {
        accessory->Detach();
    }
    accessories_.clear();
    if (pointer_) {
        wl_pointer_destroy(pointer_);
    }
    if (seat_) {
        wl_seat_destroy(seat_);
    }
    if (connection_->Display()) {
        DropAll();
        connection_->Flush();  // nothing goes on a lost connection
    }
    std::lock_guard lock(mutex_);
    for (auto& output : outputs_) {
        for (auto& buffer : output->buffers) {
            buffer->busy = false;
        }
        output->buffers.clear();
        output->pending.reset();
        if (output->output) {
            wl_output_destroy(output->output);
        }
    }
    outputs_.clear();
    if (shell_) {
        zwlr_layer_shell_v1_destroy(shell_);
    }
    if (shm_) {
        wl_shm_destroy(shm_);
    }
    if (compositor_) {
        wl_compositor_destroy(compositor_);
    }
    if (registry_) {
        wl_registry_destroy(registry_);
    }
}

void TLayerShellDesktopBackend::Bind(wl_registry* registry, std::uint32_t name,
                                     const char* interface, std::uint32_t version) {
    const std::string_view what(interface);
    if (what == wl_compositor_interface.name && !compositor_) {
        compositorVersion_ = std::min<std::uint32_t>(version, 4);
        compositor_ = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, compositorVersion_));
    } else if (what == wl_shm_interface.name && !shm_) {
        shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (what == zwlr_layer_shell_v1_interface.name && !shell_) {
        shell_ = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
    } else if (what == wl_seat_interface.name && !seat_) {
        seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface,
                                                       std::min<std::uint32_t>(version, 3)));
        wl_seat_add_listener(seat_, &kSeatListener, this);
    } else if (what == wl_output_interface.name && version >= 2) {
        auto output = std::make_unique<TOutput>();
        output->owner = this;
        output->global = name;
        output->name = "output " + std::to_string(name);
        output->output = static_cast<wl_output*>(wl_registry_bind(
            registry, name, &wl_output_interface, std::min<std::uint32_t>(version, 4)));
        wl_output_add_listener(output->output, &kOutputListener, output.get());
        std::lock_guard lock(mutex_);
        outputs_.push_back(std::move(output));
    }
}

void TLayerShellDesktopBackend::RemoveGlobal(std::uint32_t name) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                                 [name](const auto& output) { return output->global == name; });
    if (it == outputs_.end()) {
        return;
    }
    DropSurface(**it);
    wl_output_destroy((*it)->output);
    outputs_.erase(it);
}

TLayerShellDesktopBackend::TOutputSize TLayerShellDesktopBackend::DeviceSize(
    const TOutput& output) {
    TOutputSize size{output.name, output.modeWidth, output.modeHeight, output.scale};
    if (output.configured && output.width > 0 && output.height > 0) {
        size.width = output.width * output.scale;
        size.height = output.height * output.scale;
    } else if (output.transform % 2 == 1) {  // turned a quarter: the mode lies on its side
        std::swap(size.width, size.height);
    }
    return size;
}

void TLayerShellDesktopBackend::OutputDone(TOutput& output) {
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        const TOutputSize now = DeviceSize(output);
        changed =
            showing_ && (!output.done || now.width != output.painted.width ||
                         now.height != output.painted.height || now.scale != output.painted.scale);
        output.done = true;
        output.painted = now;
    }
    if (changed) {
        Changed();
    }
}

void TLayerShellDesktopBackend::Configure(TOutput& output, std::uint32_t serial,
                                          std::uint32_t width, std::uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(output.layer, serial);
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        const bool first = !output.configured;
        const TOutputSize before = DeviceSize(output);
        output.configured = true;
        output.width = static_cast<int>(std::min<std::uint32_t>(width, INT_MAX / 8));
        output.height = static_cast<int>(std::min<std::uint32_t>(height, INT_MAX / 8));
        const TOutputSize now = DeviceSize(output);
        if (output.pending &&
            (output.pending->width != now.width || output.pending->height != now.height)) {
            output.pending.reset();
            changed = true;
        } else if (!first && (before.width != now.width || before.height != now.height)) {
            changed = true;
        }
        Attach(output);
    }
    connection_->Flush();
    if (changed) {
        Changed();
    }
}

void TLayerShellDesktopBackend::Closed(TOutput& output) {
    std::lock_guard lock(mutex_);
    DropSurface(output);
}

void TLayerShellDesktopBackend::Changed() {
    if (changed_) {
        changed_();
    }
}

void TLayerShellDesktopBackend::WatchOutputs(std::function<void()> changed) {
    changed_ = std::move(changed);
}

// Runs on the painting thread: only the outputs' sizes and the buffers are
// touched here, under the lock; the compositor is spoken to on the GUI thread.
bool TLayerShellDesktopBackend::PaintPicture(TPictureDraw& draw, std::uint32_t fill,
                                             const std::string& label) {
    std::vector<std::pair<std::uint32_t, TOutputSize>> targets;
    {
        std::lock_guard lock(mutex_);
        if (!available_ || !lost_.empty()) {
            lastError_ = lost_.empty() ? lastError_ : lost_;
            return false;
        }
        for (const auto& output : outputs_) {
            const TOutputSize size = DeviceSize(*output);
            if (output->done && size.width > 0 && size.height > 0) {
                targets.emplace_back(output->global, size);
            }
        }
    }
    if (targets.empty()) {
        lastError_ = "the Wayland compositor has no output to show a wallpaper on";
        return false;
    }
    // 0x00BBGGRR as the compositor's 0x00RRGGBB.
    const std::uint32_t colour = ((fill & 0xffu) << 16) | (fill & 0xff00u) | ((fill >> 16) & 0xffu);
    std::vector<std::pair<std::uint32_t, std::shared_ptr<TBuffer>>> made;
    const auto giveBack = [this, &made] {
        std::lock_guard lock(mutex_);
        for (auto& [global, buffer] : made) {
            buffer->filling = false;
        }
    };
    for (const auto& [global, size] : targets) {
        std::shared_ptr<TBuffer> buffer;
        {
            std::lock_guard lock(mutex_);
            for (const auto& output : outputs_) {
                if (output->global != global) {
                    continue;
                }
                for (const auto& spare : output->buffers) {
                    if (!spare->busy && !spare->filling && spare != output->pending &&
                        spare->width == size.width && spare->height == size.height) {
                        buffer = spare;
                        break;
                    }
                }
            }
            if (buffer) {
                buffer->filling = true;
            }
        }
        if (!buffer) {
            buffer = NewBuffer(size.width, size.height);
            if (!buffer) {
                giveBack();
                lastError_ = "no shared memory for a picture of " + std::to_string(size.width) +
                             "x" + std::to_string(size.height) + " pixels: " + std::strerror(errno);
                return false;
            }
            buffer->filling = true;
        }
        made.emplace_back(global, buffer);
        std::fill(buffer->data, buffer->data + buffer->bytes / 4, colour);
        TBufferParts parts(*buffer);
        if (!draw.Draw(size.width, size.height, parts)) {
            giveBack();
            lastError_.clear();
            return false;
        }
    }
    const auto show = [this, made, label] {
        for (const auto& [global, buffer] : made) {
            Show(global, buffer, label);
        }
        connection_->Flush();
    };
    if (QThread::currentThread() == context_->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(context_.get(), show, Qt::QueuedConnection);
    }
    lastError_.clear();
    return true;
}

// GUI thread: `buffer` goes to its output's surface, made at the first picture.
void TLayerShellDesktopBackend::Show(std::uint32_t global, const std::shared_ptr<TBuffer>& buffer,
                                     const std::string& label) {
    std::lock_guard lock(mutex_);
    buffer->filling = false;
    const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                                 [global](const auto& output) { return output->global == global; });
    if (it == outputs_.end() || !lost_.empty()) {
        return;  // the output went meanwhile
    }
    TOutput& output = **it;
    const TOutputSize size = DeviceSize(output);
    if (size.width != buffer->width || size.height != buffer->height) {
        return;  // resized meanwhile: the picture for the new size is on its way
    }
    if (std::find(output.buffers.begin(), output.buffers.end(), buffer) == output.buffers.end()) {
        output.buffers.push_back(buffer);
    }
    showing_ = true;
    label_ = label;
    output.pending = buffer;
    if (!output.surface) {
        output.surface = wl_compositor_create_surface(compositor_);
        wl_region* nothing = wl_compositor_create_region(compositor_);
        wl_surface_set_input_region(output.surface, nothing);
        wl_region_destroy(nothing);
        output.layer = zwlr_layer_shell_v1_get_layer_surface(shell_, output.surface, output.output,
                                                             ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
                                                             "wallpaper");
        zwlr_layer_surface_v1_set_size(output.layer, 0, 0);
        zwlr_layer_surface_v1_set_anchor(output.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(output.layer, -1);
        zwlr_layer_surface_v1_add_listener(output.layer, &kLayerListener, &output);
        wl_surface_commit(output.surface);  // the compositor answers with a configure
        return;
    }
    if (output.configured) {
        Attach(output);
    }
}

// Under the lock, on the GUI thread: the pending picture goes on screen, and
// the buffers no longer needed go (one spare of the size in use is kept).
void TLayerShellDesktopBackend::Attach(TOutput& output) {
    if (!output.pending || !output.surface) {
        return;
    }
    TBuffer& buffer = *output.pending;
    if (!buffer.buffer) {
        wl_shm_pool* pool =
            wl_shm_create_pool(shm_, buffer.memory.Fd(), static_cast<int>(buffer.bytes));
        buffer.buffer = wl_shm_pool_create_buffer(pool, 0, buffer.width, buffer.height,
                                                  buffer.width * 4, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        wl_buffer_add_listener(buffer.buffer, &kBufferListener, &buffer);
    }
    wl_surface_set_buffer_scale(output.surface, output.scale);
    wl_surface_attach(output.surface, buffer.buffer, 0, 0);
    if (compositorVersion_ >= 4) {
        wl_surface_damage_buffer(output.surface, 0, 0, INT32_MAX, INT32_MAX);
    } else {
        wl_surface_damage(output.surface, 0, 0, INT32_MAX, INT32_MAX);
    }
    wl_surface_commit(output.surface);
    buffer.busy = true;
    const std::shared_ptr<TBuffer> shown = std::move(output.pending);
    bool spare = false;
    std::erase_if(output.buffers, [&](const std::shared_ptr<TBuffer>& b) {
        if (b == shown || b->busy || b->filling) {
            return false;
        }
        if (!spare && b->width == shown->width && b->height == shown->height) {
            spare = true;
            return false;
        }
        return true;
    });
}

// Under the lock, on the GUI thread.
void TLayerShellDesktopBackend::DropSurface(TOutput& output) {
    if (output.layer) {
        zwlr_layer_surface_v1_destroy(output.layer);
        output.layer = nullptr;
    }
    if (output.surface) {
        wl_surface_destroy(output.surface);
        output.surface = nullptr;
    }
    output.configured = false;
    output.width = output.height = 0;
    output.pending.reset();
    // The compositor lets go of a destroyed surface's buffers; one being
    // filled stays with the painting thread, which drops it.
    for (auto& buffer : output.buffers) {
        if (buffer->buffer) {
            wl_buffer_destroy(buffer->buffer);
            buffer->buffer = nullptr;
        }
        buffer->busy = false;
    }
    output.buffers.clear();
}

void TLayerShellDesktopBackend::DropAll() {
    std::lock_guard lock(mutex_);
    for (auto& output : outputs_) {
        DropSurface(*output);
    }
    showing_ = false;
    label_.clear();
}

void TLayerShellDesktopBackend::ConnectionLost(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        lost_ = why + "; the wallpaper drawn by Vantoria is gone";
        showing_ = false;
        label_.clear();
    }
    qCWarning(lcLayerShell, "%s", lost_.c_str());
    lastError_ = lost_;
    // The next change tells the user.
    Changed();
}

bool TLayerShellDesktopBackend::SetPlacement(TDesktopPlacement) {
    return true;
}

bool TLayerShellDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    if (!file.empty()) {
        lastError_ = "the layer-shell drawer shows pictures composed for each output, not files";
        return false;
    }
    if (!lost_.empty()) {
        lastError_ = lost_;
        return true;  // nothing of ours shows any more
    }
    DropAll();
    connection_->Flush();
    return true;
}

std::optional<std::string> TLayerShellDesktopBackend::CurrentWallpaperFile() {
    std::lock_guard lock(mutex_);
    return showing_ ? label_ : std::string();
}

bool TLayerShellDesktopBackend::RestoreState(const std::string&) {
    return SetWallpaperFile(std::string(), false);
}

std::vector<TLayerShellDesktopBackend::TOutputSize> TLayerShellDesktopBackend::Outputs() const {
    std::lock_guard lock(mutex_);
    std::vector<TOutputSize> sizes;
    for (const auto& output : outputs_) {
        sizes.push_back(DeviceSize(*output));
    }
    return sizes;
}

std::unique_ptr<TAccessorySurface> TLayerShellDesktopBackend::NewAccessorySurface(
    const std::string& name) {
    auto accessory = std::make_unique<TLayerShellAccessory>(*this, name);
    accessories_.push_back(accessory.get());
    return accessory;
}

std::vector<TLayerShellDesktopBackend::TOutputObject> TLayerShellDesktopBackend::OutputObjects()
    const {
    std::lock_guard lock(mutex_);
    std::vector<TOutputObject> objects;
    for (const auto& output : outputs_) {
        if (output->done) {
            objects.push_back({output->output, DeviceSize(*output)});
        }
    }
    return objects;
}

void TLayerShellDesktopBackend::ForgetAccessory(TLayerShellAccessory* accessory) {
    std::erase(accessories_, accessory);
    if (pointed_ == accessory) {
        pointed_ = nullptr;
    }
}

TLayerShellAccessory* TLayerShellDesktopBackend::AccessoryOf(wl_surface* surface) const {
    for (TLayerShellAccessory* accessory : accessories_) {
        if (surface && accessory->Surface() == surface) {
            return accessory;
        }
    }
    return nullptr;
}

void TLayerShellDesktopBackend::SeatCapabilities(std::uint32_t capabilities) {
    const bool pointing = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (pointing && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &kPointerListener, this);
    } else if (!pointing && pointer_) {
        wl_pointer_destroy(pointer_);
        pointer_ = nullptr;
        pointed_ = nullptr;
    }
}

int TLayerShellDesktopBackend::ShownOutputs() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(outputs_.begin(), outputs_.end(), [](const auto& o) {
        return o->surface && o->configured;
    }));
}
