// The history window and the two history queues, driven through the main
// window's poll and menu on the scripted platform.
#include "support/form1_views.h"

#include <QApplication>
#include <QMenuBar>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

namespace {

QList<Form2*> historyWindows() {
    QList<Form2*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Form2*>(widget))
            found << window;
    }
    return found;
}

// Each text in turn copied by another program and taken by one poll.
void copyEach(Desk& desk, const QStringList& texts) {
    for (const QString& text : texts) {
        desk.copyText(text);
        desk.tick();
    }
}

// Consecutive repeats dropped.
QStringList distinct(const QStringList& values) {
    QStringList kept;
    for (const QString& value : values) {
        if (kept.isEmpty() || kept.last() != value)
            kept << value;
    }
    return kept;
}

enum class Edit { Typing, Insert, Replace };

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void createdHiddenOnFirstUse();
    void openFromMenu_data();
    void openFromMenu();
    void watchTick_data();
    void watchTick();
    void textQueue_data();
    void textQueue();
    void pushLeavesSlotsAsShifted();
    void queuesAreIndependent();
    void thumbnails_data();
    void thumbnails();
    void slotEdit_data();
    void slotEdit();
    void mainViewEditReachesSlotZeroOnlyWhileHidden_data();
    void mainViewEditReachesSlotZeroOnlyWhileHidden();
    void reopeningKeepsSlots();
    void closedFromItsTitleBar();
};

void TestHistoryWindow::createdHiddenOnFirstUse() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QVERIFY(historyWindows().isEmpty());
    QVERIFY(!form.historyShown());

    // The first text the poll takes goes into the history: the window exists
    // from then on, hidden, with its watch stopped.
    desk.copyText(u"first"_s);
    desk.tick();
    QCOMPARE(historyWindows().size(), 1);
    Form2* window = historyWindows().first();
    QCOMPARE(&form.history(), window);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->Timer1()->isActive());
    QCOMPARE(window->windowTitle(), u"履歴"_s);
    QCOMPARE(window->Text1(0)->toPlainText(), u"first"_s);
    QCOMPARE(&form.history(), window); // one window for the whole run
}

void TestHistoryWindow::openFromMenu_data() {
    QTest::addColumn<QByteArray>("topmostLine");
    QTest::newRow("main window on top") << QByteArray("1");
    QTest::newRow("main window not on top") << QByteArray("0");
}

void TestHistoryWindow::openFromMenu() {
    QFETCH(QByteArray, topmostLine);
    Desk desk(settingsWith(1, topmostLine));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::History;
    const qsizetype calls = desk.platform.topmostCalls.size();
    form.menu().rire->trigger();

    Form2& history = desk.history();
    QVERIFY(history.isVisible());
    QVERIFY(form.historyShown());
    QVERIFY(history.Timer1()->isActive());
    QCOMPARE(history.Timer1()->interval(), 100);
    QCOMPARE(desk.platform.topmostCalls.size(), calls + 1);
    QCOMPARE(desk.platform.topmostCalls.last().window, &form);
    QVERIFY(!desk.platform.topmostCalls.last().on);
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Choosing it again while shown: still shown, the watch running.
    history.Timer1()->stop();
    form.menu().rire->trigger();
    QVERIFY(history.isVisible());
    QVERIFY(history.Timer1()->isActive());
    QCOMPARE(history.Timer1()->interval(), 100);
    QCOMPARE(historyWindows().size(), 1);
}

