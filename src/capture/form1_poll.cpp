// The main window's clipboard poll, its preview layout and its text view.
#include "app/form1.h"
#include "capture/picture_box.h"
#include "capture/text_box.h"
#include "history/form2.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QPlainTextEdit>

namespace pomorina {

namespace {

const QString kTextCaption = QStringLiteral("ポモリナ1.0");

} // namespace

bool Form1::pictureShown() const {
    return !Picture1->isHidden();
}

void Form1::showPicture() {
    Picture1->show();
    Text1->hide();
}

void Form1::showText() {
    Text1->show();
    Picture1->hide();
}

void Form1::Timer1_Timer() {
    if (!pictureShown())
        setWindowTitle(kTextCaption);
    // A cycle lets pending events run; a tick among them must not start a
    // second cycle inside the first.
    if (busy != 1 && !polling_)
        readclip();
}

bool Form1::bitmapOffered() const {
    const ClipboardSnapshot& now = platform_.clipboardSource().snapshot();
    return now.formats.bitmap && !now.picture.isNull();
}

void Form1::takeArrivedContent() {
    // The cycle a tick passed over, with the content it waited for.
    if (cycleOwed_ && busy != 1 && !polling_)
        readclip();
}

void Form1::readclip() {
    polling_ = true;
    const Foreground front = platform_.foregroundWindow(this, history_);
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
    const bool historyVisible = historyShown();

    // Text: only while the user works elsewhere and the history is closed.
    if (front != Foreground::Main && !historyVisible && textOffered) {
        // The user's own text goes to the clipboard before anything is
        // compared with it, so that it is never replaced by older text.
        bool userTextKept = true;
        if (pendingEdit.due()) {
            writeBack();
            userTextKept = !pendingEdit.due(); // else the next cycle tries again
        }
        // A text that cannot be read leaves the views as they are.
        const std::optional<QString> text = clipboard.snapshot().text;
        if (userTextKept && text) {
            showText();
            Text2 = *text;
            if (Text2 != text1_) {
                pollWriting_ = true;
                pushtext();
                history()->setSlotText(0, Text2);
                setText1(Text2);
                pollWriting_ = false;
                pendingEdit.settle(); // the view holds the clipboard's text again
                con();
            }
        }
    }

    // Pictures, whatever has the focus. One that cannot be read or decoded
    // is passed over.
    if (readable && bitmapOffered()) {
        const QImage picture = clipboard.snapshot().picture; // shares the pixels
        // The size of the picture held so far: a new one shows a cycle late.
        setWindowTitle(QStringLiteral("X=%1Y=%2")
                           .arg(Picture2->picture().width())
                           .arg(Picture2->picture().height()));
        Picture2->setPicture(picture);
        if (fingerprint.matchkey(picture)) {
            polling_ = false;
            return; // the same picture: nothing to redraw, push or restart
        }
        // Newer than any edit still pending in the hidden text view.
        pendingEdit.settle();
        Picture1->clear();
        showPicture();
        fingerprint.storekey(picture);
        // con() lays the window out and draws the picture fitted into the
        // preview; drawing it here first would scale it twice for nothing.
        con();
        pushimage();
    }

    hideArmed = true;
    hideStart = platform_.tickCount();
    polling_ = false;
}

void Form1::con() {
    applyPreviewLayout();
    if (bitmapOffered()) {
        Picture1->clear();
        showPicture();
        drawHeldPicture();
    }
    hideArmed = false;
}

void Form1::drawHeldPicture() {
    const QImage& held = Picture2->picture();
    fit = fitPicture(held.width(), held.height(), previewWidth, previewHeight, false);
    if (fit.drawable)
        Picture1->drawPicture(held, fittedRect(fit));
}

void Form1::setText1(const QString& text) {
    text1_ = text;
    settingText1_ = true;
    showInBox(Text1, text); // runs Text1_Change
    settingText1_ = false;
}

void Form1::Text1_Change() {
    // The newest history text follows the text view while the history is closed.
    if (!historyShown()) {
        Form2* window = history();
        window->store.setText(0, text1_);
        window->showTexts();
    }
}

} // namespace pomorina
