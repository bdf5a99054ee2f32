#include "wayland_clipboard_source.h"

namespace pomorina {

std::unique_ptr<ClipboardSource> createWaylandClipboardSource(QString* whyNot, const FetchLimits&) {
    if (whyNot != nullptr)
        *whyNot = QStringLiteral("built without Wayland support");
    return nullptr;
}

bool dataControlOffered(QString* whyNot) {
    return createWaylandClipboardSource(whyNot) != nullptr;
}

} // namespace pomorina
