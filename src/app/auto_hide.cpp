#include "auto_hide.h"

namespace pomorina {

bool pointerInside(QPoint cursorPos, const HideEdges& edges) {
    return cursorPos.x() > edges.edgeLeft && cursorPos.x() < edges.width + edges.edgeLeft &&
           cursorPos.y() + edges.band > edges.edgeTop &&
           cursorPos.y() < edges.height + edges.edgeTop;
}

bool collapseDue(bool hideArmed, qint64 hideStart, qint64 hideDelay, qint64 now, bool autoHideOff,
                 bool historyShown) {
    return !historyShown && !autoHideOff && hideArmed && hideStart + hideDelay < now;
}

} // namespace pomorina
