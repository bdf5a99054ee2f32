// Reads the CLIPBOARD selection over an X connection of its own, on a worker
// thread: the owner is asked for its list of formats, then for the text and
// the picture it offers, incremental transfers included. The user interface
// only ever looks at finished reads.
//
// Each request names a property of its own and carries the server's time of
// the read it belongs to, so that an answer that comes after its request
// was given up is never taken for a newer request's (see
// x11_answer_properties.h).
#include "clipboard_fetcher.h"
#include "x11_answer_properties.h"

#include <QElapsedTimer>
#include <QImageReader>

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace pomorina {

ClipboardFetcher::~ClipboardFetcher() = default;

namespace {

// An owner listing more formats than this is not believed past them.
constexpr int kMaxTargets = 256;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbPtr = std::unique_ptr<T, FreeDeleter>;

struct Transfer {
    xcb_atom_t type = XCB_NONE;
    QByteArray bytes;
};

class X11ClipboardFetcher final : public ClipboardFetcher {
public:
    X11ClipboardFetcher(xcb_connection_t* connection, const FetchLimits& limits);
    ~X11ClipboardFetcher() override;

    void setFinishedHandler(std::function<void(quint64)> handler) override {
        finishedHandler_ = std::move(handler);
    }
    void request(quint64 change) override;
    std::optional<ClipboardSnapshot> result(quint64 change, int waitMs) override;

private:
    void run();
    ClipboardSnapshot fetch(quint64 change);
    std::optional<xcb_timestamp_t> serverTime(quint64 change);
    std::optional<Transfer> transfer(xcb_atom_t target, xcb_timestamp_t time, quint64 change);
    std::optional<Transfer> receive(xcb_atom_t property, bool& transferring, quint64 change);
    std::optional<Transfer> readProperty(xcb_atom_t property);
    XcbPtr<xcb_generic_event_t> waitFor(const std::function<bool(xcb_generic_event_t*)>& wanted,
                                        quint64 change);
    void clearLate(const xcb_generic_event_t* event);
    void clearPiece(AnswerProperties::Slot& slot, bool answer);
    bool superseded(quint64 change);
    bool stopping();
    xcb_atom_t atom(const char* name);
    QByteArrayList atomNames(const QList<xcb_atom_t>& atoms);

    xcb_connection_t* connection_;
    const FetchLimits limits_;
    xcb_window_t window_ = XCB_NONE;
    xcb_atom_t clipboard_, targets_, incr_, timeProperty_;
    // The server notes the appends in order: the one that answers the
    // newest is the one whose count matches (an earlier read may have been
    // given up before its own came).
    quint64 stampsAsked_ = 0;
    quint64 stampsSeen_ = 0;
    AnswerProperties answers_;
    std::unordered_map<xcb_atom_t, QByteArray> names_;
    QByteArrayList readablePictures_;

    std::mutex mutex_;
    std::condition_variable changed_;
    quint64 requested_ = 0;
    bool hasRequest_ = false;
    bool stopping_ = false;
    std::optional<std::pair<quint64, ClipboardSnapshot>> finished_;
    std::function<void(quint64)> finishedHandler_;
    bool abandoned_ = false; // the read under way was given up for a newer one (worker only)
    std::thread worker_;
};

X11ClipboardFetcher::X11ClipboardFetcher(xcb_connection_t* connection, const FetchLimits& limits)
    : connection_(connection), limits_(limits), answers_([this](int n) {
          return atom(("_POMORINA_CLIPBOARD_" + std::to_string(n)).c_str());
      }) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    // An unmapped window of our own to receive the data on; property changes
    // on it drive incremental transfers.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    clipboard_ = atom("CLIPBOARD");
    targets_ = atom("TARGETS");
    incr_ = atom("INCR");
    timeProperty_ = atom("_POMORINA_TIME");
    readablePictures_ = QImageReader::supportedMimeTypes();
    worker_ = std::thread([this] { run(); });
}

X11ClipboardFetcher::~X11ClipboardFetcher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    xcb_disconnect(connection_);
}

void X11ClipboardFetcher::request(quint64 change) {
    {
        std::lock_guard lock(mutex_);
        requested_ = change;
        hasRequest_ = true;
    }
    changed_.notify_all();
}

std::optional<ClipboardSnapshot> X11ClipboardFetcher::result(quint64 change, int waitMs) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return finished_ && finished_->first == change; };
    if (!changed_.wait_for(lock, std::chrono::milliseconds(waitMs), ready))
        return std::nullopt;
    // Handed over, not kept: a large picture's pixels live on with the taker
    // only.
    std::optional<ClipboardSnapshot> taken = std::move(finished_->second);
    finished_.reset();
    return taken;
}

