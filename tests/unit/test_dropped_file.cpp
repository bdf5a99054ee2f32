// What a dropped file yields: its kind by name, the first twenty lines of a
// text file decoded from its bytes with a bounded read, and the picture of a
// picture file, with a message instead of content for anything unusable.
#include "files/dropped_file.h"
#include "support/no_freeze.h"
#include "support/drop_files.h"

#include <QElapsedTimer>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <langinfo.h>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(pomorina::DropKind)

namespace {

constexpr qint64 kMiB = 1024 * 1024;

QByteArray shiftJis(const QString& text) {
    QStringEncoder encoder("Shift_JIS");
    return encoder.encode(text);
}

bool validUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

// A 24-bit bitmap header (file and info header) for a picture of the given
// size, followed by a few bytes of pixels.
QByteArray bitmapHeader(qint32 width, qint32 height) {
    QByteArray bytes;
    const auto put16 = [&bytes](quint16 v) { bytes.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto put32 = [&](quint32 v) {
        put16(quint16(v & 0xFFFF));
        put16(quint16(v >> 16));
    };
    bytes.append("BM");
    put32(54 + 64);
    put32(0);
    put32(54);
    put32(40);
    put32(quint32(width));
    put32(quint32(height));
    put16(1);
    put16(24);
    put32(0);
    put32(0);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    bytes.append(64, '\x7F');
    return bytes;
}

// A JPEG whose frame header claims `width` x `height`.
QByteArray jpegClaiming(quint16 width, quint16 height) {
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::red);
    QByteArray bytes = encoded(small, "jpg");
    for (qsizetype i = 0; i + 8 < bytes.size(); ++i) {
        const auto marker = static_cast<unsigned char>(bytes[i + 1]);
        if (bytes[i] == '\xFF' && (marker == 0xC0 || marker == 0xC2)) {
            bytes[i + 5] = char(height >> 8);
            bytes[i + 6] = char(height & 0xFF);
            bytes[i + 7] = char(width >> 8);
            bytes[i + 8] = char(width & 0xFF);
            return bytes;
        }
    }
    return {};
}

// Pictures with distinct corners, to tell a decoded picture from a mangled one.
QImage corners(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(width - 1, 0, qRgb(0, 255, 0));
    picture.setPixel(0, height - 1, qRgb(0, 0, 255));
    picture.setPixel(width - 1, height - 1, qRgb(0, 0, 0));
    return picture;
}

QString lines(const QStringList& parts) {
    QString text;
    for (const QString& part : parts)
        text += part + u"\r\n"_s;
    return text;
}

} // namespace

class TestDroppedFile : public QObject {
    Q_OBJECT
private slots:
    void kind_data();
    void kind();
    void lineSplitting_data();
    void lineSplitting();
    void decoding_data();
    void decoding();
    void undecodableTextFallsBackToTheLocale_data();
    void undecodableTextFallsBackToTheLocale();
    void boundedRead_data();
    void boundedRead();
    void hugeSparseFileReadsOnlyTheLimit();
    void unusableTextFile_data();
    void unusableTextFile();
    void unreadableTextFile();
    void picture_data();
    void picture();
    void unusablePicture_data();
    void unusablePicture();

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
};

void TestDroppedFile::kind_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<DropKind>("kind");
    QTest::newRow("bmp") << u"/home/u/a.bmp"_s << u".bmp"_s << DropKind::Picture;
    QTest::newRow("upper-case JPG") << u"/home/u/PHOTO.JPG"_s << u".jpg"_s << DropKind::Picture;
    QTest::newRow("jpeg") << u"x.jpeg"_s << u"jpeg"_s << DropKind::Picture;
    QTest::newRow("jpeg without a dot") << u"ajpeg"_s << u"jpeg"_s << DropKind::Picture;
    QTest::newRow("name that is just jpeg") << u"JPEG"_s << u"jpeg"_s << DropKind::Picture;
    QTest::newRow("ico") << u"/tmp/icon.Ico"_s << u".ico"_s << DropKind::Picture;
    QTest::newRow("Japanese name") << u"/tmp/写真.BMP"_s << u".bmp"_s << DropKind::Picture;
    QTest::newRow("upper-case TXT") << u"/tmp/README.TXT"_s << u".txt"_s << DropKind::Text;
    QTest::newRow("mixed-case txt") << u"memo.tXt"_s << u".txt"_s << DropKind::Text;
    QTest::newRow("text is four letters") << u"notes.text"_s << u"text"_s << DropKind::None;
    QTest::newRow("png") << u"shot.png"_s << u".png"_s << DropKind::None;
    QTest::newRow("gif") << u"anim.gif"_s << u".gif"_s << DropKind::None;
    QTest::newRow("jpe") << u"a.jpe"_s << u".jpe"_s << DropKind::None;
    QTest::newRow("trailing blank") << u"a.txt "_s << u"txt "_s << DropKind::None;
    QTest::newRow("trailing slash of a folder") << u"/tmp/a.bmp/"_s << u"bmp/"_s << DropKind::None;
    QTest::newRow("three letters") << u"txt"_s << u"txt"_s << DropKind::None;
    QTest::newRow("three letters bmp") << u"BMP"_s << u"bmp"_s << DropKind::None;
    QTest::newRow("one letter") << u"a"_s << u"a"_s << DropKind::None;
    QTest::newRow("empty") << QString() << QString() << DropKind::None;
}

