// The Wayland clipboard source against a real compositor: a headless sway
// (tests/support/in_headless_sway.sh starts it), owners that serve, stay
// silent, die half-way or are replaced, and wl-paste reading what we write
// while another window has the focus.
#include "platform/wayland_clipboard_source.h"
#include "support/noise_picture.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pomorina;
using pomorina::testing::noise;
using namespace Qt::StringLiterals;

namespace {

constexpr int kAnswerTimeoutMs = 1500;

// An owner from the test tool; gone when this goes.
class Owner {
public:
    explicit Owner(const QStringList& args) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(WAYLAND_CLIPBOARD_OWNER), args);
        if (!waitFor("owned"))
            qWarning("the owner did not take the clipboard: %s", output_.constData());
    }
    ~Owner() {
        process_.kill();
        process_.waitForFinished();
    }
    // True once the owner has printed `word`.
    bool waitFor(const char* word) {
        while (!output_.contains(word) && process_.waitForReadyRead(10000))
            output_ += process_.readAllStandardOutput();
        return output_.contains(word);
    }

private:
    QProcess process_;
    QByteArray output_;
};

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

// Uncompressed: not what encoding the picture anew would give.
QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 100);
    return bytes;
}

// The view in sway's tree that has the keyboard focus, or an empty object.
QJsonObject focusedView(const QJsonObject& node) {
    if (node.value(u"focused"_s).toBool())
        return node;
    for (const QString& key : {u"nodes"_s, u"floating_nodes"_s}) {
        for (const QJsonValue& child : node.value(key).toArray()) {
            const QJsonObject found = focusedView(child.toObject());
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

std::unique_ptr<ClipboardSource> createSource() {
    FetchLimits limits;
    limits.answerTimeoutMs = kAnswerTimeoutMs;
    QString whyNot;
    std::unique_ptr<ClipboardSource> source = createWaylandClipboardSource(&whyNot, limits);
    if (!source)
        qWarning("no Wayland clipboard source: %s", qPrintable(whyNot));
    return source;
}

} // namespace

class TestWaylandClipboard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void read_data();
    void read();
    void write_data();
    void write();

private:
    QTemporaryDir dir_;
    QByteArray bigText_;
    QImage small_;
    QImage noisy_;
    QProcess window_; // another program's window, which has the focus
};

void TestWaylandClipboard::initTestCase() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        QSKIP("no Wayland compositor: run through tests/support/in_headless_sway.sh");
    const QByteArray line = QStringLiteral("クリップボード clipboard 0123456789\n").toUtf8();
    while (bigText_.size() < 20 * 1024 * 1024)
        bigText_ += line;
    writeFile(dir_, u"big.txt"_s, bigText_);
    small_ = QImage(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < small_.height(); ++y)
        for (int x = 0; x < small_.width(); ++x)
            small_.setPixel(x, y, qRgb(x * 6, y * 8, 200));
    writeFile(dir_, u"small.png"_s, png(small_));
    noisy_ = noise(3840, 2160);
    writeFile(dir_, u"noisy.png"_s, png(noisy_));
    writeFile(dir_, u"broken.png"_s, QByteArray("\x89PNG\r\n\x1a\nnot a picture"));
}

void TestWaylandClipboard::cleanupTestCase() {
    window_.kill();
    window_.waitForFinished();
}

void TestWaylandClipboard::read_data() {
    QTest::addColumn<QStringList>("owner");
    QTest::addColumn<bool>("offersText");
    QTest::addColumn<bool>("offersPicture");
    QTest::addColumn<QVariant>("text"); // invalid: no text could be had
    QTest::addColumn<QSize>("picture"); // invalid: no picture could be had

    const QString big = dir_.filePath(u"big.txt"_s);
    const QVariant none;
    QTest::newRow("a short text") << QStringList{u"--text"_s, u"日本語"_s} << true << false
                                  << QVariant(u"日本語"_s) << QSize();
    QTest::newRow("20 MiB of text, whole") << QStringList{u"--text-file"_s, big} << true << false
                                           << QVariant(QString::fromUtf8(bigText_)) << QSize();
    QTest::newRow("a PNG picture") << QStringList{u"--png-file"_s, dir_.filePath(u"small.png"_s)}
                                   << false << true << none << QSize(40, 30);
    QTest::newRow("a noisy 3840x2160 picture with text")
        << QStringList{u"--png-file"_s, dir_.filePath(u"noisy.png"_s), u"--text"_s, u"名前"_s}
        << true << true << QVariant(u"名前"_s) << QSize(3840, 2160);
    QTest::newRow("a picture that does not decode")
        << QStringList{u"--data"_s, u"image/png"_s, dir_.filePath(u"broken.png"_s)} << false << true
        << none << QSize();
    QTest::newRow("a source that never sends")
        << QStringList{u"--text"_s, u"x"_s, u"--mode"_s, u"silent"_s} << true << false << none
        << QSize();
    // Its selection goes with it: what remains is an empty clipboard.
    QTest::newRow("a source that dies half-way")
        << QStringList{u"--text-file"_s, big, u"--die-after-bytes"_s, u"1000000"_s} << false
        << false << none << QSize();
    // The owner closes the first transfer before the compositor has announced
    // its second selection: the end of the pipe comes first.
    QTest::newRow("a newer selection supersedes a read under way")
        << QStringList{u"--text-file"_s,    big,        u"--replace-after-bytes"_s, u"1000000"_s,
                       u"--replace-text"_s, u"新しい"_s}
        << true << false << QVariant(u"新しい"_s) << QSize();
}

