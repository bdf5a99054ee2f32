#pragma once

#include <QtGlobal>

namespace pomorina {

// The user's text that is due on the clipboard: typed into the text view or
// into a history slot, or chosen from the history. It is due as of the
// clipboard content it was made over. Whatever reaches the clipboard after it
// (another program's copy, a restored picture, a dropped file) is newer and
// wins: the edit is then never written over it, and stays where it was made.
class PendingEdit {
public:
    // An edit made while the clipboard was at change `clipboardChange`.
    void made(quint64 clipboardChange) {
        due_ = true;
        madeAt_ = clipboardChange;
    }
    // Written to the clipboard, or overtaken by newer content.
    void settle() { due_ = false; }

    bool due() const { return due_; }
    // True when the clipboard has changed since the edit was made.
    bool overtakenAt(quint64 clipboardChange) const { return due_ && clipboardChange != madeAt_; }

private:
    bool due_ = false;
    quint64 madeAt_ = 0;
};

} // namespace pomorina