void TestDroppedFile::kind() {
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(DropKind, kind);
    QCOMPARE(dropExtension(name), ext);
    QCOMPARE(dropKind(dropExtension(name)), kind);
}

void TestDroppedFile::lineSplitting_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR") << QByteArray("a\rb\rc") << lines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\nc\r\n") << lines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("last line without an ending")
        << QByteArray("a\r\nb\r\nc") << lines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("lone LF is no line end") << QByteArray("a\nb\nc") << u"a\nb\nc\r\n"_s;
    QTest::newRow("LF then CR") << QByteArray("a\n\rb") << lines({u"a\n"_s, u"b"_s});
    QTest::newRow("CR CR LF is two endings")
        << QByteArray("a\r\r\nb") << lines({u"a"_s, QString(), u"b"_s});
    QTest::newRow("empty lines kept")
        << QByteArray("\r\n\r\nx\r\n") << lines({QString(), QString(), u"x"_s});
    QTest::newRow("only a line end") << QByteArray("\r\n") << lines({QString()});
    QTest::newRow("trailing CR ends the last line") << QByteArray("a\r") << lines({u"a"_s});
    QTest::newRow("tabs and blanks kept") << QByteArray(" \ta \r\n") << lines({u" \ta "_s});
    QTest::newRow("empty file") << QByteArray() << QString();

    QStringList many;
    QByteArray manyBytes;
    for (int n = 1; n <= 25; ++n) {
        many << u"line %1"_s.arg(n);
        manyBytes += "line " + QByteArray::number(n) + "\r\n";
    }
    QTest::newRow("25 lines give 20") << manyBytes << lines(many.first(20));
    QByteArray twenty;
    for (int n = 1; n <= 20; ++n)
        twenty += "line " + QByteArray::number(n) + "\r\n";
    QTest::newRow("exactly 20 lines") << twenty << lines(many.first(20));
    QTest::newRow("21 lines, last without ending") << twenty + "line 21" << lines(many.first(20));
    QTest::newRow("20 empty lines and more")
        << QByteArray(30, '\r') << QString(u"\r\n"_s).repeated(20);
}

void TestDroppedFile::lineSplitting() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString file = path(u"lines.txt"_s);
    QVERIFY(writeFile(file, bytes));
    const DroppedText dropped = readDroppedText(file);
    QVERIFY2(dropped.text, qPrintable(dropped.error));
    QCOMPARE(*dropped.text, text);
}

