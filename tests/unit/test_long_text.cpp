// Texts too long to show whole: the text boxes show the start, read-only,
// while the program keeps and passes on the whole text.
#include "capture/text_box.h"
#include "support/form1_desk.h"
#include "support/no_freeze.h"

#include <QElapsedTimer>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

class TestLongText : public QObject {
    Q_OBJECT
private slots:
    void shownCutShortButKeptWhole_data();
    void shownCutShortButKeptWhole();
    void restoredLongTextReachesTheClipboardWhole();
};

void TestLongText::shownCutShortButKeptWhole_data() {
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<bool>("spaces");
    QTest::newRow("at the limit") << kTextDisplayLimit << true;
    QTest::newRow("one over the limit") << kTextDisplayLimit + 1 << true;
    QTest::newRow("4 MiB, one line without spaces") << qsizetype(4 * 1024 * 1024) << false;
}

void TestLongText::shownCutShortButKeptWhole() {
    QFETCH(qsizetype, length);
    QFETCH(bool, spaces);
    QString text(length, u'x');
    for (qsizetype i = 7; spaces && i < length; i += 8)
        text[i] = u' ';
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(text);

    QElapsedTimer clock;
    clock.start();
    desk.tick();
    // Without the limit a long line without spaces takes minutes.
    QVERIFY2(clock.elapsed() < kNoFreezeMs, qPrintable(QString::number(clock.elapsed())));

    const bool whole = length <= kTextDisplayLimit;
    QCOMPARE(form.pane().text(), text);
    QCOMPARE(desk.history().store().text(0), text);
    QCOMPARE(form.pane().Text1()->isReadOnly(), !whole);
    QCOMPARE(desk.history().Text1(0)->isReadOnly(), !whole);
    QCOMPARE(textOf(form.pane().Text1()).startsWith(text.left(kTextDisplayLimit)), true);
    if (!whole)
        QVERIFY(textOf(form.pane().Text1()).size() < kTextDisplayLimit + 200);
    // Nothing was written back: the clipboard holds the text already.
    QCOMPARE(desk.platform.clipboardWrites, 0);
    QCOMPARE(*desk.platform.clipboard.text, text);
}

void TestLongText::restoredLongTextReachesTheClipboardWhole() {
    const QString longText = QString(kTextDisplayLimit * 2, u'あ');
    Desk desk;
    QVERIFY(desk.loaded);
    desk.copyText(longText);
    desk.tick();
    desk.copyText(QStringLiteral("short"));
    desk.tick();
    QCOMPARE(desk.history().store().text(1), longText);

    desk.platform.foreground = Foreground::History;
    desk.main().rire_Click();
    desk.history().Text1_Click(1);
    desk.platform.foreground = Foreground::Other;
    desk.tick();
    QCOMPARE(*desk.platform.clipboard.text, longText);
    QCOMPARE(desk.main().pane().text(), longText);
}

QTEST_MAIN(TestLongText)
#include "test_long_text.moc"
