#pragma once

#include <QString>

class QPlainTextEdit;

namespace pomorina {

// A text box's text exactly as typed: toPlainText() turns no-break spaces
// into plain ones, which would change the user's text on its way to the
// clipboard.
QString textOf(const QPlainTextEdit* box);

} // namespace pomorina