void TestDroppedFile::decoding_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QString japanese = u"日本語のテキスト\r\n二行目ｶﾅ①\r\n"_s;
    QTest::newRow("UTF-8") << japanese.toUtf8() << japanese;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + japanese.toUtf8() << japanese;
    QTest::newRow("UTF-8, BOM only") << QByteArray("\xEF\xBB\xBF") << QString();
    QTest::newRow("UTF-16 LE with BOM") << utf16(japanese, QStringConverter::Utf16LE) << japanese;
    QTest::newRow("UTF-16 BE with BOM") << utf16(japanese, QStringConverter::Utf16BE) << japanese;
    QTest::newRow("UTF-16 LE, lines end in CR")
        << utf16(u"a\rb\rc"_s, QStringConverter::Utf16LE) << lines({u"a"_s, u"b"_s, u"c"_s});
    QTest::newRow("Shift_JIS") << shiftJis(japanese) << japanese;
    QTest::newRow("Shift_JIS, last line without ending")
        << shiftJis(u"一行目\r\n二行目"_s) << u"一行目\r\n二行目\r\n"_s;
    // Half-width katakana bytes C3 BD C4 begin like UTF-8 "ý" and a cut
    // character: the whole file is no UTF-8, it is Shift_JIS.
    QTest::newRow("Shift_JIS half-width katakana ending like cut UTF-8")
        << shiftJis(u"ﾃｽﾄ"_s) << u"ﾃｽﾄ\r\n"_s;
    QTest::newRow("Shift_JIS, Windows extensions")
        << shiftJis(u"①②③\r\n㈱"_s) << u"①②③\r\n㈱\r\n"_s;
    QTest::newRow("plain ASCII") << QByteArray("abc") << u"abc\r\n"_s;
}

void TestDroppedFile::decoding() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QVERIFY(!bytes.isEmpty());
    if (QByteArrayView(QTest::currentDataTag()).startsWith("Shift_JIS")) {
        // The bytes really are Shift_JIS, and could not pass for UTF-8.
        QStringDecoder check("Shift_JIS", QStringDecoder::Flag::Stateless);
        QVERIFY(check.isValid());
        const QString decoded = check.decode(bytes);
        QVERIFY(!check.hasError());
        QVERIFY(!validUtf8(bytes));
    }
    const QString file = path(u"decoded.txt"_s);
    QVERIFY(writeFile(file, bytes));
    const DroppedText dropped = readDroppedText(file);
    QVERIFY2(dropped.text, qPrintable(dropped.error));
    QCOMPARE(*dropped.text, text);
}

void TestDroppedFile::undecodableTextFallsBackToTheLocale_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // as a UTF-8 locale reads it
    // 0x81 needs a second byte of 0x40 and up, and 0xFF is in neither.
    QTest::newRow("bad bytes inside") << QByteArray("abc\x81 x\r\nd\xFF"
                                                    "e")
                                      << u"abc\uFFFD x\r\nd\uFFFDe\r\n"_s;
    // Shift_JIS up to a lead byte that the file ends on.
    QTest::newRow("Shift_JIS ending in half a character")
        << shiftJis(u"日本"_s) + "\x82" << u"\uFFFD\uFFFD\uFFFD{\uFFFD\r\n"_s;
}

void TestDroppedFile::undecodableTextFallsBackToTheLocale() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QStringDecoder shiftJisCheck("Shift_JIS", QStringDecoder::Flag::Stateless);
    const QString asShiftJis = shiftJisCheck.decode(bytes);
    QVERIFY(shiftJisCheck.hasError());
    QVERIFY(!validUtf8(bytes));
    if (QByteArray(nl_langinfo(CODESET)) != "UTF-8")
        QSKIP("the expected text is that of a UTF-8 locale");
    const QString file = path(u"neither.txt"_s);
    QVERIFY(writeFile(file, bytes));
    const DroppedText dropped = readDroppedText(file);
    QVERIFY2(dropped.text, qPrintable(dropped.error));
    QCOMPARE(*dropped.text, text);
}

void TestDroppedFile::boundedRead_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const qint64 limit = kDroppedTextReadLimit;
    QCOMPARE(limit, 16 * kMiB);

    QTest::newRow("17 MiB without CR")
        << QByteArray(17 * kMiB, 'x') << QString(16 * kMiB, u'x') + u"\r\n"_s;
    QTest::newRow("exactly 16 MiB, last byte kept")
        << QByteArray(16 * kMiB - 1, 'x') + 'y' << QString(16 * kMiB - 1, u'x') + u"y\r\n"_s;

    // UTF-8 hiragana, one of them cut by the limit. The bytes read happen
    // to be valid Shift_JIS too (as mojibake): the text must still be UTF-8,
    // without the cut character.
    {
        const qint64 whole = limit / 3;
        QVERIFY(limit % 3 != 0); // the limit cuts a character
        const QByteArray bytes = QString(u"あ"_s).repeated(whole + 100).toUtf8();
        QStringDecoder asShiftJis("Shift_JIS", QStringDecoder::Flag::Stateless);
        const QString mojibake = asShiftJis.decode(bytes.first(limit));
        QVERIFY(!asShiftJis.hasError());
        QTest::newRow("UTF-8 character cut at the limit")
            << bytes << QString(u"あ"_s).repeated(whole) + u"\r\n"_s;
    }
    // Shift_JIS: the same with two-byte characters.
    {
        const QByteArray head = shiftJis(u"日本語\r\nx"_s);
        const qint64 whole = (limit - head.size()) / 2;
        QVERIFY((limit - head.size()) % 2 != 0);
        QByteArray bytes = head + shiftJis(QString(u"あ"_s).repeated(whole + 100));
        QTest::newRow("Shift_JIS character cut at the limit")
            << bytes << u"日本語\r\nx"_s + QString(u"あ"_s).repeated(whole) + u"\r\n"_s;
    }
    // The twenty lines come from the start; later lines are never read.
    {
        QByteArray bytes;
        for (int n = 0; n < 20; ++n)
            bytes += "short\r\n";
        bytes += QByteArray(17 * kMiB, 'z');
        QTest::newRow("20 lines, then a long tail")
            << bytes << QString(u"short\r\n"_s).repeated(20);
    }
}

