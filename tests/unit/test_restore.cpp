// Restoring a history entry: a picture slot click draws the picture in the
// preview, records it as the picture seen last and puts it on the clipboard;
// a text slot click shows the text. Neither touches the history.
#include "support/form1_views.h"

#include <QMenuBar>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

namespace {

// Another program copies each picture in turn, each seen by a poll.
void copyPictures(Desk& desk, const QList<QImage>& pictures) {
    for (const QImage& picture : pictures) {
        desk.copyPicture(picture);
        desk.tick();
    }
}

// The user opens the history window, which comes to the front.
Form2& openHistory(Desk& desk) {
    desk.main().rire_Click();
    desk.platform.foreground = Foreground::History;
    return desk.history();
}

// Everything the history holds, to compare before and after.
struct HistorySnapshot {
    QList<QImage> pictures;
    QStringList texts;

    explicit HistorySnapshot(const Form2& window) : texts(storedTexts(window)) {
        for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
            pictures << window.store().picture(slot);
    }
    // Empty when `window` holds the same; else names the first difference.
    QString differenceTo(const Form2& window) const {
        for (int slot = 0; slot < HistoryStore::kSlots; ++slot) {
            const QImage now = window.store().picture(slot);
            if (now.isNull() != pictures[slot].isNull() ||
                (!now.isNull() && !samePixels(now, pictures[slot])))
                return QStringLiteral("picture slot %1 changed").arg(slot);
        }
        if (storedTexts(window) != texts)
            return QStringLiteral("texts changed");
        return {};
    }
};

} // namespace

class TestRestore : public QObject {
    Q_OBJECT
private slots:
    void pictureSlot_data();
    void pictureSlot();
    void nextPollFindsItUnchanged_data();
    void nextPollFindsItUnchanged();
    void emptyPictureSlot_data();
    void emptyPictureSlot();
    void switchesTheView_data();
    void switchesTheView();
    void windowKeepsItsSize_data();
    void windowKeepsItsSize();
    void sameSlotTwice();
    void failedClipboardWrite();
    void textSlot_data();
    void textSlot();
};

void TestRestore::pictureSlot_data() {
    QTest::addColumn<QByteArray>("previewSize");
    QTest::addColumn<QByteArray>("backColour");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("drawn");
    QTest::addColumn<bool>("byMouse");
    QTest::newRow("wider than 192, scaled down")
        << QByteArray("3") << QByteArray("0") << QSize(384, 192) << QRect(0, 48, 192, 96) << false;
    QTest::newRow("taller than 128, scaled down, black")
        << QByteArray("2") << QByteArray("1") << QSize(300, 600) << QRect(32, 0, 64, 128) << false;
    QTest::newRow("smaller than 192, natural size centred")
        << QByteArray("3") << QByteArray("0") << QSize(50, 30) << QRect(71, 81, 50, 30) << false;
    QTest::newRow("exactly 64") << QByteArray("1") << QByteArray("1") << QSize(64, 64)
                                << QRect(0, 0, 64, 64) << false;
    QTest::newRow("one pixel in 320")
        << QByteArray("5") << QByteArray("0") << QSize(1, 1) << QRect(160, 160, 1, 1) << false;
    QTest::newRow("wider than 64 only")
        << QByteArray("1") << QByteArray("0") << QSize(128, 32) << QRect(0, 24, 64, 16) << false;
    QTest::newRow("clicked with the mouse")
        << QByteArray("3") << QByteArray("0") << QSize(384, 192) << QRect(0, 48, 192, 96) << true;
}

