// The text view's way back to the clipboard: when the user leaves the main
// window with text shown, the text view's text is written to the clipboard,
// once per departure, so the next program to paste gets the edited text.
#include "capture/clipboard_poll.h"
#include "capture/preview_pane.h"
#include "platform/clipboard_source.h"

namespace pomorina {

void ClipboardPoll::Timer3_Timer() {
    if (pane_.pictureShown())
        return;
    if (host_.foreground() == Foreground::Main)
        textWrittenBack_ = 0;
    else if (textWrittenBack_ == 0)
        writeBack();
    host_.startCountdownIfStopped();
}

bool ClipboardPoll::writeBackIdle() {
    if (pane_.pictureShown())
        return true;
    // In front: written-back stays 0; elsewhere: it is 1 once the text went
    // back (a failed write stays 0, and is tried again on every tick).
    const bool settled = host_.foreground() == Foreground::Main ? textWrittenBack_ == 0
                                                                 : textWrittenBack_ == 1;
    return settled && host_.countdownRunning();
}

void ClipboardPoll::writeBack() {
    ClipboardSource& clipboard = platform_.clipboardSource();
    clipboard.refresh();
    // Newer content still on its way is not known to be older than the text:
    // the write waits for it (a later tick tries again).
    if (clipboard.pending())
        return;
    // Whatever reached the clipboard after the edit is newer and wins, from
    // whichever program it came and whatever the main window shows.
    if (edit_.overtakenAt(clipboard.changeCount()))
        edit_.settle();
    // A clipboard that already holds the text keeps everything else it
    // offers (rich text, a picture copied with it): nothing to write then.
    const ClipboardSnapshot& current = clipboard.snapshot();
    const QString& text = pane_.text();
    const bool alreadyThere = current.text && *current.text == text;
    // Text that is not due came from the clipboard; if the clipboard holds
    // something else now, that is newer and must not be replaced. Only an
    // empty clipboard (its owner gone) gets the text back.
    const bool keepClipboard = alreadyThere || (!edit_.due() && current.formats.any);
    if (keepClipboard || clipboard.setText(text)) {
        textWrittenBack_ = 1;
        edit_.settle();
    }
    // A write that failed counts as not done: a later tick tries again.
}

} // namespace pomorina
