#include "clipboard_source.h"

namespace pomorina {

ClipboardSource::~ClipboardSource() = default;

} // namespace pomorina
