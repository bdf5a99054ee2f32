#pragma once

#include "clipboard_source.h"

#include <memory>

namespace pomorina {

// The clipboard backend for the desktop the program runs on, chosen once at
// start; its description() says which and why.
std::unique_ptr<ClipboardSource> chooseClipboardSource();

} // namespace pomorina
