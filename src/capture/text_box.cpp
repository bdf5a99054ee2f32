#include "text_box.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace pomorina {

QString textOf(const QPlainTextEdit* box) {
    QString text = box->document()->toRawText();
    // The document keeps its own paragraph and line separators.
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

} // namespace pomorina
