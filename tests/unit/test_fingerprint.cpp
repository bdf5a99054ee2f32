#include "capture/fingerprint.h"

#include <QColorSpace>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using namespace pomorina;

namespace {

QImage filled(int width, int height, QRgb colour, QImage::Format format = QImage::Format_RGB32) {
    QImage picture(width, height, format);
    picture.fill(colour);
    return picture;
}

// Every pixel a random colour (opaque unless `alpha`), so that a sample read
// at the wrong place, or a change anywhere, shows.
QImage noisy(int width, int height, quint32 seed, bool alpha = false) {
    QImage picture(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = alpha ? random.generate() : 0xff000000u | random.bounded(0x1000000u);
    }
    return picture;
}

using Points = QList<QPoint>;

} // namespace

class TestFingerprint : public QObject {
    Q_OBJECT

private slots:
    void samplePoints_data();
    void samplePoints();
    void colourHasRedInTheLowByte_data();
    void colourHasRedInTheLowByte();
    void firstPictureAfterStartIsNew_data();
    void firstPictureAfterStartIsNew();
    void differentPictureIsNew_data();
    void differentPictureIsNew();
    void samePictureIsUnchanged_data();
    void samePictureIsUnchanged();
    void emptyPicture();
};

void TestFingerprint::samplePoints_data() {
    QTest::addColumn<float>("width");
    QTest::addColumn<float>("height");
    QTest::addColumn<Points>("points");

    QTest::newRow("640x480") << 640.0f << 480.0f
                             << Points{{0, 0},     {320, 240}, {213, 160}, {320, 160}, {213, 240},
                                       {160, 120}, {480, 240}, {320, 360}, {320, 384}};
    // Fractions are cut off: 1.5 -> 1, 0.75 -> 0, 2.25 -> 2, 2.4 -> 2.
    QTest::newRow("3x3") << 3.0f << 3.0f << Points{{0, 0}, {1, 1}, {1, 1}, {1, 1}, {1, 1},
                                                   {0, 0}, {2, 1}, {1, 2}, {1, 2}};
    QTest::newRow("1x1") << 1.0f << 1.0f << Points(9, QPoint(0, 0));
    // Point 9: 51 / 10 is 5.0999999 in single precision, times 8 is 40.8 -> 40.
    QTest::newRow("101x51") << 101.0f << 51.0f
                            << Points{{0, 0},   {50, 25}, {33, 17}, {50, 17}, {33, 25},
                                      {25, 12}, {75, 25}, {50, 38}, {50, 40}};
    QTest::newRow("0x0") << 0.0f << 0.0f << Points(9, QPoint(0, 0));
}

void TestFingerprint::samplePoints() {
    QFETCH(float, width);
    QFETCH(float, height);
    QFETCH(Points, points);
    const auto actual = fingerprintSamplePoints(width, height);
    QCOMPARE(Points(actual.begin(), actual.end()), points);
}

void TestFingerprint::colourHasRedInTheLowByte_data() {
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<double>("colour");

    const QImage rgb = filled(4, 3, qRgb(0x11, 0x22, 0x33));
    QTest::newRow("last pixel") << rgb << QPoint(3, 2) << double(0x332211);
    QTest::newRow("right of it") << rgb << QPoint(4, 0) << -1.0;
    QTest::newRow("below it") << rgb << QPoint(0, 3) << -1.0;
    QTest::newRow("empty picture") << QImage() << QPoint(0, 0) << -1.0;
    QTest::newRow("opaque ARGB32")
        << filled(1, 1, 0xff112233, QImage::Format_ARGB32) << QPoint(0, 0) << double(0x332211);
    QTest::newRow("24-bit") << filled(2, 2, 0xffa0b0c0, QImage::Format_RGB888) << QPoint(1, 1)
                            << double(0xc0b0a0);
}

void TestFingerprint::colourHasRedInTheLowByte() {
    QFETCH(QImage, picture);
    QFETCH(QPoint, point);
    QFETCH(double, colour);
    QCOMPARE(fingerprintColour(picture, point), colour);
}

void TestFingerprint::firstPictureAfterStartIsNew_data() {
    QTest::addColumn<QImage>("picture");
    // Black reads 0 at every point, like the samples at start: only the key
    // tells it apart.
    QTest::newRow("1x1 black") << filled(1, 1, qRgb(0, 0, 0));
    QTest::newRow("640x480 black") << filled(640, 480, qRgb(0, 0, 0));
    // Key 0 like the start, but its points lie outside and read -1.
    QTest::newRow("empty") << QImage();
}

void TestFingerprint::firstPictureAfterStartIsNew() {
    QFETCH(QImage, picture);
    const PictureFingerprint fingerprint;
    QVERIFY(!fingerprint.matchkey(picture));
}

