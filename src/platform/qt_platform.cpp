#include "qt_platform.h"

#include "x11_session.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QMessageBox>
#include <QMimeData>
#include <QWidget>
#include <QWindow>

namespace pomorina {

namespace {
// Qt gives up on a clipboard owner after 5 s; a read that took nearly that
// long and brought nothing was not answered.
constexpr qint64 kUnansweredReadMs = 4500;

// How long a poll waits for a background read that is under way: long
// enough for a text copied just before, short enough to go unnoticed.
constexpr int kFetchWaitMs = 25;

// Pictures whose original bytes are kept for offering them again.
constexpr qsizetype kRememberedPictures = 6;
constexpr qint64 kRememberedBytes = qint64(96) * 1024 * 1024;
} // namespace

QtPlatform::QtPlatform() : fetcher_(createSessionClipboardFetcher()) {
    clock_.start();
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                     QGuiApplication::clipboard(), [this] {
                         ++changes_;
                         fetchClipboard();
                     });
    fetchClipboard(); // what the clipboard holds at start
}

QtPlatform::~QtPlatform() = default;

void QtPlatform::fetchClipboard() {
    // Our own content is at hand in Qt; another program's is read in the
    // background from the moment it changes, so that it is usually there
    // before the poll asks.
    if (fetcher_ != nullptr && !QGuiApplication::clipboard()->ownsClipboard())
        fetcher_->request(changes_);
}

bool QtPlatform::clipboardPending() {
    useFetched_ = false;
    if (fetcher_ == nullptr || QGuiApplication::clipboard()->ownsClipboard())
        return false;
    std::optional<ClipboardSnapshot> fetched = fetcher_->result(changes_, kFetchWaitMs);
    if (!fetched)
        return true;
    fetched_ = std::move(*fetched);
    useFetched_ = true;
    return false;
}

bool QtPlatform::clipboardReportsChanges() {
    // These report every change of owner (X11 through XFixes, Windows through
    // its clipboard listener); elsewhere changes may go unreported.
    static const QStringList reporting = {QStringLiteral("xcb"), QStringLiteral("windows"),
                                          QStringLiteral("cocoa"), QStringLiteral("offscreen")};
    return reporting.contains(QGuiApplication::platformName());
}

ClipboardFormats QtPlatform::clipboardFormats() {
    if (useFetched_)
        return fetched_.formats;
    ClipboardFormats formats;
    // mimeData() is null while the clipboard is empty on some platforms.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return formats;
    // One request for the list; every answer below comes from it, so that an
    // owner that does not answer costs one wait, not one per question.
    const QStringList offered = data->formats();
    formats.any = !offered.isEmpty();
    for (const QString& format : offered) {
        if (format == QLatin1String("text/plain") ||
            format.startsWith(QLatin1String("text/plain;")))
            formats.text = true;
        else if (format == QLatin1String("application/x-qt-image") ||
                 format.startsWith(QLatin1String("image/")))
            formats.bitmap = true;
    }
    return formats;
}

std::optional<QString> QtPlatform::clipboardText() {
    if (useFetched_)
        return fetched_.text;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr)
        return std::nullopt;
    // One request for one format: QMimeData::text() asks for two in turn,
    // and an owner that does not answer makes each of them wait.
    const QStringList offered = data->formats();
    const QString utf8 = QStringLiteral("text/plain;charset=utf-8");
    const QString plain = QStringLiteral("text/plain");
    const QString format = offered.contains(utf8)    ? utf8
                           : offered.contains(plain) ? plain
                                                     : QString();
    if (format.isEmpty())
        return std::nullopt;
    QElapsedTimer waited;
    waited.start();
    const QByteArray bytes = data->data(format);
    // A request the owner never answered comes back empty after the
    // clipboard's time-out; an empty text comes back at once.
    if (bytes.isEmpty() && waited.elapsed() >= kUnansweredReadMs)
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

QImage QtPlatform::clipboardImage() {
    if (useFetched_) {
        rememberEncoded(fetched_);
        return fetched_.picture;
    }
    return QGuiApplication::clipboard()->image();
}