void TestRestore::pictureSlot() {
    QFETCH(QByteArray, previewSize);
    QFETCH(QByteArray, backColour);
    QFETCH(QSize, size);
    QFETCH(QRect, drawn);
    QFETCH(bool, byMouse);
    QList<QByteArray> settings = settingsWith(2, previewSize);
    settings[5] = backColour;
    Desk desk(settings);
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage restored = filled(size.width(), size.height(), kRed);
    copyPictures(desk, {restored, filled(70, 90, kBlue)});
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);
    const QSize windowSize = form.size();
    const int writes = desk.platform.clipboardWrites;
    form.countdown().restart(99);

    if (byMouse)
        QTest::mouseClick(history.Picture1(1), Qt::LeftButton);
    else
        history.Picture1_Click(1);

    // Drawn fitted and centred on a cleared preview.
    QVERIFY(pictureViewShown(form));
    const QImage& canvas = form.pane().Picture1()->canvas();
    QCOMPARE(canvas.size(), QSize(form.pane().previewWidth(), form.pane().previewHeight()));
    const QString mismatch =
        canvasMismatch(canvas, drawn, kRed, backColour == "1" ? kBlack : kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // Held and recorded as the picture seen last.
    QVERIFY(samePixels(form.pane().Picture2()->picture(), restored));
    QVERIFY(form.poll().fingerprint().matchkey(restored));
    QCOMPARE(form.poll().fingerprint().picKey(), 2.0 * size.width() + size.height());
    // On the clipboard at once, alone, while the history window is open.
    QCOMPARE(desk.platform.clipboardWrites, writes + 1);
    QVERIFY(samePixels(desk.platform.clipboard.image, restored));
    QVERIFY(!desk.platform.clipboard.text);
    QVERIFY(form.historyShown());
    // Nothing else moves: the history, the window, the countdown.
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
    QCOMPARE(form.size(), windowSize);
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), qint64(99));
}

void TestRestore::nextPollFindsItUnchanged_data() {
    QTest::addColumn<bool>("historyClosed");
    QTest::addColumn<bool>("fromText"); // the main window showed text before
    QTest::newRow("history still open") << false << false;
    QTest::newRow("history closed meanwhile") << true << false;
    QTest::newRow("text shown before, history open") << false << true;
    QTest::newRow("text shown before, history closed") << true << true;
}

void TestRestore::nextPollFindsItUnchanged() {
    QFETCH(bool, historyClosed);
    QFETCH(bool, fromText);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage restored = filled(240, 120, kRed);
    copyPictures(desk, {restored, filled(30, 30, kBlue)});
    if (fromText) {
        desk.copyText(QStringLiteral("text"));
        desk.tick();
        QVERIFY(textViewShown(form));
    }
    Form2& history = openHistory(desk);
    history.Picture1_Click(1);
    const QImage canvas = form.pane().Picture1()->canvas().copy();
    if (historyClosed) {
        desk.platform.foreground = Foreground::Other;
        history.Timer1_Timer();
        QVERIFY(!form.historyShown());
    }
    const HistorySnapshot before(history);
    const int writes = desk.platform.clipboardWrites;
    form.countdown().restart(99);
    form.countdown().cancel();
    desk.platform.now = 5000;

    for (int tick = 0; tick < 3; ++tick)
        desk.tick();

    // Not new: no redraw, no push, no restart of the countdown.
    QVERIFY(pictureViewShown(form));
    QCOMPARE(form.pane().Picture1()->canvas(), canvas);
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
    QVERIFY(!form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), qint64(99));
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QVERIFY(samePixels(desk.platform.clipboard.image, restored));
    // The caption gives the restored picture's size.
    QCOMPARE(form.windowTitle(), QStringLiteral("X=240Y=120"));
}

void TestRestore::emptyPictureSlot_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<bool>("textShown");
    for (int slot = 2; slot <= 5; ++slot)
        QTest::addRow("slot %d, picture shown", slot) << slot << false;
    QTest::newRow("slot 5, text shown") << 5 << true;
}

