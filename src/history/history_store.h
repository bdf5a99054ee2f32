#pragma once

#include "capture/fit_rule.h"
#include "capture/held_picture.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <array>

namespace pomorina {

// The history: the six most recent texts and, independently, the six most
// recent pictures. Slot 0 is the newest, slot 5 the oldest. Pictures are kept
// at full size; thumbnails are made from them on demand. A plain value: it
// notifies nobody, the history window reads it after every change.
class HistoryStore {
public:
    static constexpr int kSlots = 6;
    // Area a thumbnail's picture is fitted into, centred in a box of
    // thumbBoxSize with a frame of thumbFrame pixels on each side.
    static constexpr int thumbWidth = 96;
    static constexpr int thumbHeight = 96;
    static constexpr int thumbBoxSize = 100;
    static constexpr int thumbFrame = (thumbBoxSize - thumbWidth) / 2;

    // Slots outside 0..5 read as empty and ignore writes.
    QString text(int slot) const;
    void setText(int slot, const QString& text);
    // The picture of a slot, null for an empty slot; its full pixels,
    // decoded again from the bytes it came in where they were let go.
    const HeldPicture& held(int slot) const;
    QImage picture(int slot) const { return held(slot).pixels(); }

    // Moves every text one slot older (5 <- 4, ..., 1 <- 0) and drops the
    // oldest. Slot 0 keeps its text; the caller writes the new one into it.
    void pushtext();
    // Moves every picture one slot older, dropping the oldest, and puts
    // `current` into slot 0, keeping its bytes and its small copy only where
    // those can give its pixels back.
    void pushimage(HeldPicture current);

    // Where slot `slot`'s picture goes in the thumbnail area, never enlarged;
    // not drawable for an empty slot.
    FitResult thumbnailFit(int slot) const;
    // The thumbnail box of slot `slot`: thumbBoxSize square, cleared to
    // `back`, the picture smoothly scaled into its fitted rectangle. Blank for
    // an empty slot. `ratio` canvas pixels make a pixel: the screen's own
    // resolution keeps a thumbnail sharp.
    QImage thumbnail(int slot, const QColor& back, qreal ratio = 1.0) const;

private:
    static bool validSlot(int slot) { return slot >= 0 && slot < kSlots; }

    std::array<QString, kSlots> m_texts;
    std::array<HeldPicture, kSlots> m_pictures;
};

} // namespace pomorina
