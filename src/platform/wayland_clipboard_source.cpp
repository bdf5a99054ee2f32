// The clipboard on a Wayland desktop, as the user interface sees it: the
// worker thread watches, reads and serves; here its reports become change
// numbers and snapshots, and writes become content for it to offer.
#include "wayland_clipboard_source.h"

#include "wayland_clipboard_worker.h"
#include "wayland_connection.h"

#include <QBuffer>
#include <QImageReader>
#include <QThreadPool>

#include <map>

namespace pomorina {

namespace {

// The names programs ask text by, X11's included for those that serve both.
const QByteArrayList kTextTypes = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING",
                                   "STRING", "TEXT"};
const QByteArray kPng = QByteArrayLiteral("image/png");

class WaylandClipboardSource final : public ClipboardSource {
public:
    WaylandClipboardSource(std::unique_ptr<WaylandConnection> connection,
                           const FetchLimits& limits);
    ~WaylandClipboardSource() override;

    quint64 changeCount() const override { return changes_; }
    const ClipboardSnapshot& snapshot() const override { return snapshot_; }
    bool setText(const QString& text) override;
    bool setImage(const QImage& image, const QByteArray& bytes, const QByteArray& format) override;
    void releasePicture() override {
        snapshot_.releasePixels();
        written_.releasePixels();
    }
    QString description() const override;

private:
    void began(quint64 selection);
    void arrived(quint64 selection, ClipboardSnapshot read);
    void applied(quint64 content);
    quint64 write(OwnContent content, const ClipboardSnapshot& written);

    quint64 changes_ = 0;
    ClipboardSnapshot snapshot_;
    // The change number each selection the worker reported was given.
    std::map<quint64, quint64> changeOf_;
    // Our last write: what it holds, its number with the worker, its change.
    ClipboardSnapshot written_;
    quint64 writtenContent_ = 0;
    quint64 writtenChange_ = 0;
    // Last: stopped before anything its reports touch goes.
    std::unique_ptr<WaylandClipboardWorker> worker_;
};

WaylandClipboardSource::WaylandClipboardSource(std::unique_ptr<WaylandConnection> connection,
                                               const FetchLimits& limits) {
    // Reports come on the worker's thread and are taken in here, in order.
    WaylandClipboardWorker::Reports reports;
    reports.began = [this](quint64 selection) {
        QMetaObject::invokeMethod(
            this, [this, selection] { began(selection); }, Qt::QueuedConnection);
    };
    reports.read = [this](quint64 selection, ClipboardSnapshot read) {
        QMetaObject::invokeMethod(
            this,
            [this, selection, read = std::move(read)]() mutable {
                arrived(selection, std::move(read));
            },
            Qt::QueuedConnection);
    };
    reports.applied = [this](quint64 content) {
        QMetaObject::invokeMethod(
            this, [this, content] { applied(content); }, Qt::QueuedConnection);
    };
    worker_ = std::make_unique<WaylandClipboardWorker>(
        std::move(connection), limits, QImageReader::supportedMimeTypes(), std::move(reports));
}

WaylandClipboardSource::~WaylandClipboardSource() {
    worker_.reset();
}

QString WaylandClipboardSource::description() const {
    return QStringLiteral("Wayland data-control (%1)")
        .arg(QString::fromLatin1(worker_->protocolName()));
}

void WaylandClipboardSource::began(quint64 selection) {
    changeOf_[selection] = ++changes_;
    emit changeBegan();
}

void WaylandClipboardSource::arrived(quint64 selection, ClipboardSnapshot read) {
    const auto found = changeOf_.find(selection);
    if (found == changeOf_.end())
        return;
    const quint64 change = found->second;
    // Reads finish in order: older selections will bring nothing more.
    changeOf_.erase(changeOf_.begin(), std::next(found));
    if (change < snapshot_.change)
        return; // older than content we have written since
    snapshot_ = std::move(read);
    snapshot_.change = change;
    emit snapshotArrived();
}

void WaylandClipboardSource::applied(quint64 content) {
    // Selections the worker saw before it set ours were replaced by ours,
    // and their reads were given up.
    changeOf_.clear();
    if (content != writtenContent_ || changes_ == writtenChange_)
        return;
    // Another program's change was counted after our write was made but
    // came first on the clipboard: ours holds it now, which is one more.
    snapshot_ = written_;
    snapshot_.change = writtenChange_ = ++changes_;
    emit changeBegan();
    emit snapshotArrived();
}

bool WaylandClipboardSource::setText(const QString& text) {
    OwnContent content;
    const QByteArray utf8 = text.toUtf8();
    for (const QByteArray& type : kTextTypes) {
        content.types.append(type);
        content.bytes.insert(type, utf8);
    }
    ClipboardSnapshot written;
    written.formats = {true, false, true};
    written.text = text;
    return write(std::move(content), written) != 0;
}

bool WaylandClipboardSource::setImage(const QImage& image, const QByteArray& bytes,
                                      const QByteArray& format) {
    if (image.isNull())
        return false;
    OwnContent content;
    ClipboardSnapshot written;
    written.formats = {false, true, true};
    written.setPicture(image);
    // A picture taken from another program goes back as the very bytes it
    // came in, so that it pastes exactly as it was copied.
    const bool original = !bytes.isEmpty() && !format.isEmpty();
    if (original) {
        content.types.append(format);
        content.bytes.insert(format, bytes);
        written.pictureBytes = bytes;
        written.pictureFormat = format;
    }
    const bool encode = !original || format != kPng;
    if (encode)
        content.types.append(kPng); // its bytes follow from the encoder
    const quint64 number = write(std::move(content), written);
    if (number == 0)
        return false;
    if (encode) {
        // PNG is what most programs paste; a large photo takes most of a
        // second to encode, so it is done once, away from this thread, and
        // those who ask meanwhile wait for it.
        QThreadPool::globalInstance()->start([provide = worker_->provider(number, kPng), image] {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            provide(image.save(&buffer, "PNG") ? std::optional<QByteArray>(png) : std::nullopt);
        });
    }
    return true;
}

quint64 WaylandClipboardSource::write(OwnContent content, const ClipboardSnapshot& written) {
    if (!worker_->connected())
        return 0;
    writtenContent_ = worker_->write(std::move(content));
    written_ = written;
    snapshot_ = written;
    snapshot_.change = writtenChange_ = ++changes_;
    emit changeBegan();
    emit snapshotArrived();
    return writtenContent_;
}

} // namespace

std::unique_ptr<ClipboardSource> createWaylandClipboardSource(QString* whyNot,
                                                              const FetchLimits& limits) {
    std::unique_ptr<WaylandConnection> connection =
        WaylandConnection::open(limits.answerTimeoutMs, whyNot);
    if (!connection)
        return nullptr;
    return std::make_unique<WaylandClipboardSource>(std::move(connection), limits);
}

bool dataControlOffered(QString* whyNot) {
    return WaylandConnection::open(FetchLimits{}.answerTimeoutMs, whyNot) != nullptr;
}

} // namespace pomorina