void X11ClipboardFetcher::run() {
    for (;;) {
        quint64 change = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return hasRequest_ || stopping_; });
            if (stopping_)
                return;
            change = requested_;
            hasRequest_ = false;
        }
        abandoned_ = false;
        ClipboardSnapshot snapshot = fetch(change);
        // A read given up for newer content may be cut short: never handed
        // over, the newer one is read next.
        if (abandoned_)
            continue;
        {
            std::lock_guard lock(mutex_);
            finished_.emplace(change, std::move(snapshot));
        }
        changed_.notify_all();
        if (finishedHandler_)
            finishedHandler_(change);
    }
}

bool X11ClipboardFetcher::superseded(quint64 change) {
    std::lock_guard lock(mutex_);
    return hasRequest_ && requested_ != change;
}

bool X11ClipboardFetcher::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

ClipboardSnapshot X11ClipboardFetcher::fetch(quint64 change) {
    ClipboardSnapshot snapshot;
    const std::optional<xcb_timestamp_t> time = serverTime(change);
    if (!time)
        return snapshot;
    const std::optional<Transfer> list = transfer(targets_, *time, change);
    if (!list)
        return snapshot; // no owner, or one that does not answer: nothing offered
    QList<xcb_atom_t> atoms;
    const qsizetype count = std::min<qsizetype>(list->bytes.size() / 4, kMaxTargets);
    for (qsizetype i = 0; i < count; ++i) {
        uint32_t value = 0;
        std::memcpy(&value, list->bytes.constData() + i * 4, 4);
        atoms.append(value);
    }
    const ClipboardOffer offer = clipboardOffer(atomNames(atoms), readablePictures_);
    snapshot.formats = offer.formats;
    if (!offer.textTarget.isEmpty()) {
        if (const std::optional<Transfer> text =
                transfer(atom(offer.textTarget.constData()), *time, change))
            snapshot.text = clipboardTextFromBytes(text->bytes, atomNames({text->type}).value(0));
    }
    if (!offer.pictureTarget.isEmpty()) {
        if (const std::optional<Transfer> picture =
                transfer(atom(offer.pictureTarget.constData()), *time, change)) {
            snapshot.setPicture(clipboardPictureFromBytes(picture->bytes));
            if (!snapshot.picture.isNull()) {
                snapshot.pictureBytes = picture->bytes;
                snapshot.pictureFormat = offer.pictureTarget;
            }
        }
    }
    return snapshot;
}

std::optional<xcb_timestamp_t> X11ClipboardFetcher::serverTime(quint64 change) {
    // Appending nothing to a property of our own window changes nothing,
    // and the server's note of it carries its time: the stamp that every
    // request of this read carries.
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, timeProperty_, XCB_ATOM_INTEGER,
                        32, 0, nullptr);
    xcb_flush(connection_);
    ++stampsAsked_;
    const auto notified = waitFor(
        [&](xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            return notify->window == window_ && notify->atom == timeProperty_ &&
                   ++stampsSeen_ == stampsAsked_;
        },
        change);
    if (!notified)
        return std::nullopt;
    return reinterpret_cast<xcb_property_notify_event_t*>(notified.get())->time;
}

std::optional<Transfer> X11ClipboardFetcher::transfer(xcb_atom_t target, xcb_timestamp_t time,
                                                      quint64 change) {
    AnswerProperties::Slot& slot = answers_.ask(target, time);
    const xcb_atom_t property = slot.property;
    xcb_delete_property(connection_, window_, property);
    xcb_convert_selection(connection_, window_, clipboard_, target, property, time);
    xcb_flush(connection_);
    const auto notified = waitFor(
        [&](xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            if (notify->requestor != window_ || notify->selection != clipboard_ ||
                notify->target != target)
                return false;
            if (notify->property == property)
                return true;
            // A refusal names no property; its time tells it from a late
            // refusal of a request given up. An owner that does not send
            // the time back is believed while no such refusal can come.
            return notify->property == XCB_NONE &&
                   (notify->time == time || !answers_.awaits(target));
        },
        change);
    if (!notified) {
        answers_.giveUp(slot, false);
        return std::nullopt;
    }
    if (reinterpret_cast<xcb_selection_notify_event_t*>(notified.get())->property == XCB_NONE) {
        answers_.finish(slot); // the owner refused this format
        return std::nullopt;
    }
    bool transferring = false;
    std::optional<Transfer> data = receive(property, transferring, change);
    if (!data && transferring) {
        // The owner may go on sending: its pieces are cleared away as they
        // come, until the empty one that ends the transfer.
        xcb_delete_property(connection_, window_, property);
        xcb_flush(connection_);
        answers_.giveUp(slot, true);
        return std::nullopt;
    }
    // Read to the end, it is gone already; a whole answer too large to take
    // is still there.
    xcb_delete_property(connection_, window_, property);
    answers_.finish(slot);
    return data;
}

