#include "history/history_store.h"

#include <QTest>

using namespace pomorina;
using namespace Qt::StringLiterals;

namespace {

// A picture as the history keeps one from the scripted clipboard: no bytes,
// so its pixels stay.
HeldPicture kept(const QImage& picture) {
    return HeldPicture(picture, {}, {}, 640);
}

} // namespace

namespace {

QImage filled(int width, int height, QRgb colour) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

QStringList texts(const HistoryStore& store) {
    QStringList all;
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
        all << store.text(slot);
    return all;
}

// Slot contents by the single width of each picture, 0 for an empty slot.
QList<int> pictureWidths(const HistoryStore& store) {
    QList<int> widths;
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
        widths << (store.picture(slot).isNull() ? 0 : store.picture(slot).width());
    return widths;
}

using Widths = QList<int>;

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

private slots:
    void textPushes_data();
    void textPushes();
    void pushtextLeavesSlotZero();
    void picturePushes_data();
    void picturePushes();
    void queuesAreIndependent();
    void slotsOutsideTheStore();
    void thumbnails_data();
    void thumbnails();
    void thumbnailIsSmoothlyScaled();
};

void TestHistoryStore::textPushes_data() {
    QTest::addColumn<QStringList>("pushed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << QStringList{} << QStringList{{}, {}, {}, {}, {}, {}};
    QTest::newRow("a b c") << QStringList{u"a"_s, u"b"_s, u"c"_s}
                           << QStringList{u"c"_s, u"b"_s, u"a"_s, {}, {}, {}};
    QTest::newRow("six fill every slot")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s}
        << QStringList{u"6"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s, u"1"_s};
    QTest::newRow("seven drop the first")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}
        << QStringList{u"7"_s, u"6"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s};
    QTest::newRow("repeated and empty texts")
        << QStringList{u"x"_s, u"x"_s, QString(), u"日本語\r\n二行"_s}
        << QStringList{u"日本語\r\n二行"_s, QString(), u"x"_s, u"x"_s, {}, {}};
}

void TestHistoryStore::textPushes() {
    QFETCH(QStringList, pushed);
    QFETCH(QStringList, expected);

    HistoryStore store;
    for (const QString& text : pushed) {
        store.pushtext();
        store.setText(0, text);
    }
    QCOMPARE(texts(store), expected);
}

void TestHistoryStore::pushtextLeavesSlotZero() {
    HistoryStore store;
    store.setText(0, u"old"_s);
    store.pushtext();
    QCOMPARE(texts(store), (QStringList{u"old"_s, u"old"_s, {}, {}, {}, {}}));
}

void TestHistoryStore::picturePushes_data() {
    QTest::addColumn<Widths>("pushed");
    QTest::addColumn<Widths>("expected");

    QTest::newRow("none") << Widths{} << Widths{0, 0, 0, 0, 0, 0};
    QTest::newRow("first fills slot 0 only") << Widths{10} << Widths{10, 0, 0, 0, 0, 0};
    QTest::newRow("three") << Widths{10, 20, 30} << Widths{30, 20, 10, 0, 0, 0};
    QTest::newRow("seven drop the first")
        << Widths{1, 2, 3, 4, 5, 6, 7} << Widths{7, 6, 5, 4, 3, 2};
}

void TestHistoryStore::picturePushes() {
    QFETCH(Widths, pushed);
    QFETCH(Widths, expected);

    HistoryStore store;
    for (int width : pushed)
        store.pushimage(kept(filled(width, 5, qRgb(0, 0, 0))));
    QCOMPARE(pictureWidths(store), expected);
}

void TestHistoryStore::queuesAreIndependent() {
    HistoryStore store;
    const QImage first = filled(640, 480, qRgb(10, 20, 30));
    store.pushimage(kept(first));
    store.setText(0, u"t"_s);

    store.pushtext();
    store.setText(0, u"u"_s);
    QCOMPARE(pictureWidths(store), (Widths{640, 0, 0, 0, 0, 0}));

    store.pushimage(kept(filled(50, 30, qRgb(0, 0, 0))));
    QCOMPARE(texts(store), (QStringList{u"u"_s, u"t"_s, {}, {}, {}, {}}));
    // The older picture moved on whole, at its natural size.
    QCOMPARE(store.picture(1).size(), QSize(640, 480));
    QCOMPARE(store.picture(1), first);
}

void TestHistoryStore::slotsOutsideTheStore() {
    HistoryStore store;
    store.setText(-1, u"x"_s);
    store.setText(HistoryStore::kSlots, u"x"_s);
    QCOMPARE(texts(store), (QStringList{{}, {}, {}, {}, {}, {}}));
    QVERIFY(store.picture(HistoryStore::kSlots).isNull());
    QVERIFY(!store.thumbnailFit(-1).drawable);
}

void TestHistoryStore::thumbnails_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QRectF>("fitted"); // in the 96x96 area, 2 pixels inside the box

    QTest::newRow("200x100 reduced")
        << QSize(200, 100) << QColor(Qt::white) << QRectF(0, 24, 96, 48);
    QTest::newRow("50x30 unscaled") << QSize(50, 30) << QColor(Qt::black) << QRectF(23, 33, 50, 30);
    QTest::newRow("100x200 reduced")
        << QSize(100, 200) << QColor(Qt::white) << QRectF(24, 0, 48, 96);
    QTest::newRow("1000x1000 reduced")
        << QSize(1000, 1000) << QColor(Qt::black) << QRectF(0, 0, 96, 96);
    QTest::newRow("10x10 not enlarged")
        << QSize(10, 10) << QColor(Qt::white) << QRectF(43, 43, 10, 10);
    QTest::newRow("empty slot is blank") << QSize() << QColor(Qt::white) << QRectF();
}

void TestHistoryStore::thumbnails() {
    QFETCH(QSize, size);
    QFETCH(QColor, back);
    QFETCH(QRectF, fitted);

    const QRgb colour = qRgb(200, 40, 90);
    HistoryStore store;
    if (size.isValid())
        store.pushimage(kept(filled(size.width(), size.height(), colour)));
    QCOMPARE(fittedRect(store.thumbnailFit(0)), fitted);
    QVERIFY(!store.thumbnailFit(1).drawable);

    const QImage box = store.thumbnail(0, back);
    QCOMPARE(box.size(), QSize(HistoryStore::thumbBoxSize, HistoryStore::thumbBoxSize));
    const QRect drawn = fitted.toRect().translated(2, 2);
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const QRgb expected = drawn.contains(x, y) ? colour : back.rgb();
            if (box.pixel(x, y) != expected)
                QFAIL(qPrintable(u"pixel (%1, %2) is %3, expected %4"_s.arg(x)
                                     .arg(y)
                                     .arg(box.pixel(x, y), 8, 16)
                                     .arg(expected, 8, 16)));
        }
    }
}

void TestHistoryStore::thumbnailIsSmoothlyScaled() {
    // Columns alternating black and white, halved: each thumbnail pixel covers
    // one of each, so a smooth reduction gives grey where a plain one would
    // pick black or white.
    QImage stripes(192, 192, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x) {
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    }
    HistoryStore store;
    store.pushimage(kept(stripes));

    const QImage box = store.thumbnail(0, Qt::red);
    const int grey = qGray(box.pixel(50, 50));
    QVERIFY2(grey > 64 && grey < 192, qPrintable(QString::number(grey)));
}

QTEST_APPLESS_MAIN(TestHistoryStore)
#include "test_history_store.moc"
