#include "platform/linux/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>

TWaylandConnection::TWaylandConnection(const std::string& displayName) {
    display_ = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!display_) {
        error_ = "no Wayland compositor answers at " +
                 (displayName.empty() ? std::string("$WAYLAND_DISPLAY") : displayName) + " (" +
                 std::strerror(errno) + ")";
    }
}

TWaylandConnection::~TWaylandConnection() {
    reader_.reset();
    writer_.reset();
    context_.reset();
    if (display_) {
        wl_display_disconnect(display_);
    }
}

bool TWaylandConnection::Roundtrip() {
    if (!display_ || lost_) {
        return false;
    }
    if (wl_display_roundtrip(display_) < 0) {
        Lose();
        return false;
    }
    return true;
}

void TWaylandConnection::Flush() {
    if (!display_ || lost_) {
        return;
    }
    if (wl_display_flush(display_) < 0) {
        if (errno == EAGAIN) {
            // The socket is full: the rest goes once the compositor has read.
            if (writer_) {
                writer_->setEnabled(true);
            }
            return;
        }
        Lose();
    }
}

void TWaylandConnection::Watch(std::function<void(const std::string&)> lost) {
    lostHandler_ = std::move(lost);
    if (!display_ || lost_ || reader_) {
        return;
    }
    const int fd = wl_display_get_fd(display_);
    context_ = std::make_unique<QObject>();
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(reader_.get(), &QSocketNotifier::activated, context_.get(),
                     [this] { ReadEvents(); });
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writer_->setEnabled(false);
    QObject::connect(writer_.get(), &QSocketNotifier::activated, context_.get(), [this] {
        writer_->setEnabled(false);
        Flush();
    });
    if (QAbstractEventDispatcher* dispatcher =
            QAbstractEventDispatcher::instance(QThread::currentThread())) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, context_.get(),
                         [this] { Flush(); });
    }
    // Events read during the set-up roundtrips wait in the queue.
    if (wl_display_dispatch_pending(display_) < 0) {
        Lose();
    }
}

void TWaylandConnection::ReadEvents() {
    if (lost_) {
        return;
    }
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            Lose();
            return;
        }
    }
    wl_display_flush(display_);
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) {
        Lose();
        return;
    }
    // The answers the events asked for (a new output bound...) go at once.
    Flush();
}

void TWaylandConnection::Lose() {
    if (lost_) {
        return;
    }
    lost_ = true;
    const int code = wl_display_get_error(display_);
    if (code == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t protocolCode = wl_display_get_protocol_error(display_, &interface, &id);
        error_ = "the Wayland compositor ended the connection: protocol error " +
                 std::to_string(protocolCode) + " on " +
                 (interface ? interface->name : "an object");
    } else {
        error_ = "the Wayland connection was lost (" +
                 std::string(code ? std::strerror(code) : "closed by the compositor") + ")";
    }
    if (reader_) {
        reader_->setEnabled(false);
    }
    if (writer_) {
        writer_->setEnabled(false);
    }
    if (lostHandler_) {
        lostHandler_(error_);
    }
}
