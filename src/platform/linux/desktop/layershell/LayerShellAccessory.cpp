#include "platform/linux/desktop/layershell/LayerShellAccessory.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QStyleHints>

#include "platform/linux/desktop/layershell/LayerShellDesktopBackend.h"
#include "platform/linux/desktop/layershell/SharedMemory.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

// A frame in shared memory, ARGB premultiplied as the compositor reads it;
// `busy` from its attachment until the compositor lets go of it.
struct TLayerShellAccessory::TBuffer {
    TSharedMemory memory;
    QSize size;
    wl_buffer* buffer = nullptr;
    bool busy = false;

    ~TBuffer() {
        if (buffer) {
            wl_buffer_destroy(buffer);
        }
    }
};

namespace {

// The compositor holds at most one frame while the next is drawn; a third
// covers a compositor slow to let go. Past that a frame waits for the next second.
constexpr std::size_t kMostBuffers = 3;

void Released(void* data, wl_buffer*) {
    static_cast<TLayerShellAccessory::TBuffer*>(data)->busy = false;
}
const wl_buffer_listener kBufferListener{Released};

void Configured(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t) {
    static_cast<TLayerShellAccessory*>(data)->Configure(serial);
}
void ClosedByCompositor(void* data, zwlr_layer_surface_v1*) {
    static_cast<TLayerShellAccessory*>(data)->Closed();
}
const zwlr_layer_surface_v1_listener kLayerListener{Configured, ClosedByCompositor};

// Where a frame is at least half opaque, in the surface's units: the part
// that takes the pointer (a round face is a stack of rectangles).
QRegion OpaquePart(const QImage& frame, qreal ratio) {
    const QImage image = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && qAlpha(line[x]) < 128) {
                ++x;
            }
            const int start = x;
            while (x < image.width() && qAlpha(line[x]) >= 128) {
                ++x;
            }
            if (x > start) {
                const int left = static_cast<int>(start / ratio);
                const int right = static_cast<int>((x + ratio - 1) / ratio);
                const int top = static_cast<int>(y / ratio);
                region += QRect(left, top, right - left, 1);
            }
        }
    }
    return region;
}

}  // namespace

TLayerShellAccessory::TLayerShellAccessory(TLayerShellDesktopBackend& owner, std::string name)
    : owner_(&owner), name_(std::move(name)) {}

TLayerShellAccessory::~TLayerShellAccessory() {
    if (owner_) {
        Drop();
        owner_->connection_->Flush();
        owner_->ForgetAccessory(this);
    }
}

QPoint TLayerShellAccessory::Place() const {
    return origin_ + margin_;
}

QPoint TLayerShellAccessory::ClampedMargin(QPoint margin) const {
    margin.setX(std::clamp(margin.x(), 0, std::max(0, outputSize_.width() - size_.width())));
    margin.setY(std::clamp(margin.y(), 0, std::max(0, outputSize_.height() - size_.height())));
    return margin;
}

