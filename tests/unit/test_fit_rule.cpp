#include "capture/fit_rule.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace pomorina;

class TestFitRule : public QObject {
    Q_OBJECT

private slots:
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void fitsPicture_data();
    void fitsPicture();
    void emptyPictureOrAreaIsNotDrawable_data();
    void emptyPictureOrAreaIsNotDrawable();
};

void TestFitRule::roundsHalvesToEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("-0.5") << -0.5 << 0.0;
    QTest::newRow("-1.5") << -1.5 << -2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("just above a half") << 2.5000000001 << 3.0;
    // floor(x + 0.5) gets this one wrong: the sum rounds up to 1.
    QTest::newRow("largest double below 0.5") << std::nextafter(0.5, 0.0) << 0.0;
    QTest::newRow("half near 2^52") << 4503599627370493.5 << 4503599627370494.0;
}

void TestFitRule::roundsHalvesToEven() {
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(roundHalfEven(value), rounded);
}

void TestFitRule::fitsPicture_data() {
    for (const char* column : {"srcWidth", "srcHeight", "areaWidth", "areaHeight"})
        QTest::addColumn<double>(column);
    QTest::addColumn<bool>("enlarge");
    QTest::addColumn<QRectF>("drawn");
    const auto row = [](const char* name, double w, double h, double aw, double ah, bool enlarge,
                        QRectF drawn) {
        QTest::newRow(name) << w << h << aw << ah << enlarge << drawn;
    };

    // The 128-pixel preview, never enlarged.
    row("100x50 natural", 100, 50, 128, 128, false, {14, 39, 100, 50});
    row("101x51 offsets 13.5, 38.5 to even", 101, 51, 128, 128, false, {14, 38, 101, 51});
    row("640x480 width fitted", 640, 480, 128, 128, false, {0, 16, 128, 96});
    row("300x600 height fitted", 300, 600, 128, 128, false, {32, 0, 64, 128});
    row("200x128 gap 46.08", 200, 128, 128, 128, false, {0, 23, 128, 81.92});
    row("500x500", 500, 500, 128, 128, false, {0, 0, 128, 128});
    row("300x128 gap 73.39, then 36.5", 300, 128, 128, 128, false, {0, 36, 128, 54.61333333333333});
    row("128x128 unscaled", 128, 128, 128, 128, false, {0, 0, 128, 128});
    // Gap 126.5 rounds to 126 (half-up: 127, then 63.5 to 64).
    row("256x3 gap 126.5", 256, 3, 128, 128, false, {0, 63, 128, 1.5});
    row("129x10 too wide only", 129, 10, 128, 128, false, {0, 59, 128, 9.922480620155039});
    // The 96-pixel thumbnails, never enlarged.
    row("thumb 200x100", 200, 100, 96, 96, false, {0, 24, 96, 48});
    row("thumb 50x30 unscaled", 50, 30, 96, 96, false, {23, 33, 50, 30});
    row("thumb 1000x1000", 1000, 1000, 96, 96, false, {0, 0, 96, 96});
    // The save canvas, enlarging allowed.
    row("save 320x200 enlarged", 320, 200, 640, 480, true, {0, 40, 640, 400});
    row("save 700x600 reduced", 700, 600, 640, 480, true, {40, 0, 560, 480});
    row("save 2000x1000 reduced", 2000, 1000, 1024, 768, true, {0, 128, 1024, 512});
    row("save 1024x500 equal width kept", 1024, 500, 1024, 768, true, {0, 134, 1024, 500});
    row("save 1280x1024 unscaled", 1280, 1024, 1280, 1024, true, {0, 0, 1280, 1024});
    row("save 10x10 to the shorter side", 10, 10, 640, 480, true, {80, 0, 480, 480});
    row("save 4x3 equal ratios", 4, 3, 640, 480, true, {0, 0, 640, 480});
    row("320x200 not enlarged", 320, 200, 640, 480, false, {160, 140, 320, 200});
}

void TestFitRule::fitsPicture() {
    QFETCH(double, srcWidth);
    QFETCH(double, srcHeight);
    QFETCH(double, areaWidth);
    QFETCH(double, areaHeight);
    QFETCH(bool, enlarge);
    QFETCH(QRectF, drawn);

    const FitResult fit = fitPicture(srcWidth, srcHeight, areaWidth, areaHeight, enlarge);
    QVERIFY(fit.drawable);
    QCOMPARE(fit.drawLeft, drawn.left());
    QCOMPARE(fit.drawTop, drawn.top());
    QCOMPARE(fit.drawWidth, drawn.width()); // fuzzy: sizes are not rounded
    QCOMPARE(fit.drawHeight, drawn.height());
    QCOMPARE(fittedRect(fit), drawn);
}

void TestFitRule::emptyPictureOrAreaIsNotDrawable_data() {
    for (const char* column : {"srcWidth", "srcHeight", "areaWidth", "areaHeight"})
        QTest::addColumn<double>(column);
    QTest::newRow("zero width") << 0.0 << 50.0 << 128.0 << 128.0;
    QTest::newRow("zero height") << 50.0 << 0.0 << 128.0 << 128.0;
    QTest::newRow("zero size") << 0.0 << 0.0 << 640.0 << 480.0;
    QTest::newRow("negative width") << -10.0 << 50.0 << 128.0 << 128.0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 50.0 << 128.0
                                  << 128.0;
    QTest::newRow("zero area (no save size yet)") << 320.0 << 200.0 << 0.0 << 0.0;
    QTest::newRow("zero area height") << 320.0 << 200.0 << 640.0 << 0.0;
}

void TestFitRule::emptyPictureOrAreaIsNotDrawable() {
    QFETCH(double, srcWidth);
    QFETCH(double, srcHeight);
    QFETCH(double, areaWidth);
    QFETCH(double, areaHeight);

    for (bool enlarge : {false, true}) {
        const FitResult fit = fitPicture(srcWidth, srcHeight, areaWidth, areaHeight, enlarge);
        QVERIFY(!fit.drawable);
        QCOMPARE(fit.drawWidth, 0.0);
        QCOMPARE(fit.drawHeight, 0.0);
        QCOMPARE(fit.drawLeft, 0);
        QCOMPARE(fit.drawTop, 0);
        QVERIFY(fittedRect(fit).isEmpty());
    }
}

QTEST_APPLESS_MAIN(TestFitRule)
#include "test_fit_rule.moc"
