#include "x11_server_time.h"

namespace pomorina {

// Without X11 there is no time stamp to bring up to date.
bool refreshX11ServerTime() {
    return false;
}

} // namespace pomorina
