// "画像を保存" end to end on the scripted platform: the confirmation, the
// saved Image.bmp at each resolution with the picture fitted and enlarged on
// the back colour, the bitmap file's layout byte by byte, and every way out,
// including saves that fail and must leave the previous file as it was.
#include "files/image_save.h"
#include "support/form1_views.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QtEndian>

#include <functional>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr QRgb kYellow = 0xFFFFFF00;

// The scripted platform, watched: what `busy` was whenever a box came up,
// and something to do while the confirmation box is open.
class WatchedPlatform final : public Platform {
public:
    FakePlatform fake;
    Form1* form = nullptr;
    QList<int> busyWhenAsked;
    QList<int> busyWhenWarned;
    std::function<void()> whileAsking;

    ClipboardSource& clipboardSource() override { return fake.clipboardSource(); }
    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override {
        return fake.foregroundWindow(main, history);
    }
    void setTopmost(QWidget* window, bool on) override { fake.setTopmost(window, on); }
    std::optional<QPoint> cursorPos() override { return fake.cursorPos(); }
    bool pointerOver(const QWidget* w) override { return fake.pointerOver(w); }
    bool knowsWindowPositions() override { return fake.knowsWindowPositions(); }
    void watchForeground(QObject* c, std::function<void()> f) override {
        fake.watchForeground(c, std::move(f));
    }
    bool watchPointerCrossings(QWidget* w, std::function<void()> f) override {
        return fake.watchPointerCrossings(w, std::move(f));
    }
    qint64 tickCount() override { return fake.tickCount(); }
    bool askOkCancel(QWidget* parent, const QString& text) override {
        busyWhenAsked << (form ? form->poll().busy() : -1);
        if (whileAsking)
            whileAsking();
        return fake.askOkCancel(parent, text);
    }
    void showError(QWidget* parent, const QString& text) override {
        busyWhenWarned << (form ? form->poll().busy() : -1);
        fake.showError(parent, text);
    }
    QString executableDir() override { return fake.executableDir(); }
};

// A started main window on the watched platform, its timers stopped.
struct SaveDesk {
    QTemporaryDir dir;
    WatchedPlatform platform;
    std::unique_ptr<Form1> form;
    bool loaded = false;

    explicit SaveDesk(const QList<QByteArray>& settings = defaultSettings()) {
        platform.fake.folder = dir.path();
        QFile file(settingsPath(dir.path()));
        if (file.open(QIODevice::WriteOnly)) {
            for (const QByteArray& line : settings)
                file.write(line + "\r\n");
        }
        file.close();
        form = std::make_unique<Form1>(platform);
        platform.form = form.get();
        loaded = !form->Form_Load();
        form->holdTimers();
    }

    FakePlatform& fake() { return platform.fake; }
    QString imagePath() const { return dir.filePath(u"Image.bmp"_s); }

    // Another program copies a picture, and a poll takes it up.
    void showPicture(const QImage& picture) {
        fake().setClipboard({{}, picture, false});
        form->Timer1_Timer();
    }
    // "画像を保存", answered with OK or Cancel.
    void save(bool ok) {
        fake().okCancelAnswers = {ok};
        form->gsave_Click();
    }
};

// A picture of four coloured quarters: red, green / blue, yellow (a single
// pixel is all yellow).
QImage quarters(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool lower = y >= height / 2;
            picture.setPixel(x, y, lower ? (right ? kYellow : kBlue) : (right ? kGreen : kRed));
        }
    }
    return picture;
}

QRgb opaque(QRgb colour) {
    return colour | 0xFF000000;
}

