#pragma once

#include "platform.h"

#include <QList>
#include <QStringList>

namespace pomorina {

// A platform whose every answer is set by the test and whose every effect is
// recorded, so that whole handlers run the same way on every machine.
class FakePlatform final : public Platform {
public:
    // The clipboard as the test sets it.
    struct Clipboard {
        std::optional<QString> text;
        QImage image;            // null: no picture offered
        bool unreadable = false; // offers formats but every read fails
    };
    Clipboard clipboard;
    // Another program puts this on the clipboard.
    void setClipboard(Clipboard content) {
        clipboard = std::move(content);
        ++clipboardChanges;
    }
    quint64 clipboardChanges = 0; // moved by every write, and by setClipboard()
    bool reportsChanges = true;
    bool pending = false; // the content is still on its way
    int formatQueries = 0;
    int clipboardReads = 0;  // text and picture reads
    int clipboardWrites = 0; // clears and puts
    bool failClipboardWrites = false;

    Foreground foreground = Foreground::Other;
    QPoint cursor;
    qint64 now = 0;

    QList<bool> okCancelAnswers; // answers in order; Cancel when empty
    QStringList questionsAsked;
    QStringList errorsShown;

    struct TopmostCall {
        QWidget* window;
        bool on;
    };
    QList<TopmostCall> topmostCalls;

    QString folder;

    quint64 clipboardChangeCount() override { return clipboardChanges; }
    bool clipboardReportsChanges() override { return reportsChanges; }
    bool clipboardPending() override { return pending; }
    ClipboardFormats clipboardFormats() override;
    std::optional<QString> clipboardText() override;
    QImage clipboardImage() override;
    void clearClipboard() override;
    bool setClipboardText(const QString& text) override;
    bool setClipboardImage(const QImage& image) override;

    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override;
    void setTopmost(QWidget* window, bool on) override;
    QPoint cursorPos() override { return cursor; }
    qint64 tickCount() override { return now; }

    bool askOkCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;

    QString executableDir() override { return folder; }
};

} // namespace pomorina
