#pragma once

#include <QString>

class QPlainTextEdit;

namespace pomorina {

// A text box shows at most this many characters. Laying out text costs time
// that grows with its length, and much faster for lines without spaces, so a
// huge text would freeze the program; the whole text is kept elsewhere.
inline constexpr qsizetype kTextDisplayLimit = 64 * 1024;

// Sets up a text box for clipboard text: long lines without spaces wrap
// anywhere instead of being measured again and again for a word break.
void prepareTextBox(QPlainTextEdit* box);

// Shows a text in a box. A text beyond the display limit is shown cut short,
// with a note, and the box becomes read-only, so that no edit can put the
// shown part in place of the whole text.
void showInBox(QPlainTextEdit* box, const QString& text);

// A text box's text exactly as typed: toPlainText() turns no-break spaces
// into plain ones, which would change the user's text on its way to the
// clipboard.
QString textOf(const QPlainTextEdit* box);

} // namespace pomorina
