// The clipboard poll, driven tick by tick through the scripted platform: the
// text step, the picture steps, the preview drawing, the caption, the
// auto-hide stamp and how often the clipboard is asked.
#include "support/form1_views.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

namespace {

const QString kTextCaption = u"ポモリナ1.0"_s;

// Pictures whose size key and nine sampled colours agree with `base`, but
// which differ from it somewhere.
QImage withBlock(const QImage& base, const QRect& block, QRgb colour) {
    QImage changed = base.copy();
    for (int y = block.top(); y <= block.bottom(); ++y) {
        for (int x = block.left(); x <= block.right(); ++x)
            changed.setPixel(x, y, colour);
    }
    return changed;
}

} // namespace

class TestPollCycle : public QObject {
    Q_OBJECT
private slots:
    void textStepOnlyWhileAway_data();
    void textStepOnlyWhileAway();
    void unchangedText_data();
    void unchangedText();
    void emptyTextAtStartIsNotNew();
    void newText_data();
    void newText();
    void textAndPictureTogether();
    void captionIsOneCycleLate();
    void pictureChange_data();
    void pictureChange();
    void previewDrawing_data();
    void previewDrawing();
    void unreadableClipboard_data();
    void unreadableClipboard();
    void contentOnItsWay_data();
    void contentOnItsWay();
    void busy_data();
    void busy();
    void readsOncePerChange_data();
    void readsOncePerChange();
    void readsEveryTickWithoutChangeReports_data();
    void readsEveryTickWithoutChangeReports();
    void conWithText_data();
    void conWithText();
    void conWithPicture_data();
    void conWithPicture();
    void pollTickDuringEventPass();
    void watchTickDuringEventPassOpensTheTextStep();
    void copyDuringEventPassIsSeen();
    void droppedTextIsTaken_data();
    void droppedTextIsTaken();
    void extremePictures_data();
    void extremePictures();
    void manyTicks();
};

void TestPollCycle::textStepOnlyWhileAway_data() {
    QTest::addColumn<Foreground>("front");
    QTest::addColumn<bool>("historyOpen");
    QTest::addColumn<bool>("textTaken");
    QTest::newRow("another program in front") << Foreground::Other << false << true;
    QTest::newRow("no window in front") << Foreground::None << false << true;
    QTest::newRow("main window in front") << Foreground::Main << false << false;
    QTest::newRow("history window shown") << Foreground::History << true << false;
}

void TestPollCycle::textStepOnlyWhileAway() {
    QFETCH(Foreground, front);
    QFETCH(bool, historyOpen);
    QFETCH(bool, textTaken);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = front;
    if (historyOpen)
        form.rire_Click();
    Form2& history = desk.history();

    const QImage red = filled(40, 30, kRed);
    desk.copyBoth(u"hello"_s, red);
    desk.tick();
    // The picture is read, tested and pushed whoever is in front.
    QCOMPARE(history.store().picture(0), red);
    QVERIFY(history.store().picture(1).isNull());
    QVERIFY(pictureViewShown(form));
    QCOMPARE(form.pane().text(), textTaken ? u"hello"_s : QString());
    QCOMPARE(storedTexts(history), sixTexts({form.pane().text()}));

    // Copied again: the picture is unchanged, so only the text step could
    // switch the views.
    desk.copyBoth(u"hello"_s, red);
    desk.tick();
    QCOMPARE(textViewShown(form), textTaken);
    QCOMPARE(pictureViewShown(form), !textTaken);
    QCOMPARE(storedTexts(history), sixTexts({form.pane().text()}));
    QVERIFY(history.store().picture(1).isNull());
    QCOMPARE(form.historyShown(), historyOpen);

    // New text beside the same picture: taken or not. Either way the preview
    // is shown: the layout that follows a new text draws the picture the
    // clipboard offers, and nothing else switched the views.
    desk.copyBoth(u"world"_s, red);
    desk.tick();
    QCOMPARE(storedTexts(history), textTaken ? sixTexts({u"world"_s, u"hello"_s}) : sixTexts({}));
    QVERIFY(pictureViewShown(form));
    QVERIFY(history.store().picture(1).isNull());
    QCOMPARE(desk.platform.clipboardWrites, 0);
}