// Empty when `saved` shows `back` outside `drawn` and, inside it, the four
// quarters of a picture scaled to `drawn` (exactly `source` when unscaled);
// otherwise names the first pixel that is wrong.
QString savedMismatch(const QImage& saved, const QRect& drawn, QRgb back, const QImage& source) {
    const bool unscaled = drawn.size() == source.size();
    for (int y = 0; y < saved.height(); ++y) {
        for (int x = 0; x < saved.width(); ++x) {
            const QRgb got = opaque(saved.pixel(x, y));
            QString wrong;
            if (!drawn.contains(x, y)) {
                if (got != opaque(back))
                    wrong = u"back colour"_s;
            } else if (unscaled) {
                if (got != opaque(source.pixel(x - drawn.left(), y - drawn.top())))
                    wrong = u"the picture's pixel"_s;
            } else if (got == opaque(back)) {
                wrong = u"part of the picture"_s;
            }
            if (!wrong.isEmpty())
                return u"pixel (%1, %2) is #%3, expected %4"_s.arg(x)
                    .arg(y)
                    .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(wrong);
        }
    }
    // The middles of the quarters, well away from where colours blend.
    const QPointF probes[] = {{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}};
    for (const QPointF& probe : probes) {
        const int x = drawn.left() + int(drawn.width() * probe.x());
        const int y = drawn.top() + int(drawn.height() * probe.y());
        const QRgb want =
            opaque(source.pixel(int(source.width() * probe.x()), int(source.height() * probe.y())));
        if (opaque(saved.pixel(x, y)) != want)
            return u"quarter at (%1, %2) is #%3"_s.arg(x).arg(y).arg(saved.pixel(x, y) & 0xFFFFFF,
                                                                     6, 16, QLatin1Char('0'));
    }
    return {};
}

bool makeImmutable(const QString& dir, bool on) {
    return QProcess::execute(u"chattr"_s, {on ? u"+i"_s : u"-i"_s, dir}) == 0;
}

quint32 le32(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}
quint16 le16(const QByteArray& bytes, int at) {
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

} // namespace

class TestImageSave : public QObject {
    Q_OBJECT
private slots:
    void fitOnSave_data();
    void fitOnSave();
    void bitmapLayout_data();
    void bitmapLayout();
    void writeBitmapReportsFailure();
    void confirmation_data();
    void confirmation();
    void textShownSavesNothing();
    void noPictureHeld();
    void pollWhileAskingKeepsThePicture();
    void secondSaveOverwrites();
    void sizeThatNamesNoResolution_data();
    void sizeThatNamesNoResolution();
    void failedSaveKeepsPreviousFile_data();
    void failedSaveKeepsPreviousFile();
};

void TestImageSave::fitOnSave_data() {
    QTest::addColumn<int>("saveSize");
    QTest::addColumn<int>("back"); // bk menu: 0 white, 1 black
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("file");
    QTest::addColumn<QRect>("drawn");
    QTest::newRow("640*480, 320x200 enlarged, white strips")
        << 0 << 0 << QSize(320, 200) << QSize(640, 480) << QRect(0, 40, 640, 400);
    QTest::newRow("640*480, 320x200 enlarged, black strips")
        << 0 << 1 << QSize(320, 200) << QSize(640, 480) << QRect(0, 40, 640, 400);
    QTest::newRow("640*480, 700x600 shrunk to the height")
        << 0 << 1 << QSize(700, 600) << QSize(640, 480) << QRect(40, 0, 560, 480);
    QTest::newRow("640*480, 100x400 enlarged to the height")
        << 0 << 0 << QSize(100, 400) << QSize(640, 480) << QRect(260, 0, 120, 480);
    QTest::newRow("640*480, 1x1 enlarged")
        << 0 << 1 << QSize(1, 1) << QSize(640, 480) << QRect(80, 0, 480, 480);
    QTest::newRow("640*480, full width but lower: unscaled")
        << 0 << 0 << QSize(640, 100) << QSize(640, 480) << QRect(0, 190, 640, 100);
    QTest::newRow("1024*768, 2000x1000 shrunk")
        << 1 << 0 << QSize(2000, 1000) << QSize(1024, 768) << QRect(0, 128, 1024, 512);
    QTest::newRow("1024*768, 1024x500 not enlarged")
        << 1 << 1 << QSize(1024, 500) << QSize(1024, 768) << QRect(0, 134, 1024, 500);
    QTest::newRow("1280*1024, same size: unscaled")
        << 2 << 0 << QSize(1280, 1024) << QSize(1280, 1024) << QRect(0, 0, 1280, 1024);
    QTest::newRow("1600*1200, 700x600 enlarged")
        << 3 << 1 << QSize(700, 600) << QSize(1600, 1200) << QRect(100, 0, 1400, 1200);
    QTest::newRow("1600*1200, 3840x2160 shrunk")
        << 3 << 0 << QSize(3840, 2160) << QSize(1600, 1200) << QRect(0, 150, 1600, 900);
}

