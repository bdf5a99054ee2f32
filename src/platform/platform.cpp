#include "platform.h"

namespace pomorina {

Platform::~Platform() = default;

} // namespace pomorina
