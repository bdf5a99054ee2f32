#pragma once

#include "clipboard_fetcher.h"
#include "clipboard_source.h"

#include <QString>

#include <memory>

namespace pomorina {

// A clipboard source over the compositor's data-control protocol, on a
// connection and worker thread of its own; null when there is no Wayland
// display or the compositor offers no data-control (then *whyNot says which,
// in a few words, e.g. "the compositor offers no data-control protocol").
// `limits` bound how long a read or a write waits on another program.
std::unique_ptr<ClipboardSource> createWaylandClipboardSource(QString* whyNot,
                                                              const FetchLimits& limits = {});

// Whether the compositor WAYLAND_DISPLAY names offers data-control; when not,
// *whyNot says why. Asks the compositor itself, before any window exists.
bool dataControlOffered(QString* whyNot);

} // namespace pomorina