void TestPollCycle::unchangedText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("copiedAgain");
    QTest::newRow("plain, still there") << u"same"_s << false;
    QTest::newRow("plain, copied again") << u"same"_s << true;
    QTest::newRow("CR LF, still there") << u"a\r\nb"_s << false;
    QTest::newRow("CR LF, copied again") << u"a\r\nb"_s << true;
    QTest::newRow("lone CR") << u"a\rb"_s << true;
    QTest::newRow("ends in CR LF") << u"line\r\n"_s << true;
    QTest::newRow("tab and blanks") << u"\t x "_s << true;
    QTest::newRow("Japanese") << u"履歴のテキスト"_s << true;
}

void TestPollCycle::unchangedText() {
    QFETCH(QString, text);
    QFETCH(bool, copiedAgain);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(text);
    desk.tick();
    QCOMPARE(form.pane().text(), text);
    QCOMPARE(storedTexts(desk.history()), sixTexts({text}));

    // Upset what a push or a layout would put right.
    form.pane().showPicture();
    form.pane().Text1()->resize(20, 20);
    form.pane().Picture1()->resize(20, 20);
    form.countdown().cancel();
    desk.platform.now = 5000;
    if (copiedAgain)
        desk.copyText(text);
    desk.tick();

    QCOMPARE(storedTexts(desk.history()), sixTexts({text}));
    QCOMPARE(form.pane().text(), text);
    QVERIFY(textViewShown(form));
    QCOMPARE(form.pane().Text1()->size(), QSize(20, 20)); // no layout
    QCOMPARE(form.pane().Picture1()->size(), QSize(20, 20));
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), 5000);
}

void TestPollCycle::emptyTextAtStartIsNotNew() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.now = 70;
    desk.copyText(QString());
    desk.tick();
    QCOMPARE(storedTexts(desk.history()), sixTexts({}));
    QCOMPARE(form.pane().text(), QString());
    QVERIFY(textViewShown(form));
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), 70);
}

void TestPollCycle::newText_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("first text") << QStringList{} << u"a"_s << sixTexts({u"a"_s});
    QTest::newRow("moves the others down")
        << QStringList{u"a"_s, u"b"_s} << u"c"_s << sixTexts({u"c"_s, u"b"_s, u"a"_s});
    QTest::newRow("empty after a text")
        << QStringList{u"a"_s} << QString() << sixTexts({QString(), u"a"_s});
    QTest::newRow("case only") << QStringList{u"abc"_s} << u"ABC"_s
                               << sixTexts({u"ABC"_s, u"abc"_s});
    QTest::newRow("CR LF after LF")
        << QStringList{u"a\nb"_s} << u"a\r\nb"_s << sixTexts({u"a\r\nb"_s, u"a\nb"_s});
    QTest::newRow("LF after CR LF")
        << QStringList{u"a\r\nb"_s} << u"a\nb"_s << sixTexts({u"a\nb"_s, u"a\r\nb"_s});
    QTest::newRow("trailing blank")
        << QStringList{u"x"_s} << u"x "_s << sixTexts({u"x "_s, u"x"_s});
    QTest::newRow("an older text again")
        << QStringList{u"a"_s, u"b"_s} << u"a"_s << sixTexts({u"a"_s, u"b"_s, u"a"_s});
    QTest::newRow("seventh drops the first")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s} << u"7"_s
        << QStringList{u"7"_s, u"6"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s};
}

void TestPollCycle::newText() {
    QFETCH(QStringList, before);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    for (const QString& earlier : before) {
        desk.copyText(earlier);
        desk.tick();
    }
    form.pane().showPicture();
    form.pane().Text1()->resize(20, 20);
    form.pane().Picture1()->resize(20, 20);
    form.countdown().cancel();
    desk.platform.now = 1234;

    desk.copyText(text);
    desk.tick();

    QCOMPARE(storedTexts(desk.history()), expected);
    QCOMPARE(form.pane().text(), text);
    QVERIFY(textViewShown(form));
    // The layout ran: the boxes are back at the full size of the 192 preview.
    QCOMPARE(form.pane().previewWidth(), 192);
    QCOMPARE(form.pane().Text1()->size(), QSize(196, 196));
    QCOMPARE(form.pane().Picture1()->size(), QSize(196, 196));
    // The countdown starts again from now.
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), 1234);
}

