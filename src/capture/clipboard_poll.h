#pragma once

#include "capture/capture_host.h"
#include "capture/fingerprint.h"
#include "capture/pending_edit.h"

#include <QObject>

namespace pomorina {

class ClipboardSource;
class HeldPicture;
class Platform;
class PreviewPane;

// The clipboard poll and the text view's way back to the clipboard: what the
// clipboard holds is shown in the preview pane and pushed into the history
// when it is new; the user's text goes back to the clipboard when the user
// leaves the main window. Owns everything that decides what is new and what
// is due.
class ClipboardPoll : public QObject {
    Q_OBJECT
public:
    ClipboardPoll(Platform& platform, PreviewPane& pane, CaptureHost& host, HistorySink& history);

    // The poll timer's tick, and one cycle of the poll.
    void Timer1_Timer();
    void readclip();
    // Lays the window out around the preview and draws the held picture into
    // it when the clipboard offers one.
    void con();
    // The write-back timer's tick, every 100 ms.
    void Timer3_Timer();
    // True when a write-back tick now would change nothing, and nothing will
    // change that until the focus moves, the view switches, the text or the
    // clipboard changes, or the countdown is cancelled: its timer may sleep.
    bool writeBackIdle();

    // A picture chosen in the history: shown, recorded as seen, and put on
    // the clipboard.
    void restorePicture(const HeldPicture& picture);
    // A text chosen in the history: the text view shows it.
    void restoreText(const QString& text);
    // A history text slot edited: the text view, shown or not, takes it.
    void takeSlotEdit(const QString& text);

    // 1 while a picture save or a file load runs: no tick starts a cycle
    // then. Any other value counts as not busy.
    int busy() const { return busy_; }
    void setBusy(int busy) { busy_ = busy; }

    // What the poll keeps between cycles.
    const PictureFingerprint& fingerprint() const { return fingerprint_; }
    const QString& Text2() const { return text2_; }
    // 1 once the text view went back to the clipboard since the main window
    // was last in front.
    int textWrittenBack() const { return textWrittenBack_; }
    // The user's text is due on the clipboard.
    bool editDue() const { return edit_.due(); }

private:
    void Text1_Change(bool typed);
    void writeBack();
    void takeArrivedContent();
    bool bitmapOffered() const;
    // Holds the clipboard's new picture and takes it in unless it is the one
    // recorded last; true for that one.
    bool takePicture(ClipboardSource& clipboard);
    void userTextChanged();

    Platform& platform_;
    PreviewPane& pane_;
    CaptureHost& host_;
    HistorySink& history_;

    PictureFingerprint fingerprint_; // the picture seen last
    quint64 testedChange_ = 0;       // the clipboard change whose picture it was tested on
    QString text2_;                  // the text just read from the clipboard
    int textWrittenBack_ = 0;
    PendingEdit edit_;
    int busy_ = 0;
    // A cycle lets pending events run at its start; a tick among them must
    // not start a second cycle inside the first.
    bool polling_ = false;
    // A tick passed the clipboard over while its content was on its way; the
    // cycle runs once the content arrives. passedOverAt_: the newest read then.
    bool cycleOwed_ = false;
    quint64 passedOverAt_ = 0;
};

} // namespace pomorina
