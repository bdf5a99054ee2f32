#include "clipboard_poll.h"

#include "capture/picture_box.h"
#include "capture/preview_pane.h"
#include "platform/clipboard_source.h"

#include <QCoreApplication>

namespace pomorina {

namespace {
const QString kTextCaption = QStringLiteral("ポモリナ1.0");
}

ClipboardPoll::ClipboardPoll(Platform& platform, PreviewPane& pane, CaptureHost& host,
                             HistorySink& history)
    : platform_(platform), pane_(pane), host_(host), history_(history) {
    connect(&pane_, &PreviewPane::textChanged, this, &ClipboardPoll::Text1_Change);
    connect(&platform_.clipboardSource(), &ClipboardSource::snapshotArrived, this,
            &ClipboardPoll::takeArrivedContent);
}

void ClipboardPoll::Timer1_Timer() {
    if (!pane_.pictureShown())
        host_.setCaption(kTextCaption);
    if (busy_ != 1 && !polling_)
        readclip();
}

bool ClipboardPoll::bitmapOffered() const {
    const ClipboardSnapshot& now = platform_.clipboardSource().snapshot();
    return now.formats.bitmap && now.pictureReadable();
}

void ClipboardPoll::takeArrivedContent() {
    // The cycle a tick passed over, with the content it waited for.
    if (cycleOwed_ && busy_ != 1 && !polling_)
        readclip();
}

void ClipboardPoll::readclip() {
    polling_ = true;
    const Foreground front = host_.foreground();
    QCoreApplication::processEvents();
    ClipboardSource& clipboard = platform_.clipboardSource();
    clipboard.refresh();
    // Content still on its way from another program is passed over, as one
    // that cannot be read, and the cycle runs again once it has arrived: a
    // read that finished since then is taken even if a newer change has
    // begun meanwhile.
    const bool arrived = cycleOwed_ && clipboard.snapshot().change != passedOverAt_;
    const bool readable = !clipboard.pending() || arrived;
    if (readable) {
        cycleOwed_ = false;
    } else if (!cycleOwed_) {
        cycleOwed_ = true;
        passedOverAt_ = clipboard.snapshot().change;
    }
    const bool textOffered = readable && clipboard.snapshot().formats.text;

    // Text: only while the user works elsewhere and the history is closed.
    if (front != Foreground::Main && !history_.shown() && textOffered) {
        // The user's own text goes to the clipboard before anything is
        // compared with it, so that it is never replaced by older text.
        bool userTextKept = true;
        if (edit_.due()) {
            writeBack();
            userTextKept = !edit_.due(); // else the next cycle tries again
        }
        // A text that cannot be read leaves the views as they are.
        const std::optional<QString> text = clipboard.snapshot().text;
        if (userTextKept && text) {
            pane_.showText();
            text2_ = *text;
            if (text2_ != pane_.text()) {
                history_.pushText(text2_);
                pane_.setText(text2_);
                con();
            }
        }
    }

    // Pictures, whatever has the focus. One that cannot be read or decoded
    // is passed over.
    if (readable && bitmapOffered()) {
        // The size of the picture held so far: a new one shows a cycle late.
        const HeldPicture& held = pane_.Picture2()->held();
        host_.setCaption(QStringLiteral("X=%1Y=%2").arg(held.width()).arg(held.height()));
        // The content tested last is the same picture: its pixels are not
        // looked at again (nor kept).
        if (clipboard.snapshot().change == testedChange_) {
            polling_ = false;
            return; // the same picture: nothing to redraw, push or restart
        }
        if (takePicture(clipboard)) {
            polling_ = false;
            return;
        }
    }

    host_.restartCountdown();
    polling_ = false;
}

bool ClipboardPoll::takePicture(ClipboardSource& clipboard) {
    const ClipboardSnapshot& snapshot = clipboard.snapshot();
    const QImage picture = snapshot.picture; // shares the pixels
    testedChange_ = snapshot.change;
    pane_.Picture2()->hold(HeldPicture(picture, snapshot.pictureBytes, snapshot.pictureFormat,
                                       pane_.smallSide()));
    const bool same = fingerprint_.matchkey(picture);
    if (!same) {
        // Newer than any edit still due in the hidden text view.
        edit_.settle();
        pane_.showPicture();
        fingerprint_.storekey(picture, snapshot.pictureBytes);
        // con() lays the window out and draws the picture fitted into the
        // preview; drawing it here first would scale it twice for nothing.
        con();
        history_.pushPicture(pane_.Picture2()->held());
    }
    // Taken: its full pixels go where its bytes can give them back.
    pane_.Picture2()->releasePixels();
    clipboard.releasePicture();
    return same;
}

void ClipboardPoll::con() {
    host_.applyPreviewLayout();
    if (bitmapOffered()) {
        pane_.showPicture();
        pane_.drawHeldPicture();
    }
    host_.cancelCountdown();
}

void ClipboardPoll::Text1_Change(bool typed) {
    // Typed by the user: due on the clipboard, unless newer content reaches
    // it first. Text the program sets is marked by whoever sets it.
    if (typed)
        userTextChanged();
    // The newest history text follows the text view while the history is
    // closed.
    if (!history_.shown())
        history_.followEdit(pane_.text());
}

void ClipboardPoll::userTextChanged() {
    textWrittenBack_ = 0;
    edit_.made(platform_.clipboardSource().changeCount());
}

void ClipboardPoll::restorePicture(const HeldPicture& picture) {
    // Drawn like a new clipboard picture, but the window keeps its size.
    pane_.Picture2()->hold(picture);
    pane_.showPicture();
    pane_.drawHeldPicture();
    // Recorded first, so that the next poll finds the clipboard unchanged;
    // then the very picture goes on the clipboard, as the bytes it came in.
    const QImage pixels = picture.pixels();
    fingerprint_.storekey(pixels, picture.bytes());
    platform_.clipboardSource().setImage(pixels, picture.bytes(), picture.format());
}

void ClipboardPoll::restoreText(const QString& text) {
    pane_.showText();
    takeSlotEdit(text);
}

void ClipboardPoll::takeSlotEdit(const QString& text) {
    pane_.setText(text);
    userTextChanged(); // the user's choice: due on the clipboard
}

} // namespace pomorina
