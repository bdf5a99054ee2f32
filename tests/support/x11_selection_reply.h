// The SelectionNotify a selection owner sends to end a request: with the
// property that now holds the answer, or None to refuse.
#pragma once

#include <X11/Xlib.h>

inline void notifySelection(Display* display, const XSelectionRequestEvent& request,
                            Atom property) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, NoEventMask, &reply);
}
