#pragma once

#include "platform/clipboard_source.h"
#include "platform/platform.h"

#include <QList>
#include <QStringList>

namespace pomorina {

class FakePlatform;

// The scripted platform's clipboard: reads take no time unless the test holds
// them back, as a slow owner would.
class FakeClipboardSource final : public ClipboardSource {
    Q_OBJECT
public:
    explicit FakeClipboardSource(FakePlatform& platform) : platform_(platform) {}

    quint64 changeCount() const override;
    const ClipboardSnapshot& snapshot() const override { return snapshot_; }
    void refresh() override;
    bool setText(const QString& text) override;
    bool setImage(const QImage& image, const QByteArray& bytes, const QByteArray& format) override;
    using ClipboardSource::setImage;
    void releasePicture() override { snapshot_.releasePixels(); }
    QString description() const override { return QStringLiteral("scripted"); }

    // Another program changed the content: reported, and read unless held.
    void changedElsewhere();
    // The read of the newest change arrives.
    void deliver();

private:
    ClipboardSnapshot read() const;
    void take(ClipboardSnapshot read);

    FakePlatform& platform_;
    ClipboardSnapshot snapshot_;
};

// A platform whose every answer is set by the test and whose every effect is
// recorded, so that whole handlers run the same way on every machine.
class FakePlatform final : public Platform {
public:
    FakePlatform() : source_(*this) {}

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
        source_.changedElsewhere();
    }
    quint64 clipboardChanges = 0; // moved by every write, and by setClipboard()
    bool reportsChanges = true;
    // While set, reads of new content are held back (the owner is slow);
    // release() lets the newest one arrive.
    bool pending = false;
    void release() {
        pending = false;
        source_.deliver();
    }
    mutable int formatQueries = 0;  // one a read of the clipboard
    mutable int clipboardReads = 0; // text and picture reads
    int clipboardWrites = 0;
    bool failClipboardWrites = false;

    Foreground foreground = Foreground::Other;
    std::optional<QPoint> cursor = QPoint(); // nothing: the desktop does not tell
    bool pointerOverWindow = false;          // entered and not left
    bool windowPositionsKnown = true;
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

    ClipboardSource& clipboardSource() override { return source_; }

    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override;
    void setTopmost(QWidget* window, bool on) override;
    std::optional<QPoint> cursorPos() override { return cursor; }
    bool pointerOver(const QWidget*) override { return pointerOverWindow; }
    bool knowsWindowPositions() override { return windowPositionsKnown; }
    void watchForeground(QObject*, std::function<void()> changed) override {
        foregroundWatchers.append(std::move(changed));
    }
    // Crossings are not reported: the tests look at the pointer by ticking.
    bool watchPointerCrossings(QWidget*, std::function<void()>) override { return false; }
    QList<std::function<void()>> foregroundWatchers;
    qint64 tickCount() override { return now; }

    bool askOkCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;

    QString executableDir() override { return folder; }

private:
    FakeClipboardSource source_;
};

} // namespace pomorina
