// The background clipboard reader against a real X server (Xvfb, started
// here) and owners that answer, refuse, never answer or die half-way.
#include "platform/clipboard_fetcher.h"
#include "support/noise_picture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
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
    Owner(const QByteArray& display, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLatin1(display));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(X11_CLIPBOARD_OWNER), args);
        owned_ = says("owned");
        if (!owned_)
            qWarning("the owner did not take the clipboard: %s", output_.constData());
    }
    ~Owner() {
        process_.kill();
        process_.waitForFinished();
    }
    bool owned() const { return owned_; }
    // Whether the owner has printed `word`, waiting for it as long as the
    // owner keeps printing something at least every 10 s.
    bool says(const QByteArray& word) {
        while (!output_.contains(word) && process_.waitForReadyRead(10000))
            output_ += process_.readAll();
        return output_.contains(word);
    }

private:
    QProcess process_;
    QByteArray output_;
    bool owned_ = false;
};

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

QString writePng(const QTemporaryDir& dir, const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG", 100))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class TestClipboardFetch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fetch_data();
    void fetch();
    void newCopyIsNotHeldUpBySilentOwner();
    void lateAnswerIsNotTakenForNewerContent();

private:
    QProcess server_;
    QByteArray display_;
    QTemporaryDir dir_;
    QByteArray bigText_;
    QImage noisy_;
};

void TestClipboardFetch::initTestCase() {
    // -displayfd 1: the server picks a free display and prints its number.
    // -noreset: between rows no client is left, and a server that resets
    // then turns the next one away.
    server_.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"640x480x24"_s,
                              u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
    QByteArray number;
    while (!number.contains('\n') && server_.waitForReadyRead(10000))
        number += server_.readAllStandardOutput();
    if (!number.contains('\n'))
        QSKIP("Xvfb could not be started");
    display_ = ':' + number.trimmed();

    // 20 MiB of mixed-script text, well past one property: incremental.
    const QByteArray line = QStringLiteral("クリップボード clipboard 0123456789\n").toUtf8();
    while (bigText_.size() < 20 * 1024 * 1024)
        bigText_ += line;
    writeFile(dir_, u"big.txt"_s, bigText_);
    writeFile(dir_, u"hostile.txt"_s, QByteArray("a\0b\xff\xfe\xc3(c", 8));
    writePng(dir_, u"one.png"_s, QImage(1, 1, QImage::Format_RGB32));
    QImage tall(1, 10000, QImage::Format_RGB32);
    tall.fill(Qt::red);
    writePng(dir_, u"tall.png"_s, tall);
    noisy_ = noise(3840, 2160);
    writePng(dir_, u"noisy.png"_s, noisy_);
    writeFile(dir_, u"broken.png"_s, QByteArray("\x89PNG\r\n\x1a\nnot a picture"));
}

void TestClipboardFetch::cleanupTestCase() {
    server_.terminate();
    server_.waitForFinished();
}

void TestClipboardFetch::fetch_data() {
    QTest::addColumn<QStringList>("owner"); // empty: no owner at all
    QTest::addColumn<bool>("offersText");
    QTest::addColumn<bool>("offersPicture");
    QTest::addColumn<QVariant>("text"); // invalid: no text could be had
    QTest::addColumn<QSize>("picture"); // invalid: no picture could be had

    const QString big = dir_.filePath(u"big.txt"_s);
    const QVariant none;
    QTest::newRow("nobody owns the clipboard")
        << QStringList() << false << false << none << QSize();
    QTest::newRow("a short text") << QStringList{u"--mode"_s, u"serve"_s, u"--text"_s, u"日本語"_s}
                                  << true << false << QVariant(u"日本語"_s) << QSize();
    QTest::newRow("an empty text is a text")
        << QStringList{u"--mode"_s, u"serve"_s, u"--text"_s, QString()} << true << false
        << QVariant(QString()) << QSize();
    QTest::newRow("20 MiB in pieces")
        << QStringList{u"--mode"_s, u"serve"_s, u"--text-file"_s, big} << true << false
        << QVariant(QString::fromUtf8(bigText_)) << QSize();
    QTest::newRow("NUL and bytes that are not UTF-8")
        << QStringList{u"--mode"_s, u"serve"_s, u"--text-file"_s, dir_.filePath(u"hostile.txt"_s)}
        << true << false << QVariant(QStringView(u"a\u0000b\uFFFD\uFFFD\uFFFD(c", 8).toString())
        << QSize();
    QTest::newRow("a 1x1 picture")
        << QStringList{u"--mode"_s, u"serve"_s, u"--png-file"_s, dir_.filePath(u"one.png"_s)}
        << false << true << none << QSize(1, 1);
    QTest::newRow("a 1x10000 picture")
        << QStringList{u"--mode"_s, u"serve"_s, u"--png-file"_s, dir_.filePath(u"tall.png"_s)}
        << false << true << none << QSize(1, 10000);
    QTest::newRow("a noisy 3840x2160 picture in pieces, with text")
        << QStringList{u"--mode"_s, u"serve"_s, u"--png-file"_s, dir_.filePath(u"noisy.png"_s),
                       u"--text"_s, u"名前"_s,  u"--chunk"_s,    u"65536"_s}
        << true << true << QVariant(u"名前"_s) << QSize(3840, 2160);
    QTest::newRow("a picture that does not decode")
        << QStringList{u"--mode"_s, u"serve"_s, u"--png-file"_s, dir_.filePath(u"broken.png"_s)}
        << false << true << none << QSize();
    QTest::newRow("an owner that never answers")
        << QStringList{u"--mode"_s, u"silent"_s} << false << false << none << QSize();
    QTest::newRow("formats listed, data never sent")
        << QStringList{u"--mode"_s, u"targets-only"_s} << true << false << none << QSize();
    QTest::newRow("formats listed, data refused")
        << QStringList{u"--mode"_s, u"refuse"_s} << true << false << none << QSize();
    QTest::newRow("owner dies half-way through")
        << QStringList{u"--mode"_s,  u"serve"_s, u"--text-file"_s,        big,
                       u"--chunk"_s, u"65536"_s, u"--die-after-chunks"_s, u"3"_s}
        << true << false << none << QSize();
}

