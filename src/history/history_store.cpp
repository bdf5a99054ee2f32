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

QImage HistoryStore::picture(int slot) const {
    return validSlot(slot) ? m_pictures[slot] : QImage();
}

void HistoryStore::pushtext() {
    // From the old end, so that nothing is overwritten before it is copied.
    for (int slot = kSlots - 1; slot > 0; --slot)
        m_texts[slot] = m_texts[slot - 1];
}

void HistoryStore::pushimage(const QImage& current) {
    for (int slot = kSlots - 1; slot > 0; --slot)
        m_pictures[slot] = m_pictures[slot - 1];
    m_pictures[0] = current;
}

FitResult HistoryStore::thumbnailFit(int slot) const {
    const QImage held = picture(slot);
    if (held.isNull())
        return {};
    return fitPicture(held.width(), held.height(), thumbWidth, thumbHeight, false);
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
        painter.drawImage(fittedRect(fit).translated(thumbFrame, thumbFrame), picture(slot));
    }
    return box;
}

} // namespace pomorina