void TestHistoryWindow::watchTick_data() {
    QTest::addColumn<Foreground>("front");
    QTest::addColumn<QString>("topmostSetting");
    QTest::addColumn<QString>("previewSetting");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("backOnTop");
    const Foreground history = Foreground::History;
    const Foreground none = Foreground::None;
    const Foreground main = Foreground::Main;
    const Foreground other = Foreground::Other;
    QTest::newRow("history in front") << history << u"1"_s << u"3"_s << false << false;
    QTest::newRow("no window in front") << none << u"1"_s << u"3"_s << false << false;
    QTest::newRow("main window, on top 1") << main << u"1"_s << u"3"_s << true << true;
    QTest::newRow("other program, on top 1") << other << u"1"_s << u"3"_s << true << true;
    QTest::newRow("main window, on top 0") << main << u"0"_s << u"3"_s << true << false;
    QTest::newRow("other program, on top empty") << other << QString() << u"3"_s << true << false;
    QTest::newRow("on top ' 1'") << other << u" 1"_s << u"3"_s << true << false;
    QTest::newRow("on top '1 '") << other << u"1 "_s << u"3"_s << true << false;
    QTest::newRow("on top '-1'") << other << u"-1"_s << u"3"_s << true << false;
    QTest::newRow("preview size chosen meanwhile") << main << u"1"_s << u"5"_s << true << true;
    QTest::newRow("preview size 1") << other << u"0"_s << u"1"_s << true << false;
}

void TestHistoryWindow::watchTick() {
    QFETCH(Foreground, front);
    QFETCH(QString, topmostSetting);
    QFETCH(QString, previewSetting);
    QFETCH(bool, closes);
    QFETCH(bool, backOnTop);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyText(u"t"_s);
    desk.tick();
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    Form2& history = desk.history();

    // The main window shrunk meanwhile, as auto-hide does, and the countdown armed.
    form.applyFullSizeLayout(2);
    form.resize(form.width(), form.menuBar()->height());
    const QSize shrunk = form.size();
    form.settings().cfgTopmost = topmostSetting;
    form.settings().cfgPreviewSize = previewSetting;
    form.countdown().restart(42);
    const qsizetype calls = desk.platform.topmostCalls.size();
    const int queries = desk.platform.formatQueries;
    desk.platform.foreground = front;
    history.Timer1_Timer();

    QCOMPARE(desk.platform.formatQueries, queries); // the clipboard is not consulted
    if (!closes) {
        QVERIFY(history.isVisible());
        QVERIFY(history.Timer1()->isActive());
        QCOMPARE(desk.platform.topmostCalls.size(), calls);
        QCOMPARE(form.size(), shrunk);
        QCOMPARE(form.pane().previewWidth(), 128);
        QVERIFY(form.countdown().hideArmed());
        return;
    }
    QVERIFY(!history.isVisible());
    QVERIFY(!form.historyShown());
    QVERIFY(!history.Timer1()->isActive());
    QCOMPARE(desk.platform.topmostCalls.size(), calls + (backOnTop ? 1 : 0));
    if (backOnTop) {
        QCOMPARE(desk.platform.topmostCalls.last().window, &form);
        QVERIFY(desk.platform.topmostCalls.last().on);
    }
    const int n = previewSetting.toInt();
    const int box = 64 * n + 4;
    QCOMPARE(form.cfgValue(), n);
    QCOMPARE(form.pane().previewWidth(), 64 * n);
    QCOMPARE(form.pane().previewHeight(), 64 * n);
    QCOMPARE(form.pane().Picture1()->size(), QSize(box, box));
    QCOMPARE(form.pane().Text1()->size(), QSize(box, box));
    QCOMPARE(form.size(), QSize(box, box + form.menuBar()->height()));
    QVERIFY(!form.countdown().hideArmed());
    // Nothing else of the main window changes.
    QCOMPARE(form.pane().text(), u"t"_s);
    QVERIFY(!form.pane().Text1()->isHidden());

    // The next opening starts the watch again.
    form.rire_Click();
    QVERIFY(history.isVisible());
    QVERIFY(history.Timer1()->isActive());
}

