#include "picture_originals.h"

namespace pomorina {

namespace {
// As many as the history holds, within a bound on memory.
constexpr qsizetype kKept = 6;
constexpr qint64 kKeptBytes = qint64(96) * 1024 * 1024;
} // namespace

void PictureOriginals::remember(const ClipboardSnapshot& read) {
    if (read.picture.isNull() || read.pictureBytes.isEmpty())
        return;
    const qint64 key = read.picture.cacheKey();
    if (find(read.picture))
        return;
    originals_.prepend({key, read.pictureFormat, read.pictureBytes});
    qint64 total = 0;
    for (qsizetype i = 0; i < originals_.size(); ++i) {
        total += originals_[i].bytes.size();
        if (i >= kKept || (i > 0 && total > kKeptBytes)) {
            originals_.resize(i);
            break;
        }
    }
}

std::optional<PictureOriginals::Original> PictureOriginals::find(const QImage& picture) const {
    for (const Original& original : originals_) {
        if (original.key == picture.cacheKey())
            return original;
    }
    return std::nullopt;
}

} // namespace pomorina