void TestRestore::emptyPictureSlot() {
    QFETCH(int, slot);
    QFETCH(bool, textShown);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage current = filled(80, 60, kBlue);
    copyPictures(desk, {filled(40, 40, kRed), current});
    if (textShown) {
        desk.copyText(QStringLiteral("text"));
        desk.tick();
    }
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);
    const QImage canvas = form.pane().Picture1()->canvas().copy();
    const double picKey = form.poll().fingerprint().picKey();
    const auto picSamples = form.poll().fingerprint().picSamples();
    const int writes = desk.platform.clipboardWrites;
    const quint64 changes = desk.platform.clipboardChanges;
    const QSize windowSize = form.size();

    history.Picture1_Click(slot);

    QCOMPARE(form.pane().pictureShown(), !textShown);
    QCOMPARE(form.pane().Text1()->isHidden(), !textShown);
    QCOMPARE(form.pane().Picture1()->canvas(), canvas);
    QVERIFY(samePixels(form.pane().Picture2()->picture(), current));
    QCOMPARE(form.poll().fingerprint().picKey(), picKey);
    QVERIFY(form.poll().fingerprint().picSamples() == picSamples);
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(desk.platform.clipboardChanges, changes);
    QCOMPARE(form.size(), windowSize);
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

void TestRestore::switchesTheView_data() {
    QTest::addColumn<bool>("pictureFirst"); // the main window shows a picture first
    QTest::addColumn<bool>("restorePicture");
    QTest::newRow("picture restored while text shown") << false << true;
    QTest::newRow("text restored while picture shown") << true << false;
    QTest::newRow("picture restored while picture shown") << true << true;
    QTest::newRow("text restored while text shown") << false << false;
}

void TestRestore::switchesTheView() {
    QFETCH(bool, pictureFirst);
    QFETCH(bool, restorePicture);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage picture = filled(100, 100, kGreen);
    if (pictureFirst) {
        desk.copyText(QStringLiteral("restored text"));
        desk.tick();
        copyPictures(desk, {picture});
    } else {
        copyPictures(desk, {picture});
        desk.copyText(QStringLiteral("restored text"));
        desk.tick();
        desk.copyText(QStringLiteral("shown text"));
        desk.tick();
    }
    QCOMPARE(form.pane().pictureShown(), pictureFirst);
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);
    const QString textBefore = form.pane().text();
    const int writes = desk.platform.clipboardWrites;
    const std::optional<QString> clipboardText = desk.platform.clipboard.text;
    const int textSlot = pictureFirst ? 0 : 1;

    if (restorePicture)
        history.Picture1_Click(0);
    else
        history.Text1_Click(textSlot);

    if (restorePicture) {
        QVERIFY(pictureViewShown(form));
        QVERIFY(samePixels(desk.platform.clipboard.image, picture));
        QCOMPARE(desk.platform.clipboardWrites, writes + 1);
        // The text view keeps its text, hidden.
        QCOMPARE(form.pane().text(), textBefore);
    } else {
        QVERIFY(textViewShown(form));
        QCOMPARE(form.pane().text(), QStringLiteral("restored text"));
        QCOMPARE(form.pane().Text1()->toPlainText(), QStringLiteral("restored text"));
        // The click itself leaves the clipboard alone.
        QCOMPARE(desk.platform.clipboardWrites, writes);
        QCOMPARE(desk.platform.clipboard.text, clipboardText);
    }
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
    QVERIFY(form.historyShown());
}

void TestRestore::windowKeepsItsSize_data() {
    QTest::addColumn<QSize>("byHand"); // empty: the full-size layout
    QTest::addColumn<bool>("collapsed");
    QTest::newRow("full size") << QSize() << false;
    QTest::newRow("collapsed to its bars") << QSize() << true;
    QTest::newRow("resized by hand, larger") << QSize(500, 400) << false;
    QTest::newRow("resized by hand, smaller") << QSize(150, 120) << false;
}

