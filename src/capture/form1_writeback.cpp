// The text view's way back to the clipboard: when the user leaves the main
// window with text shown, the text view's text is written to the clipboard,
// once per departure, so the next program to paste gets the edited text.
#include "app/form1.h"
#include "history/form2.h"
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
    // A clipboard that already holds the text keeps everything else it
    // offers (rich text, a picture copied with it): nothing to write then.
    clip_.refresh();
    const std::optional<QString>& current = clip_.text();
    if (current && *current == text1_) {
        textWrittenBack = 1;
        return;
    }
    // Only a write that happened counts; a failed one is tried again.
    if (platform_.setClipboardText(text1_))
        textWrittenBack = 1;
}

} // namespace pomorina
