#pragma once

#include "data_control.h"

#include <QString>

#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;

namespace pomorina {

// A connection of the program's own to the compositor, with what the
// clipboard needs of it: a seat and the data-control protocol.
class WaylandConnection {
public:
    // Connects to the compositor WAYLAND_DISPLAY names (a name in
    // XDG_RUNTIME_DIR or an absolute path). Nothing when there is none, it
    // does not answer within `answerMs`, or it offers no data-control; then
    // *whyNot says which.
    static std::unique_ptr<WaylandConnection> open(int answerMs, QString* whyNot);
    ~WaylandConnection();

    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    wl_seat* seat() const { return seat_; }
    DataControl& dataControl() const { return *dataControl_; }

private:
    WaylandConnection() = default;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::unique_ptr<DataControl> dataControl_;
};

} // namespace pomorina