void TestPollCycle::textAndPictureTogether() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    // Whether the picture queue was still empty whenever the text view changed.
    QList<bool> pictureQueueEmpty;
    connect(form.pane().Text1(), &QPlainTextEdit::textChanged, this,
            [&] { pictureQueueEmpty << history.store().picture(0).isNull(); });

    const QImage picture = filled(40, 30, kRed);
    desk.copyBoth(u"both"_s, picture);
    desk.tick();
    QCOMPARE(storedTexts(history), sixTexts({u"both"_s}));
    QCOMPARE(history.store().picture(0), picture);
    QVERIFY(!pictureQueueEmpty.isEmpty());
    QVERIFY(!pictureQueueEmpty.contains(false)); // text first, then the picture
    QVERIFY(pictureViewShown(form));
    QCOMPARE(form.windowTitle(), u"X=0Y=0"_s);

    // Nothing new: the text view comes back, the picture step stops at the test.
    form.countdown().cancel();
    desk.platform.now = 800;
    desk.poll();
    QVERIFY(textViewShown(form));
    QCOMPARE(form.windowTitle(), u"X=40Y=30"_s);
    QCOMPARE(storedTexts(history), sixTexts({u"both"_s}));
    QVERIFY(history.store().picture(1).isNull());
    QVERIFY(!form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), 0);

    // The text view stays while nothing changes; the caption tick keeps its size.
    desk.tick();
    QVERIFY(textViewShown(form));
    QCOMPARE(form.windowTitle(), u"X=40Y=30"_s);
}

void TestPollCycle::captionIsOneCycleLate() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QStringList expected = {
        u"X=0Y=0"_s,    u"X=40Y=30"_s,  // 40 x 30, then again
        u"X=40Y=30"_s,  u"X=20Y=100"_s, // 20 x 100, then again
        u"X=20Y=100"_s,                 // text arrives: the preview is still shown
        kTextCaption,                   // text view shown since the last cycle
    };
    QStringList captions;
    desk.copyPicture(filled(40, 30, kRed));
    desk.tick();
    captions << form.windowTitle();
    desk.tick();
    captions << form.windowTitle();
    desk.copyPicture(filled(20, 100, kBlue));
    desk.tick();
    captions << form.windowTitle();
    desk.tick();
    captions << form.windowTitle();
    desk.copyText(u"t"_s);
    desk.tick();
    captions << form.windowTitle();
    desk.tick();
    captions << form.windowTitle();
    QCOMPARE(captions, expected);
}

void TestPollCycle::pictureChange_data() {
    QTest::addColumn<QImage>("first");
    QTest::addColumn<QImage>("second");
    QTest::addColumn<bool>("isNew");

    // 80 x 60: the samples lie at x <= 60 and y <= 48.
    QImage base = filled(80, 60, kBlue);
    base = withBlock(base, QRect(10, 10, 30, 20), kGreen);
    QTest::newRow("the same picture") << base << base << false;
    QTest::newRow("same pixels, another copy") << base << base.copy() << false;
    QTest::newRow("same pixels, with alpha")
        << base << base.convertToFormat(QImage::Format_ARGB32) << false;
    QTest::newRow("same pixels, 8-bit colour table")
        << base << base.convertToFormat(QImage::Format_Indexed8) << false;
    QTest::newRow("differs in the right quarter only")
        << base << withBlock(base, QRect(61, 0, 19, 60), kRed) << true;
    QTest::newRow("differs in the bottom fifth only")
        << base << withBlock(base, QRect(0, 49, 80, 11), kRed) << true;
    QTest::newRow("one pixel away from the samples")
        << base << withBlock(base, QRect(1, 1, 1, 1), kRed) << true;
    QTest::newRow("one sampled pixel")
        << base << withBlock(base, QRect(40, 30, 1, 1), kRed) << true;
    QTest::newRow("100x50 then 75x100, one colour")
        << filled(100, 50, kRed) << filled(75, 100, kRed) << true;
    QTest::newRow("same size, other colour")
        << filled(50, 50, kRed) << filled(50, 50, kBlue) << true;
}