void QtPlatform::clearClipboard() {
    QGuiApplication::clipboard()->clear();
}

bool QtPlatform::setClipboardText(const QString& text) {
    return claimClipboard([&text](QMimeData* data) { data->setText(text); });
}

void QtPlatform::rememberEncoded(const ClipboardSnapshot& fetched) {
    if (fetched.picture.isNull() || fetched.pictureBytes.isEmpty())
        return;
    const qint64 key = fetched.picture.cacheKey();
    for (const Encoded& known : std::as_const(encoded_))
        if (known.key == key)
            return;
    encoded_.prepend({key, fetched.pictureFormat, fetched.pictureBytes});
    // As many as the history holds, within a bound on memory.
    qint64 total = 0;
    for (qsizetype i = 0; i < encoded_.size(); ++i) {
        total += encoded_[i].bytes.size();
        if (i >= kRememberedPictures || (i > 0 && total > kRememberedBytes)) {
            encoded_.resize(i);
            break;
        }
    }
}

bool QtPlatform::setClipboardImage(const QImage& image) {
    // A picture taken from another program goes back as the very bytes it
    // came in: no encoding, and pasted exactly as it was copied.
    std::optional<Encoded> original;
    for (const Encoded& known : std::as_const(encoded_))
        if (known.key == image.cacheKey())
            original = known;
    QMimeData* offered = nullptr;
    if (!claimClipboard([&](QMimeData* data) {
            data->setImageData(image);
            if (original)
                data->setData(QString::fromLatin1(original->format), original->bytes);
            offered = data;
        }))
        return false;
    if (!original || original->format != "image/png")
        encodeForPasting(offered, image);
    return true;
}

void QtPlatform::encodeForPasting(QMimeData* data, const QImage& image) {
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
            &encodedHere_,
            [this, job, png] {
                // Only for the picture still offered: a newer claim or a
                // content of another program's has replaced it otherwise.
                if (job == encodeJob_ && encodingFor_ != nullptr)
                    encodingFor_->setData(QStringLiteral("image/png"), png);
            },
            Qt::QueuedConnection);
    });
}

bool QtPlatform::claimClipboard(const std::function<void(QMimeData*)>& fill) {
    if (claiming_)
        return false; // a write from inside a claim's event pass: tried again later
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto put = [&] {
        auto* data = new QMimeData;
        fill(data);
        clipboard->setMimeData(data); // the clipboard owns it from here
        return data;
    };
    const QMimeData* ours = put();
    // On X11 the clipboard answers with our own data only while we own it.
    if (QGuiApplication::platformName() != QLatin1String("xcb") || clipboard->mimeData() == ours)
        return true;
    // The claim was stamped with an event time older than the current
    // owner's, so the server ignored it: stamp it anew and claim again.
    claiming_ = true;
    const bool refreshed = refreshX11ServerTime();
    claiming_ = false;
    if (!refreshed)
        return false;
    ours = put();
    return clipboard->mimeData() == ours;
}

Foreground QtPlatform::foregroundWindow(const QWidget* main, const QWidget* history) {
    const QWidget* active = QApplication::activeWindow();
    if (active == nullptr) {
        // Qt reports no active window of ours while another program has the
        // focus; a desktop without any focused window cannot be told apart.
        return Foreground::Other;
    }
    if (active == main)
        return Foreground::Main;
    if (history != nullptr && active == history)
        return Foreground::History;
    return Foreground::Other;
}

void QtPlatform::setTopmost(QWidget* window, bool on) {
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (window->windowHandle() != nullptr) {
        // Changing the flag through the native window updates the window
        // manager's state in place; QWidget::setWindowFlags would hide and
        // re-create the window.
        window->overrideWindowFlags(flags);
        window->windowHandle()->setFlags(flags);
    } else {
        window->setWindowFlags(flags);
    }
    if (!window->isVisible())
        window->show();
}

QPoint QtPlatform::cursorPos() {
    return QCursor::pos();
}

qint64 QtPlatform::tickCount() {
    return clock_.elapsed();
}

bool QtPlatform::askOkCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void QtPlatform::showError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ポモリナ"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

QString QtPlatform::executableDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

} // namespace pomorina
