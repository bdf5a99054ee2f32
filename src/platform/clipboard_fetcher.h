#pragma once

#include "clipboard_offer.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <optional>

namespace pomorina {

// How long a read may wait on the program that holds the clipboard.
struct FetchLimits {
    // An owner that stays silent this long between two steps of a transfer
    // has not answered: the read ends as unreadable. Qt's own clipboard
    // gives up after the same time.
    int answerTimeoutMs = 5000;
    // A read whose content has been superseded by a newer change is given up
    // once the owner has been silent this long.
    int supersededAfterMs = 200;
    // Transfers larger than this are not taken.
    qint64 maxBytes = qint64(512) * 1024 * 1024;
};

// Reads the content another program holds on the clipboard on a thread of
// its own, so that an owner that is slow, never answers or dies half-way
// through can never hold up the user interface.
class ClipboardFetcher {
public:
    virtual ~ClipboardFetcher();
    // Called on the reader's thread with the change whose read has just
    // finished. Set before the first request.
    virtual void setFinishedHandler(std::function<void(quint64 change)> handler) = 0;
    // Asks for the clipboard's content as of change `change`, the newest.
    virtual void request(quint64 change) = 0;
    // The content as of change `change`, when its read has finished by the
    // end of `waitMs`; handed over once.
    virtual std::optional<ClipboardSnapshot> result(quint64 change, int waitMs) = 0;
};

// A fetcher that talks to the X server `display` (the DISPLAY variable's
// form) over a connection of its own. Nothing when the server cannot be
// reached, or where this program was built without X11.
std::unique_ptr<ClipboardFetcher> createX11ClipboardFetcher(const QByteArray& display,
                                                            const FetchLimits& limits = {});

} // namespace pomorina