void TestPollCycle::pictureChange() {
    QFETCH(QImage, first);
    QFETCH(QImage, second);
    QFETCH(bool, isNew);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    desk.platform.now = 100;
    desk.copyPicture(first);
    desk.tick();
    QCOMPARE(history.store().picture(0), first);
    QCOMPARE(form.countdown().hideStart(), 100);

    form.pane().Picture1()->clear(); // a redraw would show on the blank preview
    form.countdown().cancel();
    desk.platform.now = 900;
    desk.copyPicture(second);
    desk.tick();

    QCOMPARE(form.pane().Picture2()->picture(), second); // held all the same
    const QString blank = canvasMismatch(form.pane().Picture1()->canvas(), QRect(), kWhite, kWhite);
    if (isNew) {
        QCOMPARE(history.store().picture(0), second);
        QCOMPARE(history.store().picture(1), first);
        QVERIFY(!blank.isEmpty());
        QVERIFY(form.countdown().hideArmed());
        QCOMPARE(form.countdown().hideStart(), 900);
    } else {
        QVERIFY(history.store().picture(1).isNull());
        QVERIFY2(blank.isEmpty(), qPrintable(blank));
        QVERIFY(!form.countdown().hideArmed());
        QCOMPARE(form.countdown().hideStart(), 100);
    }
    QVERIFY(pictureViewShown(form));
}

void TestPollCycle::previewDrawing_data() {
    QTest::addColumn<QByteArray>("previewSize");
    QTest::addColumn<QByteArray>("backColour");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("drawn");
    QTest::addColumn<QRgb>("back");
    QTest::newRow("640x480 in 128, white")
        << QByteArray("2") << QByteArray("0") << QSize(640, 480) << QRect(0, 16, 128, 96) << kWhite;
    QTest::newRow("100x50 in 128, natural size")
        << QByteArray("2") << QByteArray("0") << QSize(100, 50) << QRect(14, 39, 100, 50) << kWhite;
    QTest::newRow("300x600 in 128")
        << QByteArray("2") << QByteArray("1") << QSize(300, 600) << QRect(32, 0, 64, 128) << kBlack;
    QTest::newRow("128x128 fills 128")
        << QByteArray("2") << QByteArray("1") << QSize(128, 128) << QRect(0, 0, 128, 128) << kBlack;
    QTest::newRow("640x480 in 320, black") << QByteArray("5") << QByteArray("1") << QSize(640, 480)
                                           << QRect(0, 40, 320, 240) << kBlack;
    QTest::newRow("1x1 in 64") << QByteArray("1") << QByteArray("0") << QSize(1, 1)
                               << QRect(32, 32, 1, 1) << kWhite;
    QTest::newRow("64x10 in 64") << QByteArray("1") << QByteArray("0") << QSize(64, 10)
                                 << QRect(0, 27, 64, 10) << kWhite;
}

void TestPollCycle::previewDrawing() {
    QFETCH(QByteArray, previewSize);
    QFETCH(QByteArray, backColour);
    QFETCH(QSize, size);
    QFETCH(QRect, drawn);
    QFETCH(QRgb, back);
    QList<QByteArray> settings = settingsWith(2, previewSize);
    settings[5] = backColour;
    Desk desk(settings);
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyPicture(filled(size.width(), size.height(), kRed));
    desk.tick();
    const QImage& canvas = form.pane().Picture1()->canvas();
    QCOMPARE(canvas.size(), QSize(form.pane().previewWidth(), form.pane().previewHeight()));
    const QString mismatch = canvasMismatch(canvas, drawn, kRed, back);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(pictureViewShown(form));
}

void TestPollCycle::unreadableClipboard_data() {
    QTest::addColumn<bool>("withText");
    QTest::newRow("picture") << false;
    QTest::newRow("text and picture") << true;
}

void TestPollCycle::unreadableClipboard() {
    QFETCH(bool, withText);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    const QImage picture = filled(30, 30, kRed);
    FakePlatform::Clipboard content;
    if (withText)
        content.text = u"held"_s;
    content.image = picture;
    content.unreadable = true;
    desk.platform.setClipboard(content);
    form.setWindowTitle(u"before"_s);
    desk.platform.now = 300;
    desk.tick();
    desk.tick();
    // What could not be read is left on the clipboard for a later poll.
    QCOMPARE(desk.platform.clipboardWrites, 0);
    QCOMPARE(storedTexts(history), sixTexts({}));
    QVERIFY(history.store().picture(0).isNull());
    QVERIFY(form.pane().Picture2()->picture().isNull());
    QVERIFY(!form.windowTitle().startsWith(u"X="_s));
    QCOMPARE(form.pane().text(), QString());
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), 300);

    // Once it can be read, the content is taken as usual.
    content.unreadable = false;
    desk.platform.setClipboard(content);
    desk.tick();
    QCOMPARE(history.store().picture(0), picture);
    QCOMPARE(storedTexts(history), withText ? sixTexts({u"held"_s}) : sixTexts({}));
}

