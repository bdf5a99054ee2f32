#include "x11_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace pomorina {

namespace {

xcb_window_t anyWindowOfOurs() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->handle() != nullptr)
            return static_cast<xcb_window_t>(window->winId());
    }
    return XCB_NONE;
}

} // namespace

bool refreshX11ServerTime() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return false;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t window = anyWindowOfOurs();
    if (connection == nullptr || window == XCB_NONE)
        return false;

    static const char kName[] = "_POMORINA_TIME_STAMP";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (reply == nullptr)
        return false;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);

    // Appending nothing changes no value but still makes the server send a
    // property notice with its current time, which the toolkit records.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, atom, XCB_ATOM_INTEGER, 32, 0,
                        nullptr);
    xcb_flush(connection);

    // The notice arrives through the toolkit's event reader; give it a moment
    // and let the events be handled, the user's input left for later.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 50) {
        QThread::msleep(5);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return true;
}

std::unique_ptr<ClipboardFetcher> createSessionClipboardFetcher() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr)
        return nullptr;
    // The server Qt itself was told to use, -display included.
    return createX11ClipboardFetcher(QByteArray(DisplayString(x11->display())));
}

} // namespace pomorina
