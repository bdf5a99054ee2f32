#include "clipboard_offer.h"

#include <QBuffer>
#include <QImageReader>

namespace pomorina {

namespace {

// Text formats in the order they are asked for: UTF-8 first, since it holds
// every character; STRING is Latin-1 only.
const QByteArrayList kTextTargets = {
    "UTF8_STRING", "text/plain;charset=utf-8", "text/plain;charset=UTF-8", "text/plain", "STRING",
    "TEXT"};

// Lossless and cheap to decode first; a photo format only when nothing better
// is offered.
const QByteArrayList kPictureTargets = {"image/png",  "image/bmp", "image/x-bmp", "image/x-MS-bmp",
                                        "image/tiff", "image/gif", "image/jpeg"};

// Formats every owner lists about itself, which are not content.
const QByteArrayList kProtocolTargets = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS",
                                         "DELETE"};

bool isTextTarget(const QByteArray& name) {
    return kTextTargets.contains(name) || name.startsWith("text/plain;");
}

} // namespace

ClipboardOffer clipboardOffer(const QByteArrayList& targets,
                              const QByteArrayList& readablePictures) {
    ClipboardOffer offer;
    for (const QByteArray& name : targets) {
        if (!kProtocolTargets.contains(name))
            offer.formats.any = true;
        if (isTextTarget(name))
            offer.formats.text = true;
        if (name.startsWith("image/"))
            offer.formats.bitmap = true;
    }
    for (const QByteArray& name : kTextTargets) {
        if (targets.contains(name)) {
            offer.textTarget = name;
            break;
        }
    }
    if (offer.textTarget.isEmpty() && offer.formats.text) {
        // Some other text/plain;charset=...: UTF-8 is the best guess left.
        for (const QByteArray& name : targets) {
            if (isTextTarget(name)) {
                offer.textTarget = name;
                break;
            }
        }
    }
    for (const QByteArray& name : kPictureTargets) {
        if (targets.contains(name) && readablePictures.contains(name)) {
            offer.pictureTarget = name;
            break;
        }
    }
    if (offer.pictureTarget.isEmpty()) {
        for (const QByteArray& name : targets) {
            if (name.startsWith("image/") && readablePictures.contains(name)) {
                offer.pictureTarget = name;
                break;
            }
        }
    }
    return offer;
}

QString clipboardTextFromBytes(const QByteArray& bytes, const QByteArray& type) {
    if (type == "STRING")
        return QString::fromLatin1(bytes);
    return QString::fromUtf8(bytes);
}

QImage clipboardPictureFromBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // The reader refuses pictures above its allocation limit (256 MiB by
    // default) before decoding a single row.
    return reader.read();
}

} // namespace pomorina
