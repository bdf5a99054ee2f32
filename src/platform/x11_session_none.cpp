#include "x11_session.h"

namespace pomorina {

// Without X11 there is no time stamp to bring up to date.
bool refreshX11ServerTime() {
    return false;
}

// Elsewhere the clipboard is read through Qt, on the user-interface thread.
std::unique_ptr<ClipboardFetcher> createSessionClipboardFetcher() {
    return nullptr;
}

} // namespace pomorina
