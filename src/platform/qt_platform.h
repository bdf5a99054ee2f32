#pragma once

#include "clipboard_fetcher.h"
#include "platform.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <memory>

class QMimeData;

namespace pomorina {

// The desktop as Qt sees it.
class QtPlatform final : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    quint64 clipboardChangeCount() override { return changes_; }
    bool clipboardReportsChanges() override;
    bool clipboardPending() override;
    ClipboardFormats clipboardFormats() override;
    std::optional<QString> clipboardText() override;
    QImage clipboardImage() override;
    void clearClipboard() override;
    bool setClipboardText(const QString& text) override;
    bool setClipboardImage(const QImage& image) override;

    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override;
    void setTopmost(QWidget* window, bool on) override;
    QPoint cursorPos() override;
    qint64 tickCount() override;

    bool askOkCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;

    QString executableDir() override;

private:
    // Puts new data on the clipboard and makes sure it took.
    bool claimClipboard(const std::function<void(QMimeData*)>& fill);

    // Starts reading another program's new content in the background.
    void fetchClipboard();
    // Adds a ready-made PNG to a picture this program put on the clipboard.
    void encodeForPasting(QMimeData* data, const QImage& image);
    // Keeps a fetched picture's original bytes, for offering it again.
    void rememberEncoded(const ClipboardSnapshot& fetched);

    // Reads other programs' clipboard content off this thread; null where
    // Qt reads it (then on this thread).
    std::unique_ptr<ClipboardFetcher> fetcher_;
    // The last finished background read, and whether the reads below answer
    // from it (true) or from Qt (false, for content of our own).
    ClipboardSnapshot fetched_;
    bool useFetched_ = false;

    // The picture being encoded for pasting, the latest job's number, and
    // where its result is handed back to this thread. The pool is the last
    // member, so it is gone (its job finished) before the others.
    QPointer<QMimeData> encodingFor_;
    quint64 encodeJob_ = 0;
    QObject encodedHere_;

    // The latest pictures taken from other programs, newest first, with the
    // bytes they came in (QImage::cacheKey() follows a picture's copies).
    struct Encoded {
        qint64 key;
        QByteArray format;
        QByteArray bytes;
    };
    QList<Encoded> encoded_;

    QElapsedTimer clock_;
    quint64 changes_ = 0;
    bool claiming_ = false;
    QThreadPool encoder_;
};

} // namespace pomorina
