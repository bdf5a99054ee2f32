// Plain colours and what the main window's preview shows, shared by the tests
// of whole handlers. Kept apart from form1_desk.h, whose other users define
// some of these names themselves.
#pragma once

#include "support/form1_desk.h"

namespace pomorina::testing {

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

// The text view shown and the picture view hidden, or the other way round.
inline bool textViewShown(Form1& form) {
    return !form.pane().Text1()->isHidden() && form.pane().Picture1()->isHidden();
}
inline bool pictureViewShown(Form1& form) {
    return !form.pane().Picture1()->isHidden() && form.pane().Text1()->isHidden();
}

// `texts` padded with empty ones to the six history slots.
inline QStringList sixTexts(QStringList texts) {
    while (texts.size() < HistoryStore::kSlots)
        texts << QString();
    return texts;
}

} // namespace pomorina::testing
