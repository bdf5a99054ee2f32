#include "support/fake_platform.h"

#include <QWidget>

namespace pomorina {

quint64 FakeClipboardSource::changeCount() const {
    return platform_.clipboardChanges;
}

ClipboardSnapshot FakeClipboardSource::read() const {
    ++platform_.formatQueries;
    const FakePlatform::Clipboard& now = platform_.clipboard;
    ClipboardSnapshot read;
    read.formats.text = now.text.has_value();
    read.formats.bitmap = !now.image.isNull();
    read.formats.any = read.formats.text || read.formats.bitmap;
    if (read.formats.text) {
        ++platform_.clipboardReads;
        if (!now.unreadable)
            read.text = now.text;
    }
    if (read.formats.bitmap) {
        ++platform_.clipboardReads;
        if (!now.unreadable)
            read.setPicture(now.image);
    }
    return read;
}

void FakeClipboardSource::take(ClipboardSnapshot read) {
    snapshot_ = std::move(read);
    snapshot_.change = platform_.clipboardChanges;
    emit snapshotArrived();
}

void FakeClipboardSource::changedElsewhere() {
    if (!platform_.reportsChanges)
        return; // found by the next refresh()
    ++platform_.clipboardChanges;
    emit changeBegan();
    if (!platform_.pending)
        deliver();
}

void FakeClipboardSource::deliver() {
    if (snapshot_.change != platform_.clipboardChanges)
        take(read());
}

void FakeClipboardSource::refresh() {
    if (platform_.reportsChanges)
        return;
    ClipboardSnapshot now = read();
    if (now.text == snapshot_.text && now.picture == snapshot_.picture &&
        now.formats.any == snapshot_.formats.any)
        return;
    ++platform_.clipboardChanges;
    emit changeBegan();
    take(std::move(now));
}

bool FakeClipboardSource::setText(const QString& text) {
    ++platform_.clipboardWrites;
    if (platform_.failClipboardWrites)
        return false;
    platform_.clipboard = {};
    platform_.clipboard.text = text;
    ++platform_.clipboardChanges;
    ClipboardSnapshot written;
    written.formats = {true, false, true};
    written.text = text;
    take(std::move(written));
    return true;
}

bool FakeClipboardSource::setImage(const QImage& image, const QByteArray& bytes,
                                   const QByteArray& format) {
    ++platform_.clipboardWrites;
    if (platform_.failClipboardWrites)
        return false;
    platform_.clipboard = {};
    platform_.clipboard.image = image;
    ++platform_.clipboardChanges;
    ClipboardSnapshot written;
    written.formats = {false, true, true};
    written.setPicture(image);
    written.pictureBytes = bytes;
    written.pictureFormat = format;
    take(std::move(written));
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
