#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace pomorina {

// What the clipboard offers.
struct ClipboardFormats {
    bool text = false;   // plain text
    bool bitmap = false; // a picture
    bool any = false;    // anything at all, these or other formats
};

// What a clipboard owner offers, judged from the names of the formats it
// lists, and which of them to ask for.
struct ClipboardOffer {
    ClipboardFormats formats;
    QByteArray textTarget;    // the text format to ask for; empty when none
    QByteArray pictureTarget; // the picture format to ask for; empty when none
};

// `targets` are the owner's format names as listed; `readablePictures` the
// picture MIME types this program can decode. A picture format it cannot
// decode still counts as a picture offered, as a picture that cannot be read.
ClipboardOffer clipboardOffer(const QByteArrayList& targets,
                              const QByteArrayList& readablePictures);

// The text of a transfer whose data came typed as `type`: Latin-1 for the
// old STRING type, UTF-8 for everything else. Bytes that are not valid UTF-8
// become replacement characters; NUL characters are kept.
QString clipboardTextFromBytes(const QByteArray& bytes, const QByteArray& type);

// A picture decoded from a transfer's bytes, the format told by the bytes
// themselves. Null when they do not decode, or when the picture would need
// more memory than Qt's image reader allows.
QImage clipboardPictureFromBytes(const QByteArray& bytes);

// What one read of the whole clipboard brought.
struct ClipboardSnapshot {
    quint64 change = 0; // the change of the clipboard it was read at
    ClipboardFormats formats;
    std::optional<QString> text; // nothing when none is offered or it could not be read
    // The picture, null when none is offered or it could not be read, or
    // once its pixels were let go; its size stays.
    QImage picture;
    QSize pictureSize;
    // The picture as its owner sent it, and in which format, so that it can
    // be offered again without encoding it anew.
    QByteArray pictureBytes;
    QByteArray pictureFormat;

    void setPicture(QImage decoded) {
        picture = std::move(decoded);
        pictureSize = picture.size();
    }
    bool pictureReadable() const { return !pictureSize.isEmpty(); }
    // Lets the pixels go where the bytes can give them back.
    void releasePixels() {
        if (!pictureBytes.isEmpty())
            picture = QImage();
    }
};

} // namespace pomorina
