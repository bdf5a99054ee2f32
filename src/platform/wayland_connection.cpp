#include "wayland_connection.h"

#include <QElapsedTimer>

#include <wayland-client.h>

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace pomorina {

namespace {

struct Global {
    uint32_t name = 0;
    uint32_t version = 0;
    std::string interface;
};

// The globals the compositor announces on connecting; later ones (a seat
// plugged in afterwards, say) are not used.
struct Globals {
    Global seat;
    Global dataControl;
    int preference = 0;
};

void announced(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat.name == 0)
        globals->seat = {name, version, interface};
    const int preference = dataControlPreference(interface);
    if (preference > globals->preference) {
        globals->preference = preference;
        globals->dataControl = {name, version, interface};
    }
}

void removed(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {announced, removed};

void done(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSyncListener = {done};

// wl_display_roundtrip(), but given up after `answerMs`: a compositor that
// hangs must not hang the program's start.
bool roundtrip(wl_display* display, int answerMs) {
    bool answered = false;
    wl_callback* sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &kSyncListener, &answered);
    QElapsedTimer waited;
    waited.start();
    while (!answered) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        if (answered) {
            wl_display_cancel_read(display);
            break;
        }
        wl_display_flush(display);
        const qint64 left = answerMs - waited.elapsed();
        pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
        if (left <= 0 || (::poll(&descriptor, 1, int(left)) < 0 && errno != EINTR)) {
            wl_display_cancel_read(display);
            break;
        }
        if (descriptor.revents != 0) {
            if (wl_display_read_events(display) != 0)
                break;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0)
            break;
    }
    wl_callback_destroy(sync);
    return answered;
}

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open(int answerMs, QString* whyNot) {
    const auto fail = [whyNot](const char* why) {
        if (whyNot != nullptr)
            *whyNot = QString::fromLatin1(why);
        return nullptr;
    };
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return fail("no Wayland display (WAYLAND_DISPLAY is not set)");
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection);
    connection->display_ = wl_display_connect(nullptr);
    if (connection->display_ == nullptr)
        return fail("the Wayland display cannot be reached");
    Globals globals;
    connection->registry_ = wl_display_get_registry(connection->display_);
    wl_registry_add_listener(connection->registry_, &kRegistryListener, &globals);
    if (!roundtrip(connection->display_, answerMs))
        return fail("the compositor does not answer");
    if (globals.preference == 0)
        return fail("the compositor offers no data-control protocol");
    if (globals.seat.name == 0)
        return fail("the compositor has no seat");
    connection->seat_ = static_cast<wl_seat*>(
        wl_registry_bind(connection->registry_, globals.seat.name, &wl_seat_interface, 1));
    connection->dataControl_ =
        bindDataControl(connection->registry_, globals.dataControl.name,
                        globals.dataControl.interface.c_str(), globals.dataControl.version);
    // What was bound stays; later announcements would go to `globals`, gone
    // by then.
    wl_registry_destroy(connection->registry_);
    connection->registry_ = nullptr;
    return connection;
}

WaylandConnection::~WaylandConnection() {
    dataControl_.reset();
    if (seat_ != nullptr)
        wl_seat_destroy(seat_);
    if (registry_ != nullptr)
        wl_registry_destroy(registry_);
    if (display_ != nullptr)
        wl_display_disconnect(display_);
}

} // namespace pomorina
