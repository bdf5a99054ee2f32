#pragma once

#include "platform/platform.h"

namespace pomorina {

// What the clipboard holds, asked for at most once per change.
//
// The platform fetches the data from the clipboard's owner on every request,
// and an owner that does not answer makes every request wait. So the list of
// formats, the text and the picture are each requested once after a change
// and reused until the next one; a read that fails stays failed until then.
// Where the platform does not report changes, everything is asked anew each
// time the reader is refreshed.
//
// While a change's content is still on its way, the reader goes on answering
// with what it read before, as if nothing had changed yet, and asks again on
// the next refresh.
class ClipboardReader {
public:
    explicit ClipboardReader(Platform& platform) : platform_(platform) {}

    // Starts a poll: forgets what was read if the clipboard changed since
    // and its new content can be had.
    void refresh();
    // True when the last refresh found newer content than the answers below
    // still on its way.
    bool pending() const { return pending_; }

    bool offersText();
    bool offersBitmap();
    bool offersAnything();
    // The text; nothing when none is offered or it could not be read.
    const std::optional<QString>& text();
    // The picture; null when none is offered or it could not be read or decoded.
    const QImage& picture();

    // Forces the next refresh to ask again, whatever the change count says.
    void forget() { known_ = false; }

private:
    Platform& platform_;
    bool known_ = false;
    bool pending_ = false;
    quint64 change_ = 0;
    ClipboardFormats formats_;
    bool textRead_ = false;
    std::optional<QString> text_;
    bool pictureRead_ = false;
    QImage picture_;
};

} // namespace pomorina
