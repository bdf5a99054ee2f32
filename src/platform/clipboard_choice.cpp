#include "clipboard_choice.h"

#include "qt_clipboard_source.h"
#include "x11_session.h"

namespace pomorina {

std::unique_ptr<ClipboardSource> chooseClipboardSource() {
    if (std::unique_ptr<ClipboardFetcher> reader = createSessionClipboardFetcher()) {
        return std::make_unique<QtClipboardSource>(
            std::move(reader),
            QStringLiteral("X11 (other programs' content read by a thread of its own)"));
    }
    return std::make_unique<QtClipboardSource>(
        nullptr, QStringLiteral("Qt's clipboard (no X11 display to read from)"));
}

} // namespace pomorina
