#include "clipboard_choice.h"

#include "qt_clipboard_source.h"
#include "wayland_clipboard_source.h"
#include "window_platform.h"
#include "x11_session.h"

namespace pomorina {

std::unique_ptr<ClipboardSource> chooseClipboardSource() {
    // On a Wayland session only the compositor's data-control protocol lets
    // a program follow and set the clipboard while another one is in front.
    const bool wayland = waylandSession();
    QString whyNot;
    if (wayland) {
        if (std::unique_ptr<ClipboardSource> source = createWaylandClipboardSource(&whyNot))
            return source;
    }
    if (std::unique_ptr<ClipboardFetcher> reader = createSessionClipboardFetcher()) {
        return std::make_unique<QtClipboardSource>(
            std::move(reader),
            wayland ? QStringLiteral("X11 through Xwayland, since %1: copies made in Wayland "
                                     "programs are seen as the compositor passes them on to X11 "
                                     "programs")
                          .arg(whyNot)
                    : QStringLiteral("X11 (other programs' content read by a thread of its own)"));
    }
    return std::make_unique<QtClipboardSource>(
        nullptr, wayland
                     ? QStringLiteral("Qt's clipboard, since %1 and the windows are not shown "
                                      "through X11: the clipboard is seen and set only while "
                                      "pomorina is in front")
                           .arg(whyNot)
                     : QStringLiteral("Qt's clipboard"));
}

} // namespace pomorina
