#pragma once

#include "capture/held_picture.h"
#include "platform/platform.h"

#include <QImage>
#include <QString>

namespace pomorina {

// What the clipboard poll needs of the main window around it.
class CaptureHost {
public:
    virtual ~CaptureHost() = default;
    // The window the user is working in.
    virtual Foreground foreground() = 0;
    virtual void setCaption(const QString& caption) = 0;
    // Lays the main window out at full size for the preview-size setting,
    // which also gives the preview its side.
    virtual void applyPreviewLayout() = 0;
    // The auto-hide countdown: started anew from now, started from now only
    // if it is not running, or cancelled.
    virtual void restartCountdown() = 0;
    virtual void startCountdownIfStopped() = 0;
    virtual void cancelCountdown() = 0;
    virtual bool countdownRunning() const = 0;
};

// The history, as the poll and the text view feed it.
class HistorySink {
public:
    virtual ~HistorySink() = default;
    // The history window is visible.
    virtual bool shown() const = 0;
    // Every text one slot older, and `newest` in slot 0.
    virtual void pushText(const QString& newest) = 0;
    // Every picture one slot older, and `newest` in slot 0.
    virtual void pushPicture(const HeldPicture& newest) = 0;
    // Slot 0 takes the text view's text.
    virtual void followEdit(const QString& text) = 0;
};

} // namespace pomorina