std::optional<Transfer> X11ClipboardFetcher::receive(xcb_atom_t property, bool& transferring,
                                                     quint64 change) {
    std::optional<Transfer> whole = readProperty(property);
    if (!whole || whole->type != incr_)
        return whole;

    // Incremental: reading (and so deleting) the property asks the owner for
    // the next piece; an empty piece ends the transfer.
    transferring = true;
    Transfer data;
    for (;;) {
        const auto piece = waitFor(
            [&](xcb_generic_event_t* event) {
                if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                return notify->window == window_ && notify->atom == property &&
                       notify->state == XCB_PROPERTY_NEW_VALUE;
            },
            change);
        if (!piece)
            return std::nullopt;
        std::optional<Transfer> part = readProperty(property);
        if (!part)
            return std::nullopt;
        if (part->bytes.isEmpty()) {
            transferring = false;
            return data;
        }
        if (data.bytes.size() + part->bytes.size() > limits_.maxBytes)
            return std::nullopt;
        data.type = part->type;
        data.bytes.append(part->bytes);
    }
}

std::optional<Transfer> X11ClipboardFetcher::readProperty(xcb_atom_t property) {
    Transfer data;
    uint32_t offset = 0; // in 32-bit units, as the protocol counts
    for (;;) {
        // Deleted once read to the end, which also tells an incremental
        // sender to go on.
        XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 1, window_, property, XCB_GET_PROPERTY_TYPE_ANY, offset,
                             (limits_.maxBytes / 4) + 1),
            nullptr));
        if (!reply)
            return std::nullopt;
        const int length = xcb_get_property_value_length(reply.get());
        if (data.bytes.size() + length > limits_.maxBytes)
            return std::nullopt;
        data.type = reply->type;
        data.bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
        if (reply->bytes_after == 0)
            return data;
        if (length % 4 != 0 || length == 0)
            return std::nullopt; // cannot happen with a well-behaved server
        offset += static_cast<uint32_t>(length / 4);
    }
}

void X11ClipboardFetcher::clearLate(const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_SELECTION_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        if (notify->requestor != window_ || notify->selection != clipboard_)
            return;
        AnswerProperties::Slot* slot =
            answers_.lateAnswer(notify->property, notify->target, notify->time);
        if (slot == nullptr)
            return;
        if (notify->property == XCB_NONE)
            answers_.finish(*slot); // a late refusal leaves nothing behind
        else
            clearPiece(*slot, true);
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->window != window_ || notify->state != XCB_PROPERTY_NEW_VALUE)
            return;
        if (AnswerProperties::Slot* slot = answers_.draining(notify->atom))
            clearPiece(*slot, false);
    }
}

void X11ClipboardFetcher::clearPiece(AnswerProperties::Slot& slot, bool answer) {
    // Only the type and size are asked for, not the data.
    XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window_, slot.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    // Deleting the start of an incremental transfer, or one of its pieces,
    // asks the owner for the next; deleting the empty piece ends it.
    xcb_delete_property(connection_, window_, slot.property);
    xcb_flush(connection_);
    const bool more = reply && (answer ? reply->type == incr_ : reply->bytes_after != 0);
    if (!more)
        answers_.finish(slot);
    else if (answer)
        answers_.giveUp(slot, true);
}

XcbPtr<xcb_generic_event_t>
X11ClipboardFetcher::waitFor(const std::function<bool(xcb_generic_event_t*)>& wanted,
                             quint64 change) {
    QElapsedTimer silent;
    silent.start();
    for (;;) {
        while (XcbPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
            if (wanted(event.get()))
                return event;
            clearLate(event.get());
        }
        // The program is ending: it must not wait on the owner either.
        if (xcb_connection_has_error(connection_) != 0 || stopping())
            return nullptr;
        const qint64 waited = silent.elapsed();
        if (waited >= limits_.answerTimeoutMs)
            return nullptr;
        if (waited >= limits_.supersededAfterMs && superseded(change)) {
            abandoned_ = true;
            return nullptr;
        }
        pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&descriptor, 1, 10);
    }
}

xcb_atom_t X11ClipboardFetcher::atom(const char* name) {
    XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

QByteArrayList X11ClipboardFetcher::atomNames(const QList<xcb_atom_t>& atoms) {
    // Names never change on a server: each is asked for once, all unknown
    // ones in one round trip.
    QList<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
    for (const xcb_atom_t atom : atoms) {
        if (atom != XCB_NONE && !names_.contains(atom))
            asked.append({atom, xcb_get_atom_name(connection_, atom)});
    }
    for (const auto& [atom, cookie] : asked) {
        XcbPtr<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(connection_, cookie, nullptr));
        names_[atom] = reply ? QByteArray(xcb_get_atom_name_name(reply.get()),
                                          xcb_get_atom_name_name_length(reply.get()))
                             : QByteArray();
    }
    QByteArrayList names;
    for (const xcb_atom_t atom : atoms)
        names.append(atom == XCB_NONE ? QByteArray() : names_[atom]);
    return names;
}

} // namespace

std::unique_ptr<ClipboardFetcher> createX11ClipboardFetcher(const QByteArray& display,
                                                            const FetchLimits& limits) {
    xcb_connection_t* connection =
        xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_unique<X11ClipboardFetcher>(connection, limits);
}

} // namespace pomorina