void TestPollCycle::contentOnItsWay_data() {
    QTest::addColumn<bool>("heldPicture");
    QTest::addColumn<bool>("newPicture");
    QTest::addColumn<bool>("mainInFront"); // while the held content came
    QTest::newRow("text, then a text") << false << false << false;
    QTest::newRow("text, then a picture") << false << true << false;
    QTest::newRow("picture, then a text") << true << false << false;
    QTest::newRow("picture, then a picture") << true << true << false;
    // The older text was never taken: it must not be taken now either.
    QTest::newRow("text left while at work, then a text") << false << false << true;
}

void TestPollCycle::contentOnItsWay() {
    QFETCH(bool, heldPicture);
    QFETCH(bool, newPicture);
    QFETCH(bool, mainInFront);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    const QImage red = filled(30, 20, kRed);
    const QImage blue = filled(20, 30, kBlue);
    if (heldPicture)
        desk.copyPicture(red);
    else
        desk.copyText(u"held"_s);
    desk.platform.foreground = mainInFront ? Foreground::Main : Foreground::Other;
    desk.tick();
    desk.tick();
    desk.platform.foreground = Foreground::Other;
    const QStringList texts = storedTexts(history);
    const QString title = form.windowTitle();
    const bool pictureBefore = pictureViewShown(form);

    // The new content is still being fetched from its owner: the cycles pass
    // the clipboard over without reading, writing or changing anything.
    desk.platform.pending = true;
    if (newPicture)
        desk.copyPicture(blue);
    else
        desk.copyText(u"new"_s);
    const int reads = desk.platform.clipboardReads;
    const int writes = desk.platform.clipboardWrites;
    for (int tick = 0; tick < 3; ++tick) {
        desk.platform.now = 100 * (tick + 1);
        desk.tick();
        QCOMPARE(desk.platform.clipboardReads, reads);
        QCOMPARE(desk.platform.clipboardWrites, writes);
        QCOMPARE(storedTexts(history), texts);
        QCOMPARE(history.store().picture(0), heldPicture ? red : QImage());
        QCOMPARE(form.windowTitle(), title);
        QCOMPARE(pictureViewShown(form), pictureBefore);
        QVERIFY(form.countdown().hideArmed());
        QCOMPARE(form.countdown().hideStart(), desk.platform.now);
    }
    // A layout change meanwhile still draws the picture held.
    form.poll().con();
    QCOMPARE(pictureViewShown(form), pictureBefore);

    // Once it has arrived it is taken at once, as any new content is.
    desk.platform.release();
    if (newPicture) {
        QCOMPARE(history.store().picture(0), blue);
        QVERIFY(pictureViewShown(form));
    } else {
        QCOMPARE(form.pane().text(), u"new"_s);
        QCOMPARE(storedTexts(history).first(), u"new"_s);
        QVERIFY(textViewShown(form));
    }
    QCOMPARE(desk.platform.clipboardWrites, writes);
}

void TestPollCycle::busy_data() {
    QTest::addColumn<int>("busy");
    QTest::addColumn<bool>("textViewShown");
    QTest::addColumn<bool>("polls");
    QTest::newRow("busy, text view shown") << 1 << true << false;
    QTest::newRow("busy, picture shown") << 1 << false << false;
    QTest::newRow("0") << 0 << true << true;
    QTest::newRow("2 is not busy") << 2 << true << true;
    QTest::newRow("-1 is not busy") << -1 << false << true;
    QTest::newRow("-1, text view shown") << -1 << true << true;
}

void TestPollCycle::busy() {
    QFETCH(int, busy);
    QFETCH(bool, textViewShown);
    QFETCH(bool, polls);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    if (textViewShown)
        desk.copyText(u"x"_s);
    else
        desk.copyPicture(filled(10, 10, kRed));
    desk.tick();
    QCOMPARE(testing::textViewShown(form), textViewShown);

    desk.copyText(u"y"_s);
    form.setWindowTitle(u"before"_s);
    form.countdown().cancel();
    desk.platform.now = 60;
    form.poll().setBusy(busy);
    desk.poll();
    QCOMPARE(form.pane().text(), polls ? u"y"_s : textViewShown ? u"x"_s : QString());
    QCOMPARE(form.windowTitle(), textViewShown ? kTextCaption : u"before"_s);
    QCOMPARE(form.countdown().hideArmed(), polls);
    QCOMPARE(form.poll().busy(), busy);
    QCOMPARE(desk.platform.clipboardWrites, 0);
}