void TestClipboardFetch::fetch() {
    QFETCH(QStringList, owner);
    QFETCH(bool, offersText);
    QFETCH(bool, offersPicture);
    QFETCH(QVariant, text);
    QFETCH(QSize, picture);

    std::unique_ptr<Owner> holder;
    if (!owner.isEmpty()) {
        holder = std::make_unique<Owner>(display_, owner);
        QVERIFY(holder->owned());
    }
    FetchLimits limits;
    limits.answerTimeoutMs = kAnswerTimeoutMs;
    const std::unique_ptr<ClipboardFetcher> fetcher = createX11ClipboardFetcher(display_, limits);
    QVERIFY(fetcher);
    fetcher->request(1);
    // Every read ends, whatever the owner does: at worst a time-out per step.
    const std::optional<ClipboardSnapshot> got = fetcher->result(1, 60000);
    QVERIFY(got);
    QCOMPARE(got->formats.text, offersText);
    QCOMPARE(got->formats.bitmap, offersPicture);
    QCOMPARE(got->formats.any, offersText || offersPicture);
    QCOMPARE(got->text.has_value(), text.isValid());
    if (text.isValid())
        QVERIFY2(*got->text == text.toString(),
                 qPrintable(u"%1 characters read, %2 expected"_s.arg(got->text->size())
                                .arg(text.toString().size())));
    QCOMPARE(got->picture.size(), picture.isValid() ? picture : QSize(0, 0));
    if (picture == noisy_.size())
        QVERIFY(got->picture.convertToFormat(QImage::Format_RGB32) == noisy_);
    // A result belongs to its change only.
    QVERIFY(!fetcher->result(2, 0));
}

void TestClipboardFetch::newCopyIsNotHeldUpBySilentOwner() {
    const std::unique_ptr<ClipboardFetcher> fetcher = createX11ClipboardFetcher(display_);
    QVERIFY(fetcher);
    auto silent = std::make_unique<Owner>(display_, QStringList{u"--mode"_s, u"silent"_s});
    QVERIFY(silent->owned());
    fetcher->request(1);
    QTest::qWait(100);
    Owner fresh(display_, {u"--mode"_s, u"serve"_s, u"--text"_s, u"新しい"_s});
    QVERIFY(fresh.owned());
    QElapsedTimer waited;
    waited.start();
    fetcher->request(2);
    const std::optional<ClipboardSnapshot> got = fetcher->result(2, 10000);
    QVERIFY(got);
    QCOMPARE(got->text.value_or(QString()), u"新しい"_s);
    // The silent owner's read is given up, not waited out (5 s).
    QVERIFY2(waited.elapsed() < 2500, qPrintable(QString::number(waited.elapsed())));
}

void TestClipboardFetch::lateAnswerIsNotTakenForNewerContent() {
    const std::unique_ptr<ClipboardFetcher> fetcher = createX11ClipboardFetcher(display_);
    QVERIFY(fetcher);
    // The first owner answers its text 1 s late, after the reader has given
    // it up for the second owner's, and before the second owner answers.
    Owner stale(display_, {u"--mode"_s, u"serve"_s, u"--text"_s, u"stale"_s, u"--answer-delay-ms"_s,
                           u"1000"_s});
    QVERIFY(stale.owned());
    fetcher->request(1);
    QVERIFY(stale.says("held"));
    Owner fresh(display_, {u"--mode"_s, u"serve"_s, u"--text"_s, u"fresh"_s, u"--answer-delay-ms"_s,
                           u"1600"_s});
    QVERIFY(fresh.owned());
    fetcher->request(2);
    const std::optional<ClipboardSnapshot> got = fetcher->result(2, 20000);
    QVERIFY(got);
    QCOMPARE(got->text.value_or(QString()), u"fresh"_s);
}

QTEST_GUILESS_MAIN(TestClipboardFetch)
#include "test_clipboard_fetch.moc"
