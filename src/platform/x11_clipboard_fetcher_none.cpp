#include "clipboard_fetcher.h"

namespace pomorina {

ClipboardFetcher::~ClipboardFetcher() = default;

std::unique_ptr<ClipboardFetcher> createX11ClipboardFetcher(const QByteArray&, const FetchLimits&) {
    return nullptr;
}

} // namespace pomorina