namespace {

void addClipboardRows() {
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<bool>("hasPicture");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<Foreground>("front");
    QTest::addColumn<int>("readsPerChange");
    QTest::newRow("text") << true << false << false << Foreground::Other << 1;
    QTest::newRow("picture") << false << true << false << Foreground::Other << 1;
    QTest::newRow("text and picture") << true << true << false << Foreground::Other << 2;
    QTest::newRow("text, main window in front") << true << false << false << Foreground::Main << 1;
    QTest::newRow("nothing") << false << false << false << Foreground::Other << 0;
    QTest::newRow("unreadable text and picture") << true << true << true << Foreground::Other << 2;
    QTest::newRow("unreadable picture") << false << true << true << Foreground::Other << 1;
}

FakePlatform::Clipboard content(bool hasText, bool hasPicture, bool unreadable, int variant) {
    FakePlatform::Clipboard clipboard;
    if (hasText)
        clipboard.text = u"text %1"_s.arg(variant);
    if (hasPicture)
        clipboard.image = filled(20 + variant, 10, kRed);
    clipboard.unreadable = unreadable;
    return clipboard;
}

} // namespace

void TestPollCycle::readsOncePerChange_data() {
    addClipboardRows();
}

void TestPollCycle::readsOncePerChange() {
    QFETCH(bool, hasText);
    QFETCH(bool, hasPicture);
    QFETCH(bool, unreadable);
    QFETCH(Foreground, front);
    QFETCH(int, readsPerChange);
    Desk desk;
    QVERIFY(desk.loaded);
    desk.platform.foreground = front;
    FakePlatform& platform = desk.platform;

    platform.setClipboard(content(hasText, hasPicture, unreadable, 1));
    for (int n = 0; n < 20; ++n)
        desk.tick();
    QCOMPARE(platform.clipboardWrites, 0); // what was copied stays on the clipboard
    QCOMPARE(platform.formatQueries, 1);
    QCOMPARE(platform.clipboardReads, readsPerChange);

    platform.setClipboard(content(hasText, hasPicture, unreadable, 2));
    for (int n = 0; n < 20; ++n)
        desk.tick();
    QCOMPARE(platform.formatQueries, 2);
    QCOMPARE(platform.clipboardReads, 2 * readsPerChange);
    if (hasText && !unreadable && front != Foreground::Main)
        QCOMPARE(storedTexts(desk.history()), sixTexts({u"text 2"_s, u"text 1"_s}));
}

void TestPollCycle::readsEveryTickWithoutChangeReports_data() {
    addClipboardRows();
}

void TestPollCycle::readsEveryTickWithoutChangeReports() {
    QFETCH(bool, hasText);
    QFETCH(bool, hasPicture);
    QFETCH(bool, unreadable);
    QFETCH(Foreground, front);
    QFETCH(int, readsPerChange);
    Desk desk;
    QVERIFY(desk.loaded);
    desk.platform.foreground = front;
    desk.platform.reportsChanges = false;
    FakePlatform& platform = desk.platform;

    platform.setClipboard(content(hasText, hasPicture, unreadable, 1));
    for (int n = 0; n < 5; ++n) {
        QCOMPARE(platform.clipboardWrites, 0);
        const int queries = platform.formatQueries;
        const int reads = platform.clipboardReads;
        desk.tick();
        QVERIFY(platform.formatQueries > queries);
        QVERIFY(platform.clipboardReads >= reads + readsPerChange);
    }
    // Asking again finds the same content: nothing is pushed twice.
    Form2& history = desk.history();
    if (hasText && !unreadable && front != Foreground::Main)
        QCOMPARE(storedTexts(history), sixTexts({u"text 1"_s}));
    else
        QCOMPARE(storedTexts(history), sixTexts({}));
    QCOMPARE(history.store().picture(0).isNull(), !hasPicture || unreadable);
    QVERIFY(history.store().picture(1).isNull());
}

void TestPollCycle::conWithText_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("textViewShown");
    for (int n = 1; n <= 5; ++n) {
        QTest::addRow("%d, text view shown", n) << n << true;
        QTest::addRow("%d, picture still shown", n) << n << false;
    }
}

