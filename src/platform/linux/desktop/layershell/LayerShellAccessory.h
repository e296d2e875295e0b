#pragma once

#include <QPoint>
#include <QRegion>
#include <QSize>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DesktopAccessory.h"

class TLayerShellDesktopBackend;
struct wl_buffer;
struct wl_output;
struct wl_surface;
struct zwlr_layer_surface_v1;

// A surface of the bottom layer (beneath the windows, above the wallpaper),
// anchored to the top left corner of its output at margins that are its
// place there, taking no keyboard and the pointer only on the frame's opaque
// part. Its frames go through a few buffers in shared memory, each reused
// once the compositor has let go of it. It lives on the drawer's connection,
// which speaks to the compositor for it; the drawer passes it the pointer's
// events on it.
class TLayerShellAccessory final : public TAccessorySurface {
public:
    TLayerShellAccessory(TLayerShellDesktopBackend& owner, std::string name);
    ~TLayerShellAccessory() override;

    bool Show(const QImage& frame, const QPoint& place) override;
    QPoint Place() const override;
    std::string Error() const override { return error_; }

    // From the drawer.
    wl_surface* Surface() const { return surface_; }
    void Configure(std::uint32_t serial);
    void Closed();
    void PointerEnter(double x, double y);
    void PointerMotion(double x, double y);
    void PointerButton(std::uint32_t button, bool pressed);
    // The drawer is going: the Wayland objects go, and nothing more is shown.
    void Detach();

    struct TBuffer;

private:
    bool Create(const QPoint& place, const QSize& size);
    void Drop();
    void Commit();
    QPoint ClampedMargin(QPoint margin) const;

    TLayerShellDesktopBackend* owner_;
    std::string name_;
    std::string error_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    std::string outputName_;
    QPoint origin_;     // the output's top left corner on the desk
    QSize outputSize_;  // in the compositor's units
    int scale_ = 1;
    QSize size_;     // the surface's, in the compositor's units
    QPoint margin_;  // its place on the output
    bool configured_ = false;
    std::vector<std::unique_ptr<TBuffer>> buffers_;
    TBuffer* pending_ = nullptr;
    QRegion input_;

    // The pointer, in the surface's units.
    QPointF pointer_;
    bool pressed_ = false;
    bool dragging_ = false;
    QPointF pressAt_;  // on the output, at the press
    QPoint pressMargin_;
    QPointF lastAt_;  // on the output, as last followed
};