// The output under the frame's centre as Qt knows the desk (Qt names the
// outputs as the compositor does), else the first the compositor announced.
bool TLayerShellAccessory::Create(const QPoint& place, const QSize& size) {
    TLayerShellDesktopBackend& d = *owner_;
    const QPoint centre = place + QPoint(size.width() / 2, size.height() / 2);
    const QScreen* screen = QGuiApplication::screenAt(centre);
    const std::vector<TLayerShellDesktopBackend::TOutputObject> outputs = d.OutputObjects();
    const TLayerShellDesktopBackend::TOutputObject* output = nullptr;
    for (const auto& candidate : outputs) {
        if (screen && candidate.size.name == screen->name().toStdString()) {
            output = &candidate;
        }
    }
    const bool known = output != nullptr;
    if (!output && !outputs.empty()) {
        output = &outputs.front();
    }
    if (!output) {
        error_ = "the Wayland compositor has no output to show the " + name_ + " on";
        return false;
    }
    outputName_ = output->size.name;
    scale_ = std::max(1, output->size.scale);
    origin_ = known ? screen->geometry().topLeft() : QPoint();
    outputSize_ = known ? screen->geometry().size()
                        : QSize(output->size.width / scale_, output->size.height / scale_);
    size_ = size;
    margin_ = ClampedMargin(place - origin_);

    surface_ = wl_compositor_create_surface(d.compositor_);
    layer_ = zwlr_layer_shell_v1_get_layer_surface(d.shell_, surface_, output->output,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM,
                                                   ("vantoria-" + name_).c_str());
    zwlr_layer_surface_v1_add_listener(layer_, &kLayerListener, this);
    zwlr_layer_surface_v1_set_size(layer_, static_cast<std::uint32_t>(size_.width()),
                                   static_cast<std::uint32_t>(size_.height()));
    zwlr_layer_surface_v1_set_anchor(
        layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    zwlr_layer_surface_v1_set_margin(layer_, margin_.y(), 0, 0, margin_.x());
    // Nothing goes aside for it, and the keyboard stays with the windows.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, 0);
    wl_region* nothing = wl_compositor_create_region(d.compositor_);
    wl_surface_set_input_region(surface_, nothing);
    wl_region_destroy(nothing);
    input_ = QRegion();
    wl_surface_commit(surface_);  // the compositor answers with a configure
    return true;
}

bool TLayerShellAccessory::Show(const QImage& frame, const QPoint& place) {
    if (!owner_ || owner_->connection_->Lost()) {
        error_ = owner_ ? owner_->connection_->Error() : "the Wayland connection is gone";
        return false;
    }
    if (frame.isNull()) {
        error_ = "the " + name_ + " has nothing to show";
        return false;
    }
    const qreal ratio = std::max<qreal>(frame.devicePixelRatio(), 1.0);
    const QSize size = (QSizeF(frame.size()) / ratio).toSize();
    if (surface_ && (size != size_ || (!dragging_ && place != Place()))) {
        Drop();  // a new size or place: a new surface, on the output now under it
    }
    if (!surface_ && !Create(place, size)) {
        return false;
    }
    const QSize device = size_ * scale_;
    TBuffer* buffer = nullptr;
    for (const auto& spare : buffers_) {
        if (!spare->busy && spare->size == device) {
            buffer = spare.get();
            break;
        }
    }
    if (!buffer) {
        std::erase_if(buffers_, [&](const auto& b) { return !b->busy && b->size != device; });
        if (buffers_.size() >= kMostBuffers) {
            return true;  // the compositor holds every buffer: the next second's frame shows
        }
        auto made = std::make_unique<TBuffer>();
        made->size = device;
        if (!made->memory.Make("vantoria-accessory",
                               static_cast<std::size_t>(device.width()) * device.height() * 4)) {
            error_ = std::string("no shared memory for the ") + name_ + ": " + std::strerror(errno);
            return false;
        }
        wl_shm_pool* pool = wl_shm_create_pool(owner_->shm_, made->memory.Fd(),
                                               static_cast<int>(made->memory.Bytes()));
        made->buffer = wl_shm_pool_create_buffer(pool, 0, device.width(), device.height(),
                                                 device.width() * 4, WL_SHM_FORMAT_ARGB8888);
        wl_shm_pool_destroy(pool);
        wl_buffer_add_listener(made->buffer, &kBufferListener, made.get());
        buffer = made.get();
        buffers_.push_back(std::move(made));
    }
    // The frame at the output's scale, in the compositor's pixel order
    // (premultiplied 0xAARRGGBB words, as Qt's ARGB32 premultiplied).
    QImage pixels = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (pixels.size() != device) {
        pixels = pixels.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    for (int y = 0; y < device.height(); ++y) {
        std::memcpy(static_cast<char*>(buffer->memory.Data()) +
                        static_cast<std::size_t>(y) * device.width() * 4,
                    pixels.constScanLine(y), static_cast<std::size_t>(device.width()) * 4);
    }
    const QRegion input = OpaquePart(pixels, scale_);
    if (input != input_) {
        input_ = input;
        wl_region* region = wl_compositor_create_region(owner_->compositor_);
        for (const QRect& r : input_) {
            wl_region_add(region, r.x(), r.y(), r.width(), r.height());
        }
        wl_surface_set_input_region(surface_, region);
        wl_region_destroy(region);
    }
    pending_ = buffer;
    if (configured_) {
        Commit();
    }
    owner_->connection_->Flush();
    error_.clear();
    return true;
}

void TLayerShellAccessory::Commit() {
    if (!pending_ || !surface_) {
        return;
    }
    wl_surface_set_buffer_scale(surface_, scale_);
    wl_surface_attach(surface_, pending_->buffer, 0, 0);
    wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface_);
    pending_->busy = true;
    pending_ = nullptr;
}

void TLayerShellAccessory::Configure(std::uint32_t serial) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    configured_ = true;
    Commit();
    owner_->connection_->Flush();
}