void TestPollCycle::conWithText() {
    QFETCH(int, n);
    QFETCH(bool, textViewShown);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyPicture(filled(640, 480, kRed));
    desk.tick();
    desk.copyText(u"t"_s);
    if (textViewShown)
        desk.tick();
    const QImage drawing = form.pane().Picture1()->canvas().copy();

    form.settings().cfgPreviewSize = QString::number(n);
    form.countdown().restart(0);
    form.poll().con();

    const int box = 64 * n + 4;
    QCOMPARE(form.pane().previewWidth(), 64 * n);
    QCOMPARE(form.pane().previewHeight(), 64 * n);
    QCOMPARE(form.pane().Picture1()->size(), QSize(box, box));
    QCOMPARE(form.pane().Text1()->size(), QSize(box, box));
    QCOMPARE(form.width(), box);
    QCOMPARE(testing::textViewShown(form), textViewShown);
    QCOMPARE(pictureViewShown(form), !textViewShown);
    // What was drawn stays where it was.
    const int kept = std::min(64 * n, drawing.width());
    QCOMPARE(form.pane().Picture1()->canvas().copy(0, 0, kept, kept),
             drawing.copy(0, 0, kept, kept));
    QVERIFY(!form.countdown().hideArmed());
}

void TestPollCycle::conWithPicture_data() {
    QTest::addColumn<int>("n");
    for (int n = 1; n <= 5; ++n)
        QTest::addRow("%d", n) << n;
}

void TestPollCycle::conWithPicture() {
    QFETCH(int, n);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyBoth(u"t"_s, filled(640, 480, kRed));
    desk.tick();
    desk.tick(); // the text view is shown, the preview still holds the picture
    QVERIFY(textViewShown(form));

    form.settings().cfgPreviewSize = QString::number(n);
    form.countdown().restart(0);
    form.poll().con();

    QVERIFY(pictureViewShown(form));
    QCOMPARE(form.pane().Picture1()->size(), QSize(64 * n + 4, 64 * n + 4));
    const QImage& canvas = form.pane().Picture1()->canvas();
    QCOMPARE(canvas.size(), QSize(64 * n, 64 * n));
    const QString mismatch = canvasMismatch(canvas, QRect(0, 8 * n, 64 * n, 48 * n), kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(!form.countdown().hideArmed());
}

void TestPollCycle::pollTickDuringEventPass() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(u"A"_s);
    bool innerRan = false;
    QString innerText = u"unset"_s;
    QTimer::singleShot(0, &form, [&] {
        innerRan = true;
        desk.poll();
        innerText = form.pane().text();
    });
    desk.tick();
    QVERIFY(innerRan);
    // The tick inside the cycle started no second cycle.
    QCOMPARE(innerText, QString());
    QCOMPARE(form.pane().text(), u"A"_s);
    QCOMPARE(storedTexts(desk.history()), sixTexts({u"A"_s}));
    QCOMPARE(desk.platform.formatQueries, 1);

    // The guard does not outlive the cycle.
    desk.copyText(u"B"_s);
    desk.tick();
    QCOMPARE(storedTexts(desk.history()), sixTexts({u"B"_s, u"A"_s}));
}

void TestPollCycle::watchTickDuringEventPassOpensTheTextStep() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    Form2& history = desk.history();
    QVERIFY(history.isVisible());

    desk.copyText(u"A"_s);
    desk.platform.foreground = Foreground::Other;
    QTimer::singleShot(0, &history, [&] { history.Timer1_Timer(); });
    desk.tick();
    // The watch hid the history before the cycle asked: the text is taken.
    QVERIFY(!history.isVisible());
    QCOMPARE(form.pane().text(), u"A"_s);
    QCOMPARE(storedTexts(history), sixTexts({u"A"_s}));
}

void TestPollCycle::copyDuringEventPassIsSeen() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(u"early"_s);
    const QImage late = filled(10, 10, kBlue);
    QTimer::singleShot(0, &form, [&] { desk.copyBoth(u"late"_s, late); });
    desk.tick();
    QCOMPARE(form.pane().text(), u"late"_s);
    QCOMPARE(storedTexts(desk.history()), sixTexts({u"late"_s}));
    QCOMPARE(desk.history().store().picture(0), late);
}

void TestPollCycle::droppedTextIsTaken_data() {
    QTest::addColumn<QString>("before"); // what the poll took before the drop
    QTest::addColumn<bool>("duringPoll");
    QTest::newRow("nothing yet") << u"nothing"_s << false;
    QTest::newRow("a text") << u"text"_s << false;
    QTest::newRow("a picture") << u"picture"_s << false;
    QTest::newRow("nothing yet, dropped during a poll") << u"nothing"_s << true;
    QTest::newRow("a text, dropped during a poll") << u"text"_s << true;
}

