#pragma once

namespace pomorina {

// What the history window needs of the main window: it steps back while the
// history is open and takes its place again when the history goes.
class HistoryHost {
public:
    virtual ~HistoryHost() = default;
    // The history window opens: the main window is no longer kept on top.
    virtual void historyOpened() = 0;
    // The history window is going: the main window is on top again if so set.
    virtual void historyClosing() = 0;
    // The history window went: the main window takes its full size, with the
    // auto-hide countdown cancelled.
    virtual void historyClosed() = 0;
};

} // namespace pomorina
