// The main window's auto-hide: shrink to the title and menu bars when the
// pointer has stayed away, open again when it comes back.
#include "app/auto_hide.h"
#include "app/form1.h"
#include "platform/platform.h"

#include <QMenuBar>

namespace pomorina {

HideEdges Form1::hideEdges() const {
    // The window manager draws the frame; the client area holds the menu bar
    // and, under it, the preview.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const int bar = menuBar()->isVisible() ? menuBar()->height() : 0;
    HideEdges edges;
    edges.edgeLeft = client.left();
    edges.edgeTop = client.top() + bar;
    edges.band = edges.edgeTop - frame.top();
    edges.width = client.width();
    edges.height = qMax(0, client.height() - bar);
    return edges;
}

void Form1::collapse() {
    const int bar = menuBar()->isVisible() ? menuBar()->height() : 0;
    resize(width(), bar);
}

bool Form1::collapsed() const {
    const int bar = menuBar()->isVisible() ? menuBar()->height() : 0;
    return height() <= bar;
}

void Form1::Timer2_Timer() {
    // 1. Shrink when due, on every tick for as long as it is due.
    if (collapseDue(countdown_.hideArmed(), countdown_.hideStart(), countdown_.hideDelay(),
                    platform_.tickCount(), menu_.jidou.isChecked(0), historyShown()))
        collapse();

    // 2.-4. Is the pointer over the window, its title or its menu bar? Where
    // the desktop keeps the pointer's position to itself, its entering and
    // leaving the window tell.
    const std::optional<QPoint> cursorPos = platform_.cursorPos();
    pointerInside_ =
        cursorPos ? pointerInside(*cursorPos, hideEdges()) : platform_.pointerOver(this);
    if (pointerInside_) {
        countdown_.cancel();
        applyPreviewLayout();
    } else {
        countdown_.startIfStopped(platform_.tickCount());
    }
}

} // namespace pomorina