void TestHistoryWindow::textQueue_data() {
    QTest::addColumn<QStringList>("copied");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one") << QStringList{u"one"_s} << sixTexts({u"one"_s});
    QTest::newRow("a b c") << QStringList{u"a"_s, u"b"_s, u"c"_s}
                           << sixTexts({u"c"_s, u"b"_s, u"a"_s});
    QTest::newRow("six fill every slot")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s}
        << QStringList{u"6"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s, u"1"_s};
    QTest::newRow("seven drop the first")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}
        << QStringList{u"7"_s, u"6"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s};
    QTest::newRow("a b a") << QStringList{u"a"_s, u"b"_s, u"a"_s}
                           << sixTexts({u"a"_s, u"b"_s, u"a"_s});
    QTest::newRow("an empty text between")
        << QStringList{u"a"_s, QString(), u"b"_s} << sixTexts({u"b"_s, QString(), u"a"_s});
    QTest::newRow("several lines")
        << QStringList{u"x\ny"_s, u"z\n\nw"_s} << sixTexts({u"z\n\nw"_s, u"x\ny"_s});
}

void TestHistoryWindow::textQueue() {
    QFETCH(QStringList, copied);
    QFETCH(QStringList, expected);
    Desk desk;
    QVERIFY(desk.loaded);
    copyEach(desk, copied);
    Form2& history = desk.history();
    QCOMPARE(slotBoxTexts(history), expected);
    QCOMPARE(storedTexts(history), expected);
    QCOMPARE(desk.main().pane().text(), copied.last());
    QCOMPARE(desk.main().pane().Text1()->toPlainText(), copied.last());
    // Showing the history changes none of it.
    desk.platform.foreground = Foreground::History;
    desk.main().rire_Click();
    QCOMPARE(slotBoxTexts(history), expected);
    QCOMPARE(storedTexts(history), expected);
}

void TestHistoryWindow::pushLeavesSlotsAsShifted() {
    // Texts that a text box would not give back as they were set: were any
    // slot rewritten from its box during a push, they would come out changed.
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QStringList copied = {u"a\r\nb"_s, u"c\rd"_s, u"e\u2029f"_s, u"plain"_s};
    QStringList changesSeen; // the main text view after each of its changes
    connect(form.pane().Text1(), &QPlainTextEdit::textChanged, this,
            [&] { changesSeen << form.pane().text(); });
    copyEach(desk, copied);
    QCOMPARE(storedTexts(desk.history()),
             sixTexts({u"plain"_s, u"e\u2029f"_s, u"c\rd"_s, u"a\r\nb"_s}));
    QCOMPARE(form.pane().text(), u"plain"_s);
    // The main text view only ever took the texts copied, in order.
    QCOMPARE(distinct(changesSeen), copied);
}

void TestHistoryWindow::queuesAreIndependent() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form2& history = desk.history();
    const QImage p = filled(30, 20, kRed);
    const QImage q = filled(20, 30, kBlue);
    desk.copyText(u"a"_s);
    desk.tick();
    desk.copyPicture(p);
    desk.tick();
    QCOMPARE(storedTexts(history), sixTexts({u"a"_s}));
    desk.copyText(u"b"_s);
    desk.tick();
    QCOMPARE(history.store().picture(0), p);
    QVERIFY(history.store().picture(1).isNull());
    desk.copyPicture(q);
    desk.tick();
    QCOMPARE(storedTexts(history), sixTexts({u"b"_s, u"a"_s}));
    QCOMPARE(history.store().picture(0), q);
    QCOMPARE(history.store().picture(1), p); // at its natural size
    QVERIFY(history.store().picture(2).isNull());
}

void TestHistoryWindow::thumbnails_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("drawn"); // in the 96 x 96 drawing area of the box
    QTest::newRow("200x100") << QSize(200, 100) << QRect(0, 24, 96, 48);
    QTest::newRow("50x30 unscaled") << QSize(50, 30) << QRect(23, 33, 50, 30);
    QTest::newRow("1000x1000") << QSize(1000, 1000) << QRect(0, 0, 96, 96);
    QTest::newRow("96x96") << QSize(96, 96) << QRect(0, 0, 96, 96);
    QTest::newRow("48x192") << QSize(48, 192) << QRect(36, 0, 24, 96);
    QTest::newRow("1x1") << QSize(1, 1) << QRect(48, 48, 1, 1);
}