void TestPollCycle::droppedTextIsTaken() {
    // Dropping a text file puts its text on the clipboard and runs a cycle at
    // once: the cycle takes that text, whatever the text view held before.
    QFETCH(QString, before);
    QFETCH(bool, duringPoll);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    if (before == u"text"_s) {
        desk.copyText(u"earlier"_s);
        desk.tick();
    } else if (before == u"picture"_s) {
        desk.copyPicture(filled(10, 10, kRed));
        desk.tick();
    }
    const QString path = desk.dir.filePath(u"drop.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("dropped\r\n");
    file.close();
    const QString dropped = u"dropped\r\n"_s;

    if (duringPoll) {
        QTimer::singleShot(0, &form, [&] { form.OLEDragDrop(path); });
        desk.poll();
    } else {
        form.OLEDragDrop(path);
    }
    QVERIFY(desk.platform.errorsShown.isEmpty());
    QCOMPARE(desk.platform.clipboard.text.value_or(u"(no text)"_s), dropped);
    QCOMPARE(form.pane().text(), dropped);
    QCOMPARE(desk.history().store().text(0), dropped);
    QCOMPARE(form.poll().busy(), 0);
}

void TestPollCycle::extremePictures_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("1x1") << QSize(1, 1);
    QTest::newRow("1x4000") << QSize(1, 4000);
    QTest::newRow("4000x1") << QSize(4000, 1);
    QTest::newRow("3000x2000") << QSize(3000, 2000);
    QTest::newRow("192x1") << QSize(192, 1);
    QTest::newRow("2x2") << QSize(2, 2);
}

void TestPollCycle::extremePictures() {
    QFETCH(QSize, size);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage picture = filled(size.width(), size.height(), kRed);
    desk.copyPicture(picture);
    desk.tick();
    QCOMPARE(desk.history().store().picture(0), picture);
    QVERIFY(form.pane().fit().drawable);
    QVERIFY(form.pane().fit().drawWidth > 0 && form.pane().fit().drawWidth <= 192);
    QVERIFY(form.pane().fit().drawHeight > 0 && form.pane().fit().drawHeight <= 192);
    QVERIFY(form.pane().fit().drawLeft >= 0 &&
            form.pane().fit().drawLeft + form.pane().fit().drawWidth <= 192);
    QVERIFY(form.pane().fit().drawTop >= 0 &&
            form.pane().fit().drawTop + form.pane().fit().drawHeight <= 192);
    desk.tick();
    QCOMPARE(form.windowTitle(), u"X=%1Y=%2"_s.arg(size.width()).arg(size.height()));
    QVERIFY(desk.history().store().picture(1).isNull());
}

void TestPollCycle::manyTicks() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    const QImage first = filled(50, 40, kRed);
    desk.copyBoth(u"steady"_s, first);
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < 100000; ++n)
        desk.tick();
    qInfo("100000 ticks of an unchanged clipboard: %lld ms", clock.elapsed());
    QCOMPARE(desk.platform.formatQueries, 1);
    QCOMPARE(desk.platform.clipboardReads, 2);
    QCOMPARE(storedTexts(history), sixTexts({u"steady"_s}));
    QVERIFY(history.store().picture(1).isNull());

    // A clipboard that changes on every tick: the history keeps the six newest.
    clock.restart();
    for (int n = 1; n <= 600; ++n) {
        if (n % 2 == 0)
            desk.copyText(u"text %1"_s.arg(n));
        else
            desk.copyPicture(filled(10 + n % 50, 10, qRgb(n % 256, 0, 0)));
        desk.tick();
    }
    qInfo("600 changing ticks: %lld ms", clock.elapsed());
    QCOMPARE(storedTexts(history), QStringList({u"text 600"_s, u"text 598"_s, u"text 596"_s,
                                                u"text 594"_s, u"text 592"_s, u"text 590"_s}));
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot) {
        const int n = 599 - 2 * slot;
        QCOMPARE(history.store().picture(slot), filled(10 + n % 50, 10, qRgb(n % 256, 0, 0)));
    }
    QCOMPARE(form.pane().text(), u"text 600"_s);
}

QTEST_MAIN(TestPollCycle)
#include "test_poll_cycle.moc"
