#pragma once

namespace pomorina {

// Outside a desktop session (a terminal over ssh, say) there is no
// XDG_RUNTIME_DIR. Qt then falls back to a folder of its own and warns about
// it on every start, which reads like a fault. This picks the same folder
// quietly, before Qt looks, where it can be made private to the user; else it
// leaves the choice, and the warning, to Qt.
void provideRuntimeDir();

} // namespace pomorina
