#pragma once

namespace pomorina {

// True on a Wayland session (WAYLAND_DISPLAY set), whichever way the program
// shows its windows there.
bool waylandSession();

// Chooses Qt's window platform before the application starts, where Qt's own
// choice would not serve: on a Wayland session whose compositor offers no
// data-control (GNOME's), the windows go through Xwayland, so that the
// clipboard can be followed through X11 whichever program is in front.
// Leaves a choice the user made (QT_QPA_PLATFORM, -platform) alone.
void chooseWindowPlatform(int argc, char** argv);

} // namespace pomorina
