#include "text_box.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace pomorina {

void prepareTextBox(QPlainTextEdit* box) {
    box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void showInBox(QPlainTextEdit* box, const QString& text) {
    const bool whole = text.size() <= kTextDisplayLimit;
    box->setReadOnly(!whole);
    if (whole) {
        box->setPlainText(text);
        return;
    }
    box->setPlainText(
        text.left(kTextDisplayLimit) +
        QStringLiteral("\n\n（長いテキストのため、最初の %1 文字だけを表示しています。"
                       "全体は %2 文字です）")
            .arg(kTextDisplayLimit)
            .arg(text.size()));
}

QString textOf(const QPlainTextEdit* box) {
    QString text = box->document()->toRawText();
    // The document keeps its own paragraph and line separators.
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

} // namespace pomorina
