#include "wayland_selection_read.h"

#include <wayland-client.h>

#include <unistd.h>

#include <algorithm>

namespace pomorina {

namespace {

const QByteArray kUtf8Text = QByteArrayLiteral("text/plain;charset=utf-8");

// The end of a pipe proves nothing: an owner replaced by a newer selection
// closes its end early, and so does one that dies, whose pipe and connection
// the kernel releases in no set order (the last opened first, measured). The
// compositor then announces the newer selection, or an empty clipboard, a
// few milliseconds later (1 to 5 ms measured under sway 1.7). So a read is
// delivered only after this pause and a round trip to the compositor: any
// such announcement comes before its answer, and gives the read up.
constexpr int kSettleMs = 50;

} // namespace

SelectionRead::SelectionRead(DataControl& control, wl_display* display, DataOffer* offer,
                             const QByteArrayList& types, const QByteArrayList& readablePictures,
                             const FetchLimits& limits)
    : control_(control), display_(display), offer_(offer), limits_(limits) {
    const ClipboardOffer choice = clipboardOffer(types, readablePictures);
    snapshot_.formats = choice.formats;
    // The MIME name is the usual one on Wayland; X11's UTF8_STRING, listed
    // by programs that serve both, holds the same.
    textType_ = types.contains(kUtf8Text) ? kUtf8Text : choice.textTarget;
    if (!textType_.isEmpty())
        steps_.append(textType_);
    if (!choice.pictureTarget.isEmpty())
        steps_.append(choice.pictureTarget);
    begin();
}

SelectionRead::~SelectionRead() {
    if (sync_ != nullptr)
        wl_callback_destroy(sync_);
}

void SelectionRead::begin() {
    while (!steps_.isEmpty()) {
        int ends[2];
        if (openTransferPipe(ends)) {
            // The request carries a copy of the write end: ours is closed at
            // once, so that the end of file comes when the owner closes its.
            control_.receive(offer_, steps_.first(), ends[1]);
            ::close(ends[1]);
            incoming_ = std::make_unique<IncomingTransfer>(ends[0], limits_.maxBytes);
            transferred_ = true;
            return;
        }
        steps_.removeFirst();
    }
    if (transferred_)
        settling_.start();
    else
        confirmed_ = true; // nothing was read, nothing can have been cut
}

void SelectionRead::service() {
    if (settling_.isValid() && settling_.elapsed() >= kSettleMs) {
        static const wl_callback_listener confirmation = {synced};
        settling_.invalidate();
        sync_ = wl_display_sync(display_);
        wl_callback_add_listener(sync_, &confirmation, this);
        return;
    }
    if (!incoming_)
        return;
    switch (incoming_->pull()) {
    case IncomingTransfer::State::Open:
        if (incoming_->silentMs() >= limits_.answerTimeoutMs)
            endStep(nullptr);
        return;
    case IncomingTransfer::State::Failed:
        endStep(nullptr);
        return;
    case IncomingTransfer::State::Ended: {
        const QByteArray bytes = incoming_->take();
        endStep(&bytes);
        return;
    }
    }
}

void SelectionRead::synced(void* data, wl_callback* callback, uint32_t) {
    auto* self = static_cast<SelectionRead*>(data);
    wl_callback_destroy(callback);
    self->sync_ = nullptr;
    self->confirmed_ = true;
}

void SelectionRead::endStep(const QByteArray* bytes) {
    incoming_.reset();
    const QByteArray type = steps_.takeFirst();
    if (bytes != nullptr && type == textType_) {
        snapshot_.text = clipboardTextFromBytes(*bytes, type);
    } else if (bytes != nullptr) {
        snapshot_.setPicture(clipboardPictureFromBytes(*bytes));
        if (!snapshot_.picture.isNull()) {
            snapshot_.pictureBytes = *bytes;
            snapshot_.pictureFormat = type;
        }
    }
    begin();
}

int SelectionRead::nextDeadlineMs() const {
    if (settling_.isValid())
        return int(std::max<qint64>(0, kSettleMs - settling_.elapsed()));
    if (!incoming_)
        return -1;
    return int(std::max<qint64>(0, limits_.answerTimeoutMs - incoming_->silentMs()));
}

} // namespace pomorina