void TLayerShellAccessory::Closed() {
    // Its output went: the next frame finds another.
    Drop();
}

void TLayerShellAccessory::Drop() {
    if (layer_) {
        zwlr_layer_surface_v1_destroy(layer_);
        layer_ = nullptr;
    }
    if (surface_) {
        wl_surface_destroy(surface_);
        surface_ = nullptr;
    }
    configured_ = false;
    pending_ = nullptr;
    pressed_ = dragging_ = false;
    // A destroyed surface's buffers are the compositor's no more.
    buffers_.clear();
}

void TLayerShellAccessory::Detach() {
    Drop();
    owner_ = nullptr;
}

void TLayerShellAccessory::PointerEnter(double x, double y) {
    pointer_ = QPointF(x, y);
}

// sway reports the pointer of a press relative to where the surface was at
// the press while the button is held; others relative to where it is now.
// Of the two readings the one nearer to the pointer's last place is the
// true one: a pointer moves a little between two events, while the readings
// differ by the whole of the drag so far.
void TLayerShellAccessory::PointerMotion(double x, double y) {
    pointer_ = QPointF(x, y);
    if (!pressed_ || !surface_) {
        return;
    }
    const QPointF fromPress = QPointF(pressMargin_) + pointer_;
    const QPointF fromNow = QPointF(margin_) + pointer_;
    const QPointF at =
        (fromPress - lastAt_).manhattanLength() <= (fromNow - lastAt_).manhattanLength() ? fromPress
                                                                                         : fromNow;
    lastAt_ = at;
    if (!dragging_) {
        if ((at - pressAt_).manhattanLength() <
            QGuiApplication::styleHints()->startDragDistance()) {
            return;
        }
        dragging_ = true;
    }
    const QPoint margin = ClampedMargin(pressMargin_ + (at - pressAt_).toPoint());
    if (margin != margin_) {
        margin_ = margin;
        zwlr_layer_surface_v1_set_margin(layer_, margin_.y(), 0, 0, margin_.x());
        wl_surface_commit(surface_);
        owner_->connection_->Flush();
    }
}

void TLayerShellAccessory::PointerButton(std::uint32_t button, bool pressed) {
    if (button == BTN_LEFT) {
        if (pressed) {
            pressed_ = true;
            dragging_ = false;
            pressMargin_ = margin_;
            pressAt_ = lastAt_ = QPointF(margin_) + pointer_;
        } else {
            const bool moved = dragging_;
            pressed_ = dragging_ = false;
            if (moved && this->moved) {
                this->moved(Place());
            }
        }
    } else if (button == BTN_RIGHT && pressed && menuRequested) {
        menuRequested(Place() + pointer_.toPoint());
    }
}
