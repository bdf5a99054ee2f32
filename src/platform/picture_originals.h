#pragma once

#include "clipboard_offer.h"

#include <QList>

#include <optional>

namespace pomorina {

// The latest pictures taken from other programs, with the bytes they came
// in, so that one put back on the clipboard is offered exactly as it was
// copied, without being encoded anew. A picture is known by its cache key,
// which its copies share.
class PictureOriginals {
public:
    struct Original {
        qint64 key = 0;
        QByteArray format; // a MIME type, "image/png" say
        QByteArray bytes;
    };

    // Keeps the picture of a read, if it came with its bytes.
    void remember(const ClipboardSnapshot& read);
    // The bytes `picture` came in, if it is one of those kept.
    std::optional<Original> find(const QImage& picture) const;

private:
    QList<Original> originals_; // newest first
};

} // namespace pomorina
