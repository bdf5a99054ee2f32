#include "history/history_store.h"

#include <QPainter>

namespace pomorina {

QString HistoryStore::text(int slot) const {
    return validSlot(slot) ? m_texts[slot] : QString();
}

void HistoryStore::setText(int slot, const QString& text) {
    if (validSlot(slot))
        m_texts[slot] = text;
}

const HeldPicture& HistoryStore::held(int slot) const {
    static const HeldPicture none;
    return validSlot(slot) ? m_pictures[slot] : none;
}

void HistoryStore::pushtext() {
    // From the old end, so that nothing is overwritten before it is copied.
    for (int slot = kSlots - 1; slot > 0; --slot)
        m_texts[slot] = m_texts[slot - 1];
}

void HistoryStore::pushimage(HeldPicture current) {
    for (int slot = kSlots - 1; slot > 0; --slot)
        m_pictures[slot] = m_pictures[slot - 1];
    current.releasePixels();
    m_pictures[0] = std::move(current);
}

FitResult HistoryStore::thumbnailFit(int slot) const {
    const HeldPicture& picture = held(slot);
    if (picture.isNull())
        return {};
    return fitPicture(picture.width(), picture.height(), thumbWidth, thumbHeight, false);
}

QImage HistoryStore::thumbnail(int slot, const QColor& back, qreal ratio) const {
    const int side = qRound(thumbBoxSize * ratio);
    QImage box(side, side, QImage::Format_RGB32);
    box.setDevicePixelRatio(ratio);
    box.fill(back);
    const FitResult fit = thumbnailFit(slot);
    if (fit.drawable) {
        QPainter painter(&box);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // From the small copy, which is larger than any thumbnail.
        painter.drawImage(fittedRect(fit).translated(thumbFrame, thumbFrame), held(slot).small());
    }
    return box;
}

} // namespace pomorina