void TestFingerprint::differentPictureIsNew_data() {
    QTest::addColumn<QImage>("recorded");
    QTest::addColumn<QImage>("held");
    // Whether size key and nine colours alone would take it for the old one.
    QTest::addColumn<bool>("quickTestFooled");

    const QRgb blue = qRgb(0, 0, 255);
    QTest::newRow("100x50 then 75x100 of one colour, key 250")
        << filled(100, 50, blue) << filled(75, 100, blue) << true;

    const QImage screen = noisy(640, 480, 3);
    QImage rightQuarter = screen.copy();
    rightQuarter.setPixel(639, 0, qRgb(1, 2, 3));
    QTest::newRow("one pixel in the right quarter") << screen << rightQuarter << true;
    QImage bottomFifth = screen.copy();
    QPainter(&bottomFifth).fillRect(0, 385, 640, 95, Qt::red); // point 9 is on row 384
    QTest::newRow("a bar in the bottom fifth") << screen << bottomFifth << true;
    QImage nearPoint = screen.copy();
    nearPoint.setPixel(321, 240, qRgb(9, 9, 9)); // point 2 is (320, 240)
    QTest::newRow("the pixel beside a sample point") << screen << nearPoint << true;

    // Compared after bringing both to one format: the whole row must count.
    QTest::newRow("right quarter, other format")
        << screen << rightQuarter.convertToFormat(QImage::Format_ARGB32) << true;
    QImage taggedBottom = bottomFifth.copy();
    taggedBottom.setColorSpace(QColorSpace::SRgb);
    QTest::newRow("bottom fifth, colour space tagged") << screen << taggedBottom << true;

    QTest::newRow("same size, other colour")
        << filled(30, 20, blue) << filled(30, 20, qRgb(0, 0, 254)) << false;
}

void TestFingerprint::differentPictureIsNew() {
    QFETCH(QImage, recorded);
    QFETCH(QImage, held);
    QFETCH(bool, quickTestFooled);

    PictureFingerprint fingerprint;
    fingerprint.storekey(recorded);
    QCOMPARE(fingerprint.keyAndSamplesMatch(held), quickTestFooled);
    QVERIFY(!fingerprint.matchkey(held));
}

void TestFingerprint::samePictureIsUnchanged_data() {
    QTest::addColumn<QImage>("recorded");
    QTest::addColumn<QImage>("held");

    const QImage picture = noisy(101, 51, 5);
    QTest::newRow("the same QImage") << picture << picture;
    QTest::newRow("a deep copy") << picture << picture.copy();
    QTest::newRow("RGB32 and ARGB32") << picture << picture.convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("RGB32 and premultiplied")
        << picture << picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("RGB32 and 24-bit") << picture << picture.convertToFormat(QImage::Format_RGB888);
    QImage tagged = picture.copy();
    tagged.setColorSpace(QColorSpace::SRgb);
    QTest::newRow("colour space tag only") << picture << tagged;

    // RGB32 leaves the top byte unused; it must not count.
    QImage cleared = picture.copy();
    for (int y = 0; y < cleared.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(cleared.scanLine(y));
        for (int x = 0; x < cleared.width(); ++x)
            row[x] &= 0x00ffffffu;
    }
    QTest::newRow("RGB32 with its unused byte cleared") << picture << cleared;

    const QImage translucent = noisy(64, 64, 13, true);
    const QImage premultiplied = translucent.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("translucent, ARGB32 then premultiplied") << translucent << premultiplied;
    QTest::newRow("translucent, premultiplied then ARGB32") << premultiplied << translucent;
}

void TestFingerprint::samePictureIsUnchanged() {
    QFETCH(QImage, recorded);
    QFETCH(QImage, held);

    PictureFingerprint fingerprint;
    fingerprint.storekey(recorded);
    QCOMPARE(fingerprint.picKey(), 2.0 * recorded.width() + recorded.height());
    QVERIFY(fingerprint.matchkey(held));
    QVERIFY(fingerprint.matchkey(recorded));
}

void TestFingerprint::emptyPicture() {
    PictureFingerprint fingerprint;
    fingerprint.storekey(QImage());
    QCOMPARE(fingerprint.picKey(), 0.0);
    QCOMPARE(fingerprint.picSamples(),
             (std::array<double, kFingerprintSamples>{-1, -1, -1, -1, -1, -1, -1, -1, -1}));
    // Once recorded, an empty picture is unchanged and any real one is new.
    QVERIFY(fingerprint.matchkey(QImage()));
    QVERIFY(!fingerprint.matchkey(filled(1, 1, qRgb(0, 0, 0))));
    fingerprint.storekey(filled(2, 2, qRgb(0, 0, 0)));
    QVERIFY(!fingerprint.matchkey(QImage()));
}

QTEST_APPLESS_MAIN(TestFingerprint)
#include "test_fingerprint.moc"