void TestImageSave::fitOnSave() {
    QFETCH(int, saveSize);
    QFETCH(int, back);
    QFETCH(QSize, picture);
    QFETCH(QSize, file);
    QFETCH(QRect, drawn);
    SaveDesk desk;
    QVERIFY(desk.loaded);
    Form1& form = *desk.form;
    form.scrsav_Click(saveSize);
    form.bk_Click(back);
    const QImage source = quarters(picture.width(), picture.height());
    desk.showPicture(source);
    QCOMPARE(form.pane().Picture2()->picture(), source);

    desk.save(true);
    QCOMPARE(desk.fake().questionsAsked, QStringList{u"セーブします"_s});
    QCOMPARE(desk.fake().errorsShown, QStringList());
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(form.files().saveWidth(), file.width());
    QCOMPARE(form.files().saveHeight(), file.height());

    const QImage saved(desk.imagePath(), "BMP");
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.size(), file);
    const QRgb backColour = back == 0 ? kWhite : kBlack;
    const QString mismatch = savedMismatch(saved, drawn, backColour, source);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    // The canvas is blank again for the next save.
    const QImage& canvas = form.files().Picture3()->canvas();
    QCOMPARE(canvas.size(), file);
    QVERIFY(canvas.pixel(drawn.center()) == opaque(backColour));
    // Nothing but the settings and the picture in the folder.
    QCOMPARE(QDir(desk.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestImageSave::bitmapLayout_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("rowBytes");
    QTest::newRow("1x1, 3 bytes padded to 4") << 1 << 1 << 4;
    QTest::newRow("2x3, 6 bytes padded to 8") << 2 << 3 << 8;
    QTest::newRow("3x2, 9 bytes padded to 12") << 3 << 2 << 12;
    QTest::newRow("4x2, 12 bytes, no padding") << 4 << 2 << 12;
    QTest::newRow("5x3, 15 bytes padded to 16") << 5 << 3 << 16;
    QTest::newRow("641x481") << 641 << 481 << 1924;
}

void TestImageSave::bitmapLayout() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, rowBytes);
    // Every pixel its own colour, from its position.
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 13) & 0xFF, (x + y * 3) & 0xFF));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Image.bmp"_s);
    const std::optional<QString> error = writeBitmap(picture, path);
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
    const QByteArray bytes = fileBytes(path);
    const int fileSize = 54 + rowBytes * height;
    QCOMPARE(bytes.size(), fileSize);
    QCOMPARE(bytes.left(2), QByteArray("BM"));
    QCOMPARE(le32(bytes, 2), quint32(fileSize));
    QCOMPARE(le32(bytes, 6), 0u); // reserved
    QCOMPARE(le32(bytes, 10), 54u);
    QCOMPARE(le32(bytes, 14), 40u);
    QCOMPARE(qint32(le32(bytes, 18)), width);
    QCOMPARE(qint32(le32(bytes, 22)), height); // positive: bottom row first
    QCOMPARE(le16(bytes, 26), quint16(1));
    QCOMPARE(le16(bytes, 28), quint16(24));
    QCOMPARE(le32(bytes, 30), 0u); // no compression
    const quint32 imageSize = le32(bytes, 34);
    QVERIFY(imageSize == 0 || imageSize == quint32(rowBytes * height));
    QCOMPARE(le32(bytes, 46), 0u); // no palette
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        const int at = 54 + row * rowBytes;
        for (int x = 0; x < width; ++x) {
            const QRgb want = picture.pixel(x, y);
            const auto b = static_cast<unsigned char>(bytes[at + 3 * x]);
            const auto g = static_cast<unsigned char>(bytes[at + 3 * x + 1]);
            const auto r = static_cast<unsigned char>(bytes[at + 3 * x + 2]);
            if (qRgb(r, g, b) != want)
                QFAIL(qPrintable(
                    u"pixel (%1, %2) stored as %3 %4 %5"_s.arg(x).arg(y).arg(r).arg(g).arg(b)));
        }
        for (int pad = 3 * width; pad < rowBytes; ++pad)
            QCOMPARE(bytes[at + pad], '\0');
    }
}

