#include "held_picture.h"

#include "platform/clipboard_offer.h"

#include <QPainter>

namespace pomorina {

HeldPicture::HeldPicture(QImage pixels, QByteArray bytes, QByteArray format, int smallSide)
    : pixels_(std::move(pixels)), bytes_(std::move(bytes)), format_(std::move(format)),
      size_(pixels_.size()) {
    if (pixels_.width() <= smallSide && pixels_.height() <= smallSide) {
        small_ = pixels_;
    } else if (!pixels_.isNull()) {
        // Drawn as the preview draws a picture, smoothly but without the
        // cost of averaging every pixel of a large one.
        const QSize side = size_.scaled(smallSide, smallSide, Qt::KeepAspectRatio);
        small_ = QImage(side.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        small_.fill(Qt::transparent);
        QPainter painter(&small_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(small_.size())), pixels_);
    }
}

QImage HeldPicture::pixels() const {
    if (!pixels_.isNull() || bytes_.isEmpty())
        return pixels_;
    return clipboardPictureFromBytes(bytes_);
}

void HeldPicture::releasePixels() {
    if (!bytes_.isEmpty() && small_.cacheKey() != pixels_.cacheKey())
        pixels_ = QImage();
}

} // namespace pomorina