void TestRestore::windowKeepsItsSize() {
    QFETCH(QSize, byHand);
    QFETCH(bool, collapsed);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    copyPictures(desk, {filled(600, 300, kRed), filled(20, 20, kBlue)});
    Form2& history = openHistory(desk);
    if (collapsed)
        form.resize(form.width(), form.menuBar()->height());
    else if (byHand.isValid())
        form.resize(byHand);
    const QSize size = form.size();
    const QSize pictureBox = form.pane().Picture1()->size();

    history.Picture1_Click(1);
    history.Picture1_Click(0);
    history.Picture1_Click(1);

    QCOMPARE(form.size(), size);
    QCOMPARE(form.pane().Picture1()->size(), pictureBox);
    QCOMPARE(form.pane().previewWidth(), 192);
    // Drawn for the preview side all the same.
    const QString mismatch =
        canvasMismatch(form.pane().Picture1()->canvas(), QRect(0, 48, 192, 96), kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestRestore::sameSlotTwice() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage restored = filled(90, 200, kRed);
    copyPictures(desk, {filled(10, 10, kGreen), restored, filled(300, 300, kBlue)});
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);

    history.Picture1_Click(1);
    const QImage canvas = form.pane().Picture1()->canvas().copy();
    const double picKey = form.poll().fingerprint().picKey();
    const auto picSamples = form.poll().fingerprint().picSamples();

    history.Picture1_Click(1);

    QCOMPARE(form.pane().Picture1()->canvas(), canvas);
    QCOMPARE(form.poll().fingerprint().picKey(), picKey);
    QVERIFY(form.poll().fingerprint().picSamples() == picSamples);
    QVERIFY(form.poll().fingerprint().matchkey(restored));
    QVERIFY(samePixels(desk.platform.clipboard.image, restored));
    QVERIFY(pictureViewShown(form));
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

void TestRestore::failedClipboardWrite() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QImage restored = filled(384, 192, kRed);
    const QImage current = filled(40, 40, kBlue);
    copyPictures(desk, {restored, current});
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);
    desk.platform.failClipboardWrites = true;

    history.Picture1_Click(1);

    // Drawn and recorded as if the write had worked; the clipboard is as it was.
    QVERIFY(pictureViewShown(form));
    const QString mismatch =
        canvasMismatch(form.pane().Picture1()->canvas(), QRect(0, 48, 192, 96), kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(samePixels(form.pane().Picture2()->picture(), restored));
    QVERIFY(form.poll().fingerprint().matchkey(restored));
    QVERIFY(!form.poll().fingerprint().matchkey(current));
    QVERIFY(samePixels(desk.platform.clipboard.image, current));
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
}

void TestRestore::textSlot_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("expected");
    QTest::newRow("newest") << 0 << QStringLiteral("third");
    QTest::newRow("oldest held") << 2 << QStringLiteral("first");
    QTest::newRow("empty slot empties the view") << 5 << QString();
}

void TestRestore::textSlot() {
    QFETCH(int, slot);
    QFETCH(QString, expected);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    for (const QString& text :
         {QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}) {
        desk.copyText(text);
        desk.tick();
    }
    copyPictures(desk, {filled(50, 50, kRed)});
    Form2& history = openHistory(desk);
    const HistorySnapshot before(history);
    const QImage canvas = form.pane().Picture1()->canvas().copy();
    const double picKey = form.poll().fingerprint().picKey();
    const int writes = desk.platform.clipboardWrites;

    history.Text1_Click(slot);
    history.Text1_Click(slot); // twice is the same as once

    QVERIFY(textViewShown(form));
    QCOMPARE(form.pane().text(), expected);
    QCOMPARE(form.pane().Text1()->toPlainText(), expected);
    QCOMPARE(form.poll().textWrittenBack(), 0);
    QCOMPARE(desk.platform.clipboardWrites, writes);
    // The history, slot 0 included, and the picture state stay as they were.
    const QString changed = before.differenceTo(history);
    QVERIFY2(changed.isEmpty(), qPrintable(changed));
    QCOMPARE(form.poll().fingerprint().picKey(), picKey);
    QCOMPARE(form.pane().Picture1()->canvas(), canvas);
}

QTEST_MAIN(TestRestore)
#include "test_restore.moc"
