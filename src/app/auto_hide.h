#pragma once

#include <QPoint>
#include <QtGlobal>

namespace pomorina {

// The auto-hide countdown: started by whatever should keep the window open
// a while longer (the poll, the write-back tick, a dropped file, the pointer
// leaving), cancelled by the full-size layout of a redraw; the window shrinks
// once it has run longer than the delay.
class Countdown {
public:
    bool hideArmed() const { return armed_; }
    qint64 hideStart() const { return start_; } // the tick it started at, ms
    qint64 hideDelay() const { return delay_; } // ms; 0 with auto-hide off
    void setHideDelay(qint64 delay) { delay_ = delay; }

    void restart(qint64 now) {
        armed_ = true;
        start_ = now;
    }
    void startIfStopped(qint64 now) {
        if (!armed_)
            restart(now);
    }
    void cancel() { armed_ = false; }

private:
    bool armed_ = false;
    qint64 start_ = 0;
    qint64 delay_ = 0;
};

// Where the main window is, for the auto-hide decisions, in screen pixels.
struct HideEdges {
    int edgeLeft = 0; // left edge of the window's client area
    int edgeTop = 0;  // top edge of the area under the title and menu bars
    int band = 0;     // height of the title and menu bars together
    int width = 0;    // width of the area under the bars
    int height = 0;   // height of the area under the bars (0 when collapsed)
};

// The pointer is over the window when it lies strictly inside the area under
// the bars or the band of the title and menu bars above it; the limits
// themselves count as outside.
bool pointerInside(QPoint cursorPos, const HideEdges& edges);

// The window shrinks once the countdown has run longer than the delay, unless
// auto-hide is off or the history window is open.
bool collapseDue(bool hideArmed, qint64 hideStart, qint64 hideDelay, qint64 now, bool autoHideOff,
                 bool historyShown);

} // namespace pomorina