void TestWaylandClipboard::read() {
    QFETCH(QStringList, owner);
    QFETCH(bool, offersText);
    QFETCH(bool, offersPicture);
    QFETCH(QVariant, text);
    QFETCH(QSize, picture);

    const std::unique_ptr<ClipboardSource> source = createSource();
    QVERIFY(source);
    QTRY_VERIFY(source->changeCount() > 0 && !source->pending()); // what was there before
    const quint64 before = source->changeCount();
    QList<ClipboardSnapshot> delivered;
    connect(source.get(), &ClipboardSource::snapshotArrived, this,
            [&] { delivered.append(source->snapshot()); });

    QElapsedTimer took;
    took.start();
    Owner holder(owner);
    QTRY_VERIFY_WITH_TIMEOUT(source->changeCount() > before && !source->pending(), 30000);
    qInfo("%s: %lld ms to the snapshot", QTest::currentDataTag(), took.elapsed());

    const ClipboardSnapshot& got = source->snapshot();
    QCOMPARE(got.formats.text, offersText);
    QCOMPARE(got.formats.bitmap, offersPicture);
    QCOMPARE(got.text.has_value(), text.isValid());
    if (text.isValid())
        QVERIFY2(*got.text == text.toString(),
                 qPrintable(u"%1 characters read, %2 expected"_s.arg(got.text->size())
                                .arg(text.toString().size())));
    QCOMPARE(got.picture.size(), picture.isValid() ? picture : QSize(0, 0));
    if (picture == noisy_.size())
        QVERIFY(got.picture.convertToFormat(QImage::Format_RGB32) == noisy_);
    // Never content cut short on the way.
    for (const ClipboardSnapshot& each : std::as_const(delivered))
        QVERIFY2(
            !each.text || each.text == text.toString(),
            qPrintable(
                u"change %1 delivered %2 characters"_s.arg(each.change).arg(each.text->size())));
}

void TestWaylandClipboard::write_data() {
    QTest::addColumn<QStringList>("owner"); // whose picture we put back, if given
    QTest::addColumn<QVariant>("written");  // a text or a picture; none: the owner's picture
    QTest::addColumn<QString>("pasteType"); // what wl-paste asks for
    QTest::addColumn<QVariant>("expected"); // the bytes, or the picture they decode to

    QTest::newRow("a text") << QStringList() << QVariant(u"日本語 text"_s) << QString()
                            << QVariant(u"日本語 text"_s.toUtf8());
    QTest::newRow("a picture, as PNG")
        << QStringList() << QVariant(small_) << u"image/png"_s << QVariant(small_);
    QTest::newRow("another program's picture, as the bytes it came in")
        << QStringList{u"--png-file"_s, dir_.filePath(u"small.png"_s)} << QVariant()
        << u"image/png"_s << QVariant(png(small_));
}

void TestWaylandClipboard::write() {
    QFETCH(QStringList, owner);
    QFETCH(QVariant, written);
    QFETCH(QString, pasteType);
    QFETCH(QVariant, expected);

    if (window_.state() == QProcess::NotRunning) {
        window_.start(u"weston-flower"_s, {});
        QVERIFY(window_.waitForStarted());
    }
    // What we write must reach others while another program is in front.
    QTRY_COMPARE(
        [&] {
            QProcess tree;
            tree.start(u"swaymsg"_s, {u"-t"_s, u"get_tree"_s});
            tree.waitForFinished();
            const QJsonObject root = QJsonDocument::fromJson(tree.readAllStandardOutput()).object();
            return focusedView(root).value(u"pid"_s).toInteger();
        }(),
        window_.processId());

    const std::unique_ptr<ClipboardSource> source = createSource();
    QVERIFY(source);
    std::unique_ptr<Owner> holder;
    if (!owner.isEmpty())
        holder = std::make_unique<Owner>(owner);
    // The owner's picture, not the clipboard's content before it.
    QTRY_VERIFY(source->changeCount() > 0 && !source->pending() &&
                (written.isValid() || source->snapshot().pictureReadable()));
    // Another program's picture goes back with the bytes it came in.
    QByteArray originalBytes;
    QByteArray originalFormat;
    if (!written.isValid()) {
        written = source->snapshot().picture;
        originalBytes = source->snapshot().pictureBytes;
        originalFormat = source->snapshot().pictureFormat;
    }

    const quint64 before = source->changeCount();
    if (written.typeId() == QMetaType::QString)
        QVERIFY(source->setText(written.toString()));
    else
        QVERIFY(source->setImage(written.value<QImage>(), originalBytes, originalFormat));
    QCOMPARE(source->changeCount(), before + 1);
    QVERIFY(!source->pending());

    QElapsedTimer took;
    took.start();
    QProcess paste;
    QStringList args{u"--no-newline"_s};
    if (!pasteType.isEmpty())
        args << u"--type"_s << pasteType;
    paste.start(u"wl-paste"_s, args);
    QVERIFY(paste.waitForFinished(10000));
    const QByteArray bytes = paste.readAllStandardOutput();
    qInfo("%s: wl-paste took %lld ms", QTest::currentDataTag(), took.elapsed());
    if (expected.typeId() == QMetaType::QByteArray)
        QCOMPARE(bytes, expected.toByteArray());
    else
        QCOMPARE(QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32),
                 expected.value<QImage>());
    // The compositor's echo of our own selection is not another change.
    QTest::qWait(300);
    QCOMPARE(source->changeCount(), before + 1);
}

QTEST_GUILESS_MAIN(TestWaylandClipboard)
#include "test_wayland_clipboard.moc"
