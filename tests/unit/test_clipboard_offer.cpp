// Which formats count as text and picture, and which one is asked for.
#include "platform/clipboard_offer.h"

#include <QTest>

using namespace pomorina;

class TestClipboardOffer : public QObject {
    Q_OBJECT

private slots:
    void offer_data();
    void offer();
};

void TestClipboardOffer::offer_data() {
    QTest::addColumn<QByteArrayList>("targets");
    QTest::addColumn<bool>("text");
    QTest::addColumn<bool>("bitmap");
    QTest::addColumn<bool>("any");
    QTest::addColumn<QByteArray>("textTarget");
    QTest::addColumn<QByteArray>("pictureTarget");

    QTest::newRow("nothing") << QByteArrayList{} << false << false << false << QByteArray()
                             << QByteArray();
    QTest::newRow("only the protocol's own formats")
        << QByteArrayList{"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"} << false << false
        << false << QByteArray() << QByteArray();
    QTest::newRow("UTF-8 preferred over Latin-1, whatever the order")
        << QByteArrayList{"TARGETS", "STRING", "TEXT", "UTF8_STRING"} << true << false << true
        << QByteArray("UTF8_STRING") << QByteArray();
    QTest::newRow("only Latin-1") << QByteArrayList{"STRING"} << true << false << true
                                  << QByteArray("STRING") << QByteArray();
    QTest::newRow("another charset is still text")
        << QByteArrayList{"text/plain;charset=iso-8859-15"} << true << false << true
        << QByteArray("text/plain;charset=iso-8859-15") << QByteArray();
    QTest::newRow("rich text alone is not text") << QByteArrayList{"text/html", "text/rtf"} << false
                                                 << false << true << QByteArray() << QByteArray();
    QTest::newRow("PNG preferred over JPEG and BMP")
        << QByteArrayList{"image/jpeg", "image/bmp", "image/png"} << false << true << true
        << QByteArray() << QByteArray("image/png");
    QTest::newRow("an unusual picture format that can be read")
        << QByteArrayList{"image/x-portable-pixmap"} << false << true << true << QByteArray()
        << QByteArray("image/x-portable-pixmap");
    QTest::newRow("a picture format that cannot be read is offered, not asked for")
        << QByteArrayList{"image/x-unknown"} << false << true << true << QByteArray()
        << QByteArray();
    QTest::newRow("text and picture together")
        << QByteArrayList{"TARGETS", "image/png", "text/plain"} << true << true << true
        << QByteArray("text/plain") << QByteArray("image/png");
    QTest::newRow("files from a file manager are something, not text")
        << QByteArrayList{"TARGETS", "text/uri-list", "x-special/gnome-copied-files"} << false
        << false << true << QByteArray() << QByteArray();
}

void TestClipboardOffer::offer() {
    QFETCH(QByteArrayList, targets);
    const QByteArrayList readable = {"image/png", "image/bmp", "image/jpeg",
                                     "image/x-portable-pixmap"};
    const ClipboardOffer offer = clipboardOffer(targets, readable);
    QTEST(offer.formats.text, "text");
    QTEST(offer.formats.bitmap, "bitmap");
    QTEST(offer.formats.any, "any");
    QTEST(offer.textTarget, "textTarget");
    QTEST(offer.pictureTarget, "pictureTarget");
}

QTEST_APPLESS_MAIN(TestClipboardOffer)
#include "test_clipboard_offer.moc"
