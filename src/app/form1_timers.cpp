// When the main window's timers tick. The poll ticks at its interval. The
// auto-hide and write-back timers tick every 100 ms while there is something
// to watch, and sleep while nothing they watch can change: a focus change,
// the pointer crossing the window, a view switch, a change of the text or of
// the clipboard, or the countdown cancelled wakes them, and they tick at once.
// While the pointer is away, the collapse comes when it falls due.
#include "app/form1.h"

#include "capture/clipboard_poll.h"
#include "capture/preview_pane.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

#include <QTimer>

#include <algorithm>

namespace pomorina {

void Form1::startTimers() {
    platform_.watchForeground(this, [this] {
        wakeTimer2();
        wakeTimer3();
    });
    crossingsReported_ = platform_.watchPointerCrossings(this, [this] { wakeTimer2(); });
    connect(pane_, &PreviewPane::textChanged, this, &Form1::wakeTimer3);
    connect(pane_, &PreviewPane::viewSwitched, this, &Form1::wakeTimer3);
    connect(&platform_.clipboardSource(), &ClipboardSource::snapshotArrived, this,
            &Form1::wakeTimer3);
    // The first ticks come an interval after the start, when the window
    // manager has framed and placed the window.
    timer1_->start();
    timer2_->start();
    timer3_->start();
}

void Form1::holdTimers() {
    timersHeld_ = true;
    timer1_->stop();
    timer2_->stop();
    timer3_->stop();
    collapseDue_->stop();
}

void Form1::wakeTimer2() {
    if (timersHeld_ || ended_ || timer2_->isActive())
        return;
    timer2_->start();
    QTimer::singleShot(0, this, &Form1::timer2Ticked);
}

void Form1::wakeTimer3() {
    if (timersHeld_ || ended_ || timer3_->isActive())
        return;
    timer3_->start();
    QTimer::singleShot(0, this, &Form1::timer3Ticked);
}

void Form1::timer2Ticked() {
    if (timersHeld_ || ended_)
        return;
    Timer2_Timer();
    // Where crossings are not told, the pointer is looked at on every tick;
    // while it is inside, every tick lays the window out again.
    if (!crossingsReported_ || pointerInside_)
        return;
    timer2_->stop();
    scheduleCollapse();
}

void Form1::timer3Ticked() {
    if (timersHeld_ || ended_)
        return;
    Timer3_Timer();
    if (poll_->writeBackIdle())
        timer3_->stop();
}

void Form1::scheduleCollapse() {
    collapseDue_->stop();
    if (timersHeld_ || timer2_->isActive() || !countdown_.hideArmed() || menu_.jidou.isChecked(0) ||
        historyShown() || collapsed())
        return;
    // The first tick after the delay has passed.
    const qint64 due = countdown_.hideStart() + countdown_.hideDelay() + 1 - platform_.tickCount();
    constexpr qint64 kLongest = qint64(24) * 3600 * 1000;
    collapseDue_->start(static_cast<int>(std::clamp<qint64>(due, 0, kLongest)));
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // A collapsed window resized by hand shrinks again on the next tick.
    if (collapsed())
        wakeTimer2();
}

} // namespace pomorina