void TestHistoryWindow::thumbnails() {
    QFETCH(QSize, size);
    QFETCH(QRect, drawn);
    Desk desk;
    QVERIFY(desk.loaded);
    Form2& history = desk.history();
    desk.copyPicture(filled(size.width(), size.height(), kRed));
    desk.tick();
    QString mismatch = canvasMismatch(history.Picture1(0)->canvas(), drawn, kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QCOMPARE(history.Picture1(0)->canvas().size(), QSize(96, 96));
    for (int slot = 1; slot < HistoryStore::kSlots; ++slot) {
        mismatch = canvasMismatch(history.Picture1(slot)->canvas(), QRect(), kWhite, kWhite);
        QVERIFY2(mismatch.isEmpty(), qPrintable(u"slot %1: %2"_s.arg(slot).arg(mismatch)));
    }

    // The next picture pushes it one box on.
    desk.copyPicture(filled(10, 10, kBlue));
    desk.tick();
    mismatch = canvasMismatch(history.Picture1(0)->canvas(), QRect(43, 43, 10, 10), kBlue, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    mismatch = canvasMismatch(history.Picture1(1)->canvas(), drawn, kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    mismatch = canvasMismatch(history.Picture1(2)->canvas(), QRect(), kWhite, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestHistoryWindow::slotEdit_data() {
    QTest::addColumn<int>("pushes");
    QTest::addColumn<int>("slot");
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("pictureShown");
    QTest::newRow("typing in slot 0") << 6 << 0 << Edit::Typing << u"xy"_s << false;
    QTest::newRow("typing in slot 3") << 6 << 3 << Edit::Typing << u"xy"_s << false;
    QTest::newRow("typing in slot 5") << 6 << 5 << Edit::Typing << u"q"_s << false;
    QTest::newRow("typing in an empty slot") << 3 << 4 << Edit::Typing << u"abc"_s << false;
    QTest::newRow("pasting into slot 2") << 6 << 2 << Edit::Insert << u"pasted\ntext"_s << false;
    QTest::newRow("replacing slot 1") << 6 << 1 << Edit::Replace << u"whole new"_s << false;
    QTest::newRow("clearing slot 4") << 6 << 4 << Edit::Replace << QString() << false;
    QTest::newRow("typing while a picture is shown") << 6 << 2 << Edit::Typing << u"z"_s << true;
}

void TestHistoryWindow::slotEdit() {
    QFETCH(int, pushes);
    QFETCH(int, slot);
    QFETCH(Edit, edit);
    QFETCH(QString, input);
    QFETCH(bool, pictureShown);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QStringList copied;
    for (int n = 1; n <= pushes; ++n)
        copied << u"text %1"_s.arg(n);
    copyEach(desk, copied);
    if (pictureShown) {
        desk.copyPicture(filled(20, 20, kRed));
        desk.tick();
    }
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    Form2& history = desk.history();
    const QStringList before = storedTexts(history);

    QStringList steps; // the whole slot text after each change
    QStringList seen;  // the main text view after each of its changes
    connect(form.pane().Text1(), &QPlainTextEdit::textChanged, this,
            [&] { seen << form.pane().text(); });
    QPlainTextEdit* box = history.Text1(slot);
    box->moveCursor(QTextCursor::End);
    switch (edit) {
    case Edit::Typing:
        for (int k = 1; k <= input.size(); ++k)
            steps << before[slot] + input.left(k);
        QTest::keyClicks(box, input);
        break;
    case Edit::Insert:
        steps << before[slot] + input;
        box->insertPlainText(input);
        break;
    case Edit::Replace:
        steps << input;
        box->setPlainText(input);
        break;
    }
    // The main text view took the slot's whole text after every change.
    QCOMPARE(distinct(seen), steps);

    const QString whole = steps.last();
    QCOMPARE(box->toPlainText(), whole);
    QCOMPARE(form.pane().text(), whole);
    QCOMPARE(form.pane().Text1()->toPlainText(), whole);
    QStringList after = before;
    after[slot] = whole;
    QCOMPARE(storedTexts(history), after); // slot 0 follows no edit while shown
    QCOMPARE(!form.pane().Picture1()->isHidden(), pictureShown);
    QCOMPARE(form.pane().Text1()->isHidden(), pictureShown);
    QVERIFY(history.isVisible());
}

void TestHistoryWindow::mainViewEditReachesSlotZeroOnlyWhileHidden_data() {
    QTest::addColumn<bool>("historyOpen");
    QTest::newRow("history hidden") << false;
    QTest::newRow("history shown") << true;
}

void TestHistoryWindow::mainViewEditReachesSlotZeroOnlyWhileHidden() {
    QFETCH(bool, historyOpen);
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    copyEach(desk, {u"a"_s, u"b"_s});
    desk.platform.foreground = Foreground::Main;
    if (historyOpen) {
        desk.platform.foreground = Foreground::History;
        form.rire_Click();
    }
    form.pane().Text1()->moveCursor(QTextCursor::End);
    QTest::keyClicks(form.pane().Text1(), u"cd"_s);
    QCOMPARE(form.pane().text(), u"bcd"_s);
    const QStringList expected =
        historyOpen ? sixTexts({u"b"_s, u"a"_s}) : sixTexts({u"bcd"_s, u"a"_s});
    QCOMPARE(storedTexts(desk.history()), expected);
    QCOMPARE(slotBoxTexts(desk.history()), expected);
}

void TestHistoryWindow::reopeningKeepsSlots() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    Form2& history = desk.history();
    const QImage red = filled(40, 40, kRed);
    copyEach(desk, {u"a"_s, u"b"_s, u"c"_s});
    desk.copyPicture(red);
    desk.tick();

    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    desk.platform.foreground = Foreground::Main;
    history.Timer1_Timer();
    QVERIFY(!history.isVisible());

    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    QVERIFY(history.isVisible());
    QCOMPARE(storedTexts(history), sixTexts({u"c"_s, u"b"_s, u"a"_s}));
    QCOMPARE(slotBoxTexts(history), sixTexts({u"c"_s, u"b"_s, u"a"_s}));
    QCOMPARE(history.store().picture(0), red);
    QString mismatch =
        canvasMismatch(history.Picture1(0)->canvas(), QRect(28, 28, 40, 40), kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    // Pushed while hidden: shown on the next opening, the rest moved on.
    desk.platform.foreground = Foreground::Other;
    history.Timer1_Timer();
    desk.copyBoth(u"d"_s, filled(20, 20, kBlue));
    desk.tick();
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    QCOMPARE(slotBoxTexts(history), sixTexts({u"d"_s, u"c"_s, u"b"_s, u"a"_s}));
    QCOMPARE(history.store().picture(1), red);
    mismatch = canvasMismatch(history.Picture1(1)->canvas(), QRect(28, 28, 40, 40), kRed, kWhite);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestHistoryWindow::closedFromItsTitleBar() {
    // The program itself only hides the window; a close by the user must
    // leave the slots in place for the poll and for the next opening.
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    copyEach(desk, {u"a"_s, u"b"_s});
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    Form2& history = desk.history();
    QVERIFY(history.close());
    QVERIFY(!form.historyShown());

    desk.platform.foreground = Foreground::Other;
    desk.copyText(u"c"_s);
    desk.tick();
    QCOMPARE(&form.history(), &history);
    desk.platform.foreground = Foreground::History;
    form.rire_Click();
    QVERIFY(history.isVisible());
    QCOMPARE(slotBoxTexts(history), sixTexts({u"c"_s, u"b"_s, u"a"_s}));
}

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
