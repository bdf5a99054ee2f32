#pragma once

#include "clipboard_fetcher.h"
#include "clipboard_offer.h"
#include "data_control.h"
#include "wayland_transfers.h"

#include <QList>

#include <memory>

struct wl_callback;
struct wl_display;

namespace pomorina {

// The read of one selection of another program: its text, then its picture,
// each through a pipe of its own. Driven by the worker's loop and never
// waiting: it is given up at any moment by destroying it, as when a newer
// selection supersedes it.
class SelectionRead {
public:
    SelectionRead(DataControl& control, wl_display* display, DataOffer* offer,
                  const QByteArrayList& types, const QByteArrayList& readablePictures,
                  const FetchLimits& limits);
    ~SelectionRead();
    SelectionRead(const SelectionRead&) = delete;
    SelectionRead& operator=(const SelectionRead&) = delete;

    // True once every transfer has ended and the compositor has confirmed
    // that the selection they came from was still there.
    bool finished() const { return confirmed_; }
    ClipboardSnapshot take() { return std::move(snapshot_); }

    // The pipe to wait on; -1 while none is open.
    int fd() const { return incoming_ ? incoming_->fd() : -1; }
    // Takes in what the pipe holds, gives up an owner that has been silent
    // too long, and asks for the confirmation when it is time.
    void service();
    // How long until service() must look again; -1: no need.
    int nextDeadlineMs() const;

private:
    void begin();
    void endStep(const QByteArray* bytes);
    static void synced(void* data, wl_callback* callback, uint32_t);

    DataControl& control_;
    wl_display* display_;
    DataOffer* offer_;
    const FetchLimits limits_;
    QByteArrayList steps_; // the types still to read, the current one first
    QByteArray textType_;
    ClipboardSnapshot snapshot_;
    std::unique_ptr<IncomingTransfer> incoming_;
    bool transferred_ = false; // any transfer was asked for
    QElapsedTimer settling_;   // since the last transfer ended, until the sync is sent
    wl_callback* sync_ = nullptr;
    bool confirmed_ = false;
};

} // namespace pomorina
