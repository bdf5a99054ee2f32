#pragma once

#include <functional>

class QWidget;

namespace pomorina {

// Calls `crossed` whenever the pointer enters or leaves `window` or the frame
// the window manager put round it (title bar, borders), from the X server's
// crossing events: no one has to look at the pointer while it is elsewhere.
// False where the program does not run on X11.
bool watchX11PointerCrossings(QWidget* window, std::function<void()> crossed);

} // namespace pomorina
