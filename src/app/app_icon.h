#pragma once

#include <QIcon>

namespace pomorina {

// The 32 x 32 window icon: a clipboard with a small picture on it.
QIcon makeAppIcon();

} // namespace pomorina
