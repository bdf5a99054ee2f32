#pragma once

#include "clipboard_fetcher.h"

#include <memory>

namespace pomorina {

// On X11 a program claims the clipboard with the time of the last event it
// saw from the server; a claim older than the current owner's is ignored.
// This asks the server for a fresh time stamp by changing a property of one
// of the program's windows and lets the toolkit take in the notice. True
// when a stamp was asked for (X11 only).
bool refreshX11ServerTime();

// A clipboard fetcher on the X server the application is shown on; nothing
// when the application does not run on X11.
std::unique_ptr<ClipboardFetcher> createSessionClipboardFetcher();

} // namespace pomorina