void TestImageSave::writeBitmapReportsFailure() {
    QTemporaryDir dir;
    const QImage picture = filled(4, 4, kRed);
    // No such folder.
    const QString nowhere = dir.filePath(u"missing/Image.bmp"_s);
    const std::optional<QString> missing = writeBitmap(picture, nowhere);
    QVERIFY(missing);
    QVERIFY2(missing->contains(nowhere), qPrintable(*missing));
    QVERIFY(!QFile::exists(nowhere));
    // The name is taken by a folder.
    QVERIFY(QDir(dir.path()).mkdir(u"Image.bmp"_s));
    QVERIFY(writeBitmap(picture, dir.filePath(u"Image.bmp"_s)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestImageSave::confirmation_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK saves") << true;
    QTest::newRow("Cancel (or the box closed) saves nothing") << false;
}

void TestImageSave::confirmation() {
    QFETCH(bool, ok);
    SaveDesk desk;
    QVERIFY(desk.loaded);
    desk.showPicture(filled(64, 48, kRed));
    const QImage held = desk.form->pane().Picture2()->picture();
    desk.save(ok);
    QCOMPARE(desk.fake().questionsAsked, QStringList{u"セーブします"_s});
    QCOMPARE(desk.platform.busyWhenAsked, QList<int>{1});
    QCOMPARE(desk.form->poll().busy(), 0);
    QCOMPARE(desk.fake().errorsShown, QStringList());
    QCOMPARE(QFile::exists(desk.imagePath()), ok);
    QCOMPARE(desk.form->pane().Picture2()->picture(), held);

    // Polling goes on afterwards.
    const QImage next = filled(30, 20, kBlue);
    desk.showPicture(next);
    QCOMPARE(desk.form->pane().Picture2()->picture(), next);
    QCOMPARE(desk.form->history().store().picture(0), next);
}

void TestImageSave::textShownSavesNothing() {
    SaveDesk desk;
    QVERIFY(desk.loaded);
    desk.showPicture(filled(64, 48, kRed));
    desk.fake().foreground = Foreground::Other;
    desk.fake().setClipboard({u"some text"_s, {}, false});
    desk.form->Timer1_Timer();
    QVERIFY(!desk.form->pane().Text1()->isHidden());
    QVERIFY(!desk.form->pane().Picture2()->picture().isNull()); // a picture is still held

    desk.save(true);
    QCOMPARE(desk.fake().questionsAsked, QStringList());
    QCOMPARE(desk.fake().errorsShown, QStringList());
    QCOMPARE(desk.form->poll().busy(), 0);
    QVERIFY(!QFile::exists(desk.imagePath()));
}

void TestImageSave::noPictureHeld() {
    // Nothing copied yet: the preview is shown, but there is no picture.
    SaveDesk desk;
    QVERIFY(desk.loaded);
    QVERIFY(desk.form->pane().Text1()->isHidden());
    QVERIFY(desk.form->pane().Picture2()->picture().isNull());
    desk.save(true);
    QCOMPARE(desk.fake().questionsAsked, QStringList());
    QCOMPARE(desk.fake().errorsShown.size(), 1);
    QCOMPARE(desk.platform.busyWhenWarned, QList<int>{1});
    QCOMPARE(desk.form->poll().busy(), 0);
    QVERIFY(!QFile::exists(desk.imagePath()));
    QCOMPARE(QDir(desk.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestImageSave::pollWhileAskingKeepsThePicture() {
    // A poll tick that arrives while the box is open must not replace the
    // picture about to be saved.
    SaveDesk desk;
    QVERIFY(desk.loaded);
    const QImage red = filled(320, 240, kRed);
    desk.showPicture(red);
    const QImage blue = filled(320, 240, kBlue);
    desk.platform.whileAsking = [&desk, blue] {
        desk.fake().setClipboard({{}, blue, false});
        desk.form->Timer1_Timer();
    };
    desk.save(true);
    QCOMPARE(desk.platform.busyWhenAsked, QList<int>{1});
    QCOMPARE(desk.form->pane().Picture2()->picture(), red);
    const QImage saved(desk.imagePath(), "BMP");
    QCOMPARE(saved.size(), QSize(640, 480));
    QCOMPARE(opaque(saved.pixel(320, 240)), kRed);

    // Afterwards the next tick takes the new picture up.
    desk.form->Timer1_Timer();
    QCOMPARE(desk.form->pane().Picture2()->picture(), blue);
}

void TestImageSave::secondSaveOverwrites() {
    SaveDesk desk;
    QVERIFY(desk.loaded);
    Form1& form = *desk.form;
    // A picture that fills the middle of the 640*480 image...
    desk.showPicture(quarters(700, 600));
    desk.save(true);
    const QByteArray first = fileBytes(desk.imagePath());
    QVERIFY(!first.isEmpty());
    // ...then one that leaves strips above and below: the strips are blank,
    // nothing of the first picture shows through.
    const QImage wide = quarters(320, 200);
    desk.showPicture(wide);
    desk.save(true);
    QCOMPARE(desk.fake().questionsAsked.size(), 2);
    const QImage second(desk.imagePath(), "BMP");
    QCOMPARE(second.size(), QSize(640, 480));
    const QString mismatch = savedMismatch(second, QRect(0, 40, 640, 400), kWhite, wide);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // And at another resolution the file takes the new size.
    form.scrsav_Click(1);
    desk.save(true);
    QCOMPARE(QImage(desk.imagePath(), "BMP").size(), QSize(1024, 768));
    QCOMPARE(desk.fake().errorsShown, QStringList());
    QCOMPARE(QDir(desk.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestImageSave::sizeThatNamesNoResolution_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("savedBefore");
    QTest::addColumn<QSize>("file"); // empty: nothing written
    for (const QString& value : {u"7"_s, u"-1"_s, u"1.5"_s, u"abc"_s, QString()}) {
        QTest::addRow("\"%s\" after a 1024*768 save", qPrintable(value))
            << value << true << QSize(1024, 768);
        QTest::addRow("\"%s\" before any save", qPrintable(value)) << value << false << QSize();
    }
    QTest::newRow("\" 2\" names 1280*1024") << u" 2"_s << false << QSize(1280, 1024);
    QTest::newRow("\"3.0\" names 1600*1200") << u"3.0"_s << true << QSize(1600, 1200);
}

void TestImageSave::sizeThatNamesNoResolution() {
    QFETCH(QString, value);
    QFETCH(bool, savedBefore);
    QFETCH(QSize, file);
    SaveDesk desk;
    QVERIFY(desk.loaded);
    Form1& form = *desk.form;
    if (savedBefore) {
        form.scrsav_Click(1);
        desk.showPicture(filled(100, 100, kRed));
        desk.save(true);
        QCOMPARE(QImage(desk.imagePath(), "BMP").size(), QSize(1024, 768));
    }
    // Only an edited settings file can hold such a value.
    form.settings().cfgSaveSize = value;
    desk.showPicture(filled(100, 100, kGreen));
    desk.save(true);
    QCOMPARE(form.poll().busy(), 0);
    if (file.isEmpty()) {
        QCOMPARE(desk.fake().errorsShown.size(), 1);
        QCOMPARE(desk.platform.busyWhenWarned, QList<int>{1});
        QVERIFY(!QFile::exists(desk.imagePath()));
    } else {
        QCOMPARE(desk.fake().errorsShown, QStringList());
        const QImage saved(desk.imagePath(), "BMP");
        QCOMPARE(saved.size(), file);
        QCOMPARE(opaque(saved.pixel(file.width() / 2, file.height() / 2)), kGreen);
    }
}

void TestImageSave::failedSaveKeepsPreviousFile_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("diskKiB");    // a small file system of that size, or 0
    QTest::addColumn<QString>("reason"); // what the message must also say
    QTest::newRow("folder immutable") << u"folder immutable"_s << 0 << QString();
    QTest::newRow("Image.bmp immutable") << u"file immutable"_s << 0 << QString();
    // Refused also where our rights would allow replacing it (as root).
    QTest::newRow("Image.bmp read-only (mode 444)")
        << u"file read-only"_s << 0 << u"読み取り専用"_s;
    // Room for one 640*480 bitmap (921,654 bytes, 226 pages) and 74 pages:
    // the second fails early.
    QTest::newRow("disk full") << u"full"_s << 1200 << u"No space left on device"_s;
    // Room for one and 225 pages: only the last 54 bytes of the second find
    // no room, and they are written when the file is closed.
    QTest::newRow("disk full but for the last bytes")
        << u"full"_s << 1804 << u"No space left on device"_s;
    QTest::newRow("name taken by a folder") << u"folder"_s << 0 << QString();
}

void TestImageSave::failedSaveKeepsPreviousFile() {
    QFETCH(QString, how);
    QFETCH(int, diskKiB);
    QFETCH(QString, reason);
    SaveDesk desk;
    QVERIFY(desk.loaded);
    Form1& form = *desk.form;
    desk.showPicture(filled(320, 200, kRed));

    // Where the picture goes: the program's folder, or a small file system
    // standing in for it.
    QString folder = desk.dir.path();
    std::function<void()> lift; // ends the condition
    bool mounted = false;
    const auto cleanUp = qScopeGuard([&] {
        if (lift)
            lift();
        if (mounted)
            QProcess::execute(u"umount"_s, {folder});
    });
    if (diskKiB > 0) {
        folder = desk.dir.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(folder));
        mounted =
            QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=%1k"_s.arg(diskKiB),
                                           u"tmpfs"_s, folder}) == 0;
        if (!mounted)
            QSKIP("cannot mount a small file system here");
        desk.fake().folder = folder;
    }
    const QString image = folder + u"/Image.bmp"_s;
    if (how == u"folder"_s) {
        QVERIFY(QDir(folder).mkdir(u"Image.bmp"_s));
    } else {
        desk.save(true);
        QCOMPARE(desk.fake().errorsShown, QStringList());
    }
    const QByteArray before = fileBytes(image);
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);

    if (how == u"file read-only"_s) {
        QVERIFY(
            QFile::setPermissions(image, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        lift = [image] { QFile::setPermissions(image, QFile::ReadOwner | QFile::WriteOwner); };
    } else if (how.endsWith(u"immutable"_s)) {
        const QString target = how == u"folder immutable"_s ? folder : image;
        if (!makeImmutable(target, true))
            QSKIP("chattr +i is not available here");
        lift = [target] { makeImmutable(target, false); };
    } else if (how == u"full"_s) {
        lift = [image] { QFile::remove(image); };
    }
    const QFile::Permissions mode = QFileInfo(image).permissions();
    desk.showPicture(filled(320, 200, kBlue));
    desk.platform.busyWhenWarned.clear();
    desk.save(true);

    const QStringList errors = desk.fake().errorsShown;
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(image) && errors.first().contains(reason),
             qPrintable(errors.first()));
    QCOMPARE(desk.platform.busyWhenWarned, QList<int>{1});
    QCOMPARE(form.poll().busy(), 0);
    QCOMPARE(fileBytes(image), before);
    QCOMPARE(QFileInfo(image).permissions(), mode);
    // No half-written file left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), entries);
    // The canvas is blank for the next try.
    QCOMPARE(form.files().Picture3()->canvas().pixel(320, 240), opaque(kWhite));

    // Once the condition is gone, the save works.
    if (!lift)
        return;
    lift();
    lift = nullptr;
    desk.save(true);
    QCOMPARE(desk.fake().errorsShown.size(), 1);
    QCOMPARE(opaque(QImage(image, "BMP").pixel(320, 240)), kBlue);
}

QTEST_MAIN(TestImageSave)
#include "test_image_save.moc"
