// Restoring a history entry with one click.
#include "app/form1.h"
#include "capture/picture_box.h"
#include "history/form2.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

namespace pomorina {

void Form2::Picture1_Click(int index) {
    const QImage picture = store.picture(index);
    if (picture.isNull())
        return; // an empty slot
    main_.restorePicture(picture);
}

void Form2::Text1_Click(int index) {
    main_.restoreText(store.text(index));
}

void Form1::restorePicture(const QImage& picture) {
    // Drawn like a new clipboard picture, but the window keeps its size.
    Picture2->setPicture(picture);
    Picture1->clear();
    showPicture();
    drawHeldPicture();
    // Recorded first, so that the next poll finds the clipboard unchanged.
    fingerprint.storekey(picture);
    platform_.clipboardSource().setImage(picture);
}

void Form1::restoreText(const QString& text) {
    showText();
    setText1(text); // a change the poll did not make: a write-back is due
}

} // namespace pomorina