void TestDroppedFile::boundedRead() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString file = path(u"big.txt"_s);
    QVERIFY(writeFile(file, bytes));
    const DroppedText dropped = readDroppedText(file);
    QVERIFY2(dropped.text, qPrintable(dropped.error));
    QCOMPARE(dropped.text->size(), text.size());
    QVERIFY(*dropped.text == text);
    QVERIFY(dropped.text->size() <= kDroppedTextReadLimit + 2);
    QFile::remove(file);
}

void TestDroppedFile::hugeSparseFileReadsOnlyTheLimit() {
    // 2 GiB whose first 16 MiB are one line without CR; the rest is a hole
    // that, if read, would also count as binary data.
    const QString file = path(u"huge.txt"_s);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(QByteArray(16 * kMiB, 'q')), 16 * kMiB);
        if (!out.resize(2048 * kMiB))
            QSKIP("no 2 GiB sparse file here");
    }
    QElapsedTimer clock;
    clock.start();
    const DroppedText dropped = readDroppedText(file);
    const qint64 ms = clock.elapsed();
    QFile::remove(file);
    QVERIFY2(dropped.text, qPrintable(dropped.error));
    QCOMPARE(dropped.text->size(), 16 * kMiB + 2);
    QVERIFY(dropped.text->endsWith(u"qq\r\n"_s));
    QVERIFY2(ms < kNoFreezeMs, qPrintable(u"took %1 ms"_s.arg(ms)));
}

void TestDroppedFile::unusableTextFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("what"); // 0 file with bytes, 1 folder, 2 missing, 3 FIFO, 4 device
    QTest::addColumn<QByteArray>("bytes");
    QImage picture(9, 9, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QTest::newRow("bitmap named .txt") << u"picture.txt"_s << 0 << encoded(picture, "bmp");
    QTest::newRow("PNG named .txt") << u"picture2.txt"_s << 0 << encoded(picture, "png");
    QTest::newRow("text with a NUL") << u"nul.txt"_s << 0 << QByteArray("abc\0def\r\n", 9);
    QTest::newRow("NUL after 20 lines within the read")
        << u"late-nul.txt"_s << 0 << QByteArray("a\r\n").repeated(30) + QByteArray(1, '\0');
    QTest::newRow("folder") << u"folder.txt"_s << 1 << QByteArray();
    QTest::newRow("missing") << u"missing.txt"_s << 2 << QByteArray();
    QTest::newRow("named pipe without a writer") << u"pipe.txt"_s << 3 << QByteArray();
    QTest::newRow("link to /dev/zero") << u"zero.txt"_s << 4 << QByteArray();
}

void TestDroppedFile::unusableTextFile() {
    QFETCH(QString, name);
    QFETCH(int, what);
    QFETCH(QByteArray, bytes);
    const QString file = path(name);
    if (what == FileWithBytes)
        QVERIFY(!bytes.isEmpty());
    QVERIFY(makeEntry(dir_.path(), name, what, bytes));
    QElapsedTimer clock;
    clock.start();
    const DroppedText dropped = readDroppedText(file);
    QVERIFY(clock.elapsed() < kNoFreezeMs);
    QVERIFY(!dropped.text);
    QVERIFY(!dropped.error.isEmpty());
    QVERIFY2(dropped.error.contains(file), qPrintable(dropped.error));
}

