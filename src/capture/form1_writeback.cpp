// The text view's way back to the clipboard: when the user leaves the main
// window with text shown, the text view's text is written to the clipboard,
// once per departure, so the next program to paste gets the edited text.
#include "app/form1.h"
#include "history/form2.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

namespace pomorina {

void Form1::Timer3_Timer() {
    if (pictureShown())
        return;
    if (platform_.foregroundWindow(this, history_) == Foreground::Main)
        textWrittenBack = 0;
    else if (textWrittenBack == 0)
        writeBack();
    if (!hideArmed) {
        hideArmed = true;
        hideStart = platform_.tickCount();
    }
}

void Form1::writeBack() {
    ClipboardSource& clipboard = platform_.clipboardSource();
    clipboard.refresh();
    // Newer content still on its way is not known to be older than the text:
    // the write waits for it (a later tick tries again).
    if (clipboard.pending())
        return;
    // Whatever reached the clipboard after the edit is newer and wins, from
    // whichever program it came and whatever the main window shows.
    if (pendingEdit.overtakenAt(clipboard.changeCount()))
        pendingEdit.settle();
    // A clipboard that already holds the text keeps everything else it
    // offers (rich text, a picture copied with it): nothing to write then.
    const ClipboardSnapshot& current = clipboard.snapshot();
    const bool alreadyThere = current.text && *current.text == text1_;
    // Text that is not due came from the clipboard; if the clipboard holds
    // something else now, that is newer and must not be replaced. Only an
    // empty clipboard (its owner gone) gets the text back.
    const bool keepClipboard = alreadyThere || (!pendingEdit.due() && current.formats.any);
    if (keepClipboard || clipboard.setText(text1_)) {
        textWrittenBack = 1;
        pendingEdit.settle();
    }
    // A write that failed counts as not done: a later tick tries again.
}

} // namespace pomorina
