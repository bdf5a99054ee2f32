#include "fake_platform.h"

#include <QWidget>

namespace pomorina {

ClipboardFormats FakePlatform::clipboardFormats() {
    ++formatQueries;
    const bool text = clipboard.text.has_value();
    const bool bitmap = !clipboard.image.isNull();
    return {text, bitmap, text || bitmap};
}

std::optional<QString> FakePlatform::clipboardText() {
    ++clipboardReads;
    if (clipboard.unreadable)
        return std::nullopt;
    return clipboard.text;
}

QImage FakePlatform::clipboardImage() {
    ++clipboardReads;
    if (clipboard.unreadable)
        return {};
    return clipboard.image;
}

void FakePlatform::clearClipboard() {
    ++clipboardWrites;
    if (!failClipboardWrites) {
        clipboard = {};
        ++clipboardChanges;
    }
}

bool FakePlatform::setClipboardText(const QString& text) {
    ++clipboardWrites;
    if (failClipboardWrites)
        return false;
    clipboard = {};
    clipboard.text = text;
    ++clipboardChanges;
    return true;
}

bool FakePlatform::setClipboardImage(const QImage& image) {
    ++clipboardWrites;
    if (failClipboardWrites)
        return false;
    clipboard = {};
    clipboard.image = image;
    ++clipboardChanges;
    return true;
}

Foreground FakePlatform::foregroundWindow(const QWidget*, const QWidget*) {
    return foreground;
}

void FakePlatform::setTopmost(QWidget* window, bool on) {
    topmostCalls.append({window, on});
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    window->overrideWindowFlags(flags);
    if (!window->isVisible())
        window->show();
}

bool FakePlatform::askOkCancel(QWidget*, const QString& text) {
    questionsAsked.append(text);
    return okCancelAnswers.isEmpty() ? false : okCancelAnswers.takeFirst();
}

void FakePlatform::showError(QWidget*, const QString& text) {
    errorsShown.append(text);
}

} // namespace pomorina