void TestDroppedFile::unreadableTextFile() {
    const QString file = path(u"secret.txt"_s);
    QVERIFY(writeFile(file, "hidden\r\n"));
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
    QFile probe(file);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("this user reads files whatever their permissions (root)");
    const DroppedText dropped = readDroppedText(file);
    QVERIFY(!dropped.text);
    QVERIFY(dropped.error.contains(file));
}

void TestDroppedFile::picture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("exact"); // lossless: every pixel comes back
    QTest::newRow("bmp") << u"p.bmp"_s << QByteArray("bmp") << true;
    QTest::newRow("JPG") << u"P.JPG"_s << QByteArray("jpg") << false;
    QTest::newRow("jpeg") << u"p.jpeg"_s << QByteArray("jpeg") << false;
    QTest::newRow("ico") << u"p.ico"_s << QByteArray("ico") << true;
}

void TestDroppedFile::picture() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, exact);
    const QImage source = corners(31, 17);
    const QByteArray bytes = encoded(source, format.constData());
    QVERIFY(!bytes.isEmpty());
    const QString file = path(name);
    QVERIFY(writeFile(file, bytes));
    const DroppedPicture dropped = readDroppedPicture(file);
    QVERIFY2(!dropped.picture.isNull(), qPrintable(dropped.error));
    QCOMPARE(dropped.picture.size(), source.size());
    const QImage got = dropped.picture.convertToFormat(QImage::Format_RGB32);
    if (exact) {
        QCOMPARE(got, source);
    } else {
        // JPEG is lossy: the white middle stays close to white.
        const QColor middle = got.pixelColor(15, 8);
        QVERIFY(middle.red() > 230 && middle.green() > 230 && middle.blue() > 230);
    }
}

void TestDroppedFile::unusablePicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("what"); // 0 file with bytes, 1 folder, 2 missing, 3 FIFO, 4 device
    QTest::addColumn<QByteArray>("bytes");
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const QByteArray jpeg = encoded(picture, "jpg");
    QTest::newRow("random bytes named .jpg")
        << u"junk.jpg"_s << 0 << QByteArray("this is not a picture at all\r\n").repeated(20);
    QTest::newRow("JPEG cut after its header") << u"cut.jpg"_s << 0 << jpeg.first(40);
    QTest::newRow("empty file") << u"empty.bmp"_s << 0 << QByteArray();
    QTest::newRow("bitmap of 0 x 0") << u"zero.bmp"_s << 0 << bitmapHeader(0, 0);
    QTest::newRow("bitmap claiming 100000 x 100000")
        << u"huge.bmp"_s << 0 << bitmapHeader(100000, 100000);
    const QByteArray hugeJpeg = jpegClaiming(65000, 65000);
    QVERIFY(!hugeJpeg.isEmpty()); // the frame header was found and changed
    QTest::newRow("JPEG claiming 65000 x 65000") << u"huge.jpg"_s << 0 << hugeJpeg;
    QTest::newRow("text named .ico") << u"text.ico"_s << 0 << QByteArray("hello\r\n");
    QTest::newRow("folder") << u"folder.bmp"_s << 1 << QByteArray();
    QTest::newRow("missing") << u"missing.jpeg"_s << 2 << QByteArray();
    QTest::newRow("named pipe without a writer") << u"pipe.bmp"_s << 3 << QByteArray();
    QTest::newRow("link to /dev/zero") << u"zero-dev.jpg"_s << 4 << QByteArray();
}

void TestDroppedFile::unusablePicture() {
    QFETCH(QString, name);
    QFETCH(int, what);
    QFETCH(QByteArray, bytes);
    const QString file = path(name);
    QVERIFY(makeEntry(dir_.path(), name, what, bytes));
    QElapsedTimer clock;
    clock.start();
    const DroppedPicture dropped = readDroppedPicture(file);
    const qint64 ms = clock.elapsed();
    QVERIFY(dropped.picture.isNull());
    QVERIFY2(dropped.error.contains(file), qPrintable(dropped.error));
    QVERIFY2(ms < kNoFreezeMs, qPrintable(u"took %1 ms"_s.arg(ms)));
}

QTEST_GUILESS_MAIN(TestDroppedFile)
#include "test_dropped_file.moc"
