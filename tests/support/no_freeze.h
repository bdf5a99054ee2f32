// The bound of the tests that show a fault cannot freeze the program: far
// beyond what a sanitizer build on a busy machine takes for the work, far
// below what the faults cost (minutes, or for ever). Speed is measured in
// bench/, not here.
#pragma once

#include <QtGlobal>

namespace pomorina::testing {

inline constexpr qint64 kNoFreezeMs = 30000;

} // namespace pomorina::testing
