#pragma once

#include "clipboard_fetcher.h"
#include "clipboard_source.h"

#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <memory>

class QMimeData;

namespace pomorina {

// The clipboard through Qt: Qt tells of changes and serves what the program
// writes. Other programs' content is read by a worker thread of its own where
// one is given (X11), and by Qt on this thread otherwise.
class QtClipboardSource final : public ClipboardSource {
    Q_OBJECT
public:
    // `reader` reads other programs' content off this thread; null: Qt does.
    QtClipboardSource(std::unique_ptr<ClipboardFetcher> reader, QString description);
    ~QtClipboardSource() override;

    quint64 changeCount() const override { return changes_; }
    const ClipboardSnapshot& snapshot() const override { return snapshot_; }
    void refresh() override;
    bool setText(const QString& text) override;
    bool setImage(const QImage& image, const QByteArray& bytes, const QByteArray& format) override;
    using ClipboardSource::setImage;
    void releasePicture() override;
    QString description() const override { return description_; }

private:
    void changed();
    void arrived(quint64 change);
    void take(ClipboardSnapshot read);
    // What the clipboard offers, read through Qt on this thread.
    ClipboardSnapshot readHere() const;
    // Puts new data on the clipboard and makes sure it took.
    bool claim(const std::function<void(QMimeData*)>& fill, const ClipboardSnapshot& written);
    // Adds a ready-made PNG to a picture of ours on the clipboard.
    void encodeForPasting(QMimeData* data, const QImage& image);

    std::unique_ptr<ClipboardFetcher> reader_;
    const QString description_;
    bool reportsChanges_ = false;
    quint64 changes_ = 0;
    ClipboardSnapshot snapshot_;
    ClipboardSnapshot written_; // what a claim under way puts on the clipboard
    bool writing_ = false;      // our claim is being put on the clipboard
    bool claiming_ = false;     // a claim is waiting for a fresh X11 time stamp

    // The picture being encoded for pasting, and the latest job's number. The
    // pool is the last member, so that its job is over before the rest goes.
    QPointer<QMimeData> encodingFor_;
    quint64 encodeJob_ = 0;
    QThreadPool encoder_;
};

} // namespace pomorina
