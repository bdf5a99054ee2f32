#include "clipboard_reader.h"

namespace pomorina {

void ClipboardReader::refresh() {
    const quint64 change = platform_.clipboardChangeCount();
    pending_ = false;
    if (known_ && change == change_ && platform_.clipboardReportsChanges())
        return;
    pending_ = platform_.clipboardPending();
    if (pending_)
        return;
    known_ = true;
    change_ = change;
    formats_ = platform_.clipboardFormats();
    textRead_ = false;
    text_.reset();
    pictureRead_ = false;
    picture_ = QImage();
}

bool ClipboardReader::offersText() {
    return formats_.text;
}

bool ClipboardReader::offersBitmap() {
    return formats_.bitmap;
}

bool ClipboardReader::offersAnything() {
    return formats_.any;
}

const std::optional<QString>& ClipboardReader::text() {
    if (pending_)
        return text_; // nothing is read while newer content is on its way
    if (!textRead_ && formats_.text)
        text_ = platform_.clipboardText();
    textRead_ = true;
    return text_;
}

const QImage& ClipboardReader::picture() {
    if (pending_)
        return picture_;
    if (!pictureRead_ && formats_.bitmap)
        picture_ = platform_.clipboardImage();
    pictureRead_ = true;
    return picture_;
}

} // namespace pomorina
