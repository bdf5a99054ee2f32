#include "x11_pointer_crossings.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

namespace pomorina {

namespace {

// The crossing events of a window and its frame reach Qt's own connection;
// this takes them there, before Qt drops those of the frame, which it does
// not know.
// It goes with the window.
class CrossingFilter : public QObject, public QAbstractNativeEventFilter {
public:
    CrossingFilter(xcb_connection_t* connection, QWidget* window, std::function<void()> crossed)
        : QObject(window), connection_(connection), window_(window), crossed_(std::move(crossed)) {
        watchFrame();
        qApp->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (window_ == nullptr || eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const xcb_window_t ours = static_cast<xcb_window_t>(window_->winId());
        switch (event->response_type & 0x7f) {
        case XCB_ENTER_NOTIFY:
        case XCB_LEAVE_NOTIFY: {
            // Enter and leave events are laid out alike.
            const auto* crossing = reinterpret_cast<const xcb_enter_notify_event_t*>(event);
            if (crossing->event == ours || crossing->event == frame_)
                crossed_();
            break;
        }
        case XCB_REPARENT_NOTIFY:
            // The window manager framed the window, or framed it anew.
            if (reinterpret_cast<const xcb_reparent_notify_event_t*>(event)->window == ours)
                watchFrame();
            break;
        default:
            break;
        }
        return false; // Qt goes on with its own handling
    }

private:
    // The frame is the window's ancestor just below the root.
    void watchFrame() {
        xcb_window_t current = static_cast<xcb_window_t>(window_->winId());
        for (int depth = 0; depth < 16; ++depth) {
            auto* tree =
                xcb_query_tree_reply(connection_, xcb_query_tree(connection_, current), nullptr);
            if (tree == nullptr)
                return;
            const xcb_window_t parent = tree->parent;
            const xcb_window_t root = tree->root;
            std::free(tree);
            if (parent == root || parent == XCB_NONE)
                break;
            current = parent;
        }
        if (current == frame_ || current == static_cast<xcb_window_t>(window_->winId()))
            return;
        frame_ = current;
        // Crossings only: the frame is the window manager's, and these are
        // the only events asked of it.
        const uint32_t mask = XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW;
        xcb_change_window_attributes(connection_, frame_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }

    xcb_connection_t* connection_;
    QPointer<QWidget> window_;
    std::function<void()> crossed_;
    xcb_window_t frame_ = XCB_NONE;
};

} // namespace

bool watchX11PointerCrossings(QWidget* window, std::function<void()> crossed) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return false;
    window->winId(); // the native window must exist to be watched
    new CrossingFilter(x11->connection(), window, std::move(crossed));
    return true;
}

} // namespace pomorina
