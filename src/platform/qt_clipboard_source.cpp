#include "qt_clipboard_source.h"

#include "x11_session.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>

namespace pomorina {

namespace {

// Qt gives up on a clipboard owner after 5 s; a read that took nearly that
// long and brought nothing was not answered.
constexpr qint64 kUnansweredReadMs = 4500;

bool sameContent(const ClipboardSnapshot& a, const ClipboardSnapshot& b) {
    return a.formats.text == b.formats.text && a.formats.bitmap == b.formats.bitmap &&
           a.formats.any == b.formats.any && a.text == b.text && a.picture == b.picture;
}

} // namespace

QtClipboardSource::QtClipboardSource(std::unique_ptr<ClipboardFetcher> reader, QString description)
    : reader_(std::move(reader)), description_(std::move(description)) {
    // These report every change of owner (X11 through XFixes, Windows through
    // its clipboard listener); elsewhere changes may go unreported.
    static const QStringList reporting = {QStringLiteral("xcb"), QStringLiteral("windows"),
                                          QStringLiteral("cocoa"), QStringLiteral("offscreen")};
    reportsChanges_ = reporting.contains(QGuiApplication::platformName());
    if (reader_) {
        reader_->setFinishedHandler([this](quint64 change) {
            QMetaObject::invokeMethod(
                this, [this, change] { arrived(change); }, Qt::QueuedConnection);
        });
    }
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &QtClipboardSource::changed);
    changed(); // what the clipboard holds at start
}

QtClipboardSource::~QtClipboardSource() = default;

void QtClipboardSource::changed() {
    ++changes_;
    emit changeBegan();
    // Our own content is at hand (Qt reports our claim from inside it);
    // another program's is read in the background from the moment it
    // changes, so that it is usually there before anyone asks.
    if (writing_ || QGuiApplication::clipboard()->ownsClipboard())
        take(written_);
    else if (reader_)
        reader_->request(changes_);
    else
        take(readHere());
}

void QtClipboardSource::arrived(quint64 change) {
    std::optional<ClipboardSnapshot> read = reader_->result(change, 0);
    // A read overtaken by a newer one, or older than content of our own.
    if (!read || change < snapshot_.change)
        return;
    snapshot_ = std::move(*read);
    snapshot_.change = change;
    emit snapshotArrived();
}

void QtClipboardSource::take(ClipboardSnapshot read) {
    snapshot_ = std::move(read);
    snapshot_.change = changes_;
    emit snapshotArrived();
}

void QtClipboardSource::refresh() {
    if (reportsChanges_)
        return;
    ClipboardSnapshot now = readHere();
    if (sameContent(now, snapshot_))
        return;
    ++changes_;
    emit changeBegan();
    take(std::move(now));
}

ClipboardSnapshot QtClipboardSource::readHere() const {
    ClipboardSnapshot read;
    // mimeData() is null while the clipboard is empty on some platforms.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return read;
    // One request for the list; every answer below comes from it, so that an
    // owner that does not answer costs one wait, not one per question.
    const QStringList offered = data->formats();
    read.formats.any = !offered.isEmpty();
    for (const QString& format : offered) {
        if (format == QLatin1String("text/plain") ||
            format.startsWith(QLatin1String("text/plain;")))
            read.formats.text = true;
        else if (format == QLatin1String("application/x-qt-image") ||
                 format.startsWith(QLatin1String("image/")))
            read.formats.bitmap = true;
    }
    if (read.formats.text) {
        // One request for one format: QMimeData::text() asks for two in turn,
        // and an owner that does not answer makes each of them wait.
        const QString utf8 = QStringLiteral("text/plain;charset=utf-8");
        const QString format = offered.contains(utf8) ? utf8 : QStringLiteral("text/plain");
        QElapsedTimer waited;
        waited.start();
        const QByteArray bytes = data->data(format);
        // A request the owner never answered comes back empty after the
        // clipboard's time-out; an empty text comes back at once.
        if (!bytes.isEmpty() || waited.elapsed() < kUnansweredReadMs)
            read.text = QString::fromUtf8(bytes);
    }
    if (read.formats.bitmap)
        read.setPicture(QGuiApplication::clipboard()->image());
    return read;
}

bool QtClipboardSource::setText(const QString& text) {
    ClipboardSnapshot written;
    written.formats = {true, false, true};
    written.text = text;
    return claim([&text](QMimeData* data) { data->setText(text); }, written);
}

bool QtClipboardSource::setImage(const QImage& image, const QByteArray& bytes,
                                 const QByteArray& format) {
    // A picture taken from another program goes back as the very bytes it
    // came in: no encoding, and pasted exactly as it was copied.
    const bool original = !bytes.isEmpty() && !format.isEmpty();
    ClipboardSnapshot written;
    written.formats = {false, true, true};
    written.setPicture(image);
    if (original) {
        written.pictureBytes = bytes;
        written.pictureFormat = format;
    }
    QMimeData* offered = nullptr;
    if (!claim(
            [&](QMimeData* data) {
                data->setImageData(image);
                if (original)
                    data->setData(QString::fromLatin1(format), bytes);
                offered = data;
            },
            written))
        return false;
    if (!original || format != "image/png")
        encodeForPasting(offered, image);
    return true;
}

void QtClipboardSource::releasePicture() {
    snapshot_.releasePixels();
    written_.releasePixels();
}

void QtClipboardSource::encodeForPasting(QMimeData* data, const QImage& image) {
    // Other programs mostly paste PNG, which Qt would encode anew on this
    // thread for every paste: most of a second for a large photo, with the
    // window frozen meanwhile. It is encoded once in the background and then
    // offered as it is; until then Qt encodes on demand as before.
    const quint64 job = ++encodeJob_;
    encodingFor_ = data;
    encoder_.start([this, job, image] {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            return;
        QMetaObject::invokeMethod(
            this,
            [this, job, png] {
                // Only for the picture still offered: a newer claim or another
                // program's content has replaced it otherwise.
                if (job == encodeJob_ && encodingFor_ != nullptr)
                    encodingFor_->setData(QStringLiteral("image/png"), png);
            },
            Qt::QueuedConnection);
    });
}

bool QtClipboardSource::claim(const std::function<void(QMimeData*)>& fill,
                              const ClipboardSnapshot& written) {
    if (claiming_)
        return false; // a write from inside a claim's event pass: tried again later
    QClipboard* clipboard = QGuiApplication::clipboard();
    const ClipboardSnapshot before = snapshot_;
    written_ = written;
    auto put = [&] {
        auto* data = new QMimeData;
        fill(data);
        writing_ = true;
        clipboard->setMimeData(data); // the clipboard owns it from here
        writing_ = false;
        return data;
    };
    const QMimeData* ours = put();
    // On X11 the clipboard answers with our own data only while we own it.
    bool took =
        QGuiApplication::platformName() != QLatin1String("xcb") || clipboard->mimeData() == ours;
    if (!took) {
        // The claim was stamped with an event time older than the current
        // owner's, so the server ignored it: stamp it anew and claim again.
        claiming_ = true;
        const bool refreshed = refreshX11ServerTime();
        claiming_ = false;
        if (refreshed) {
            ours = put();
            took = clipboard->mimeData() == ours;
        }
    }
    // Where Qt reports our claim only later, the snapshot follows it now; a
    // claim that did not take leaves the content as it was.
    take(took ? written_ : before);
    return took;
}

} // namespace pomorina
