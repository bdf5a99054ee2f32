#pragma once

// The compositor's data-control protocol, through which a program in the
// background may watch and set the clipboard. It is published in two forms,
// the newer ext-data-control-v1 and the older wlroots one, with the same
// messages under other names; the rest of the program sees only this.

#include <QByteArray>
#include <QByteArrayList>

#include <cstdint>
#include <memory>

struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace pomorina {

// Handles of the protocol's objects, opaque outside data_control.cpp.
using DataOffer = wl_proxy;  // another program's selection
using DataSource = wl_proxy; // a selection of ours

// What the compositor tells, called while the connection's events are
// dispatched.
class DataControlEvents {
public:
    virtual ~DataControlEvents();
    // The clipboard now holds `offer` (null: nothing), offering `types`.
    // The offer is the receiver's, to be given back to destroyOffer().
    virtual void selection(DataOffer* offer, const QByteArrayList& types) = 0;
    // Another program asks for `type` of our `source`, to be written to
    // `fd`, which is the receiver's to close.
    virtual void send(DataSource* source, const QByteArray& type, int fd) = 0;
    // `source` no longer holds the clipboard; it is still to be destroyed.
    virtual void cancelled(DataSource* source) = 0;
    // The seat's clipboard can no longer be watched.
    virtual void finished() = 0;
};

class DataControl {
public:
    virtual ~DataControl();
    // "ext-data-control-v1", say.
    virtual const char* protocolName() const = 0;
    // Starts watching `seat`'s clipboard; the first selection event tells
    // what it holds now. Once only.
    virtual void watch(wl_seat* seat, DataControlEvents* events) = 0;

    virtual DataSource* createSource(const QByteArrayList& types) = 0;
    virtual void setSelection(DataSource* source) = 0;
    virtual void destroySource(DataSource* source) = 0;
    // Asks the offer's owner to write `type` into `fd` (a copy is sent; the
    // caller keeps and closes its own).
    virtual void receive(DataOffer* offer, const QByteArray& type, int fd) = 0;
    virtual void destroyOffer(DataOffer* offer) = 0;
};

// Which of the forms a global announced by the compositor is, if any:
// higher is preferred.
int dataControlPreference(const char* interface);

// Binds the manager announced as global `name` of `interface` (one that
// dataControlPreference() knows).
std::unique_ptr<DataControl> bindDataControl(wl_registry* registry, uint32_t name,
                                             const char* interface, uint32_t version);

} // namespace pomorina
