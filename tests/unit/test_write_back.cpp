// The text view's way back to the clipboard: once per departure from the main
// window, never while a picture is shown, never for nothing, and never lost
// to a poll that comes first or to a clipboard held by another program.
#include "support/form1_views.h"

#include <QApplication>
#include <QTest>
#include <QTextCursor>

using namespace pomorina;
using namespace pomorina::testing;

Q_DECLARE_METATYPE(QList<pomorina::Foreground>)

namespace {

// A started main window showing `text`, taken from the clipboard by a poll
// while another program was in front, and already written back.
struct TextDesk : Desk {
    explicit TextDesk(const QString& text = QStringLiteral("copied")) {
        copyText(text);
        form->Timer1_Timer();
        form->Timer3_Timer();
    }
};

// The user types at the end of the text view.
void typeAtEnd(Form1& form, const QString& keys) {
    form.pane().Text1()->moveCursor(QTextCursor::End);
    QTest::keyClicks(form.pane().Text1(), keys);
}

QString clipboardText(const FakePlatform& platform) {
    return platform.clipboard.text.value_or(QStringLiteral("<no text>"));
}

// The two ways a newer copy arrives after the view took "taken" from the
// clipboard.
void addClipboardHeldRows() {
    QTest::addColumn<bool>("clipboardHeld");
    QTest::newRow("copied before the next write-back tick") << false;
    QTest::newRow("copied by the program that held the clipboard") << true;
}

// With "taken" in the view and another program in front, a newer copy
// arrives (if `clipboardHeld`, from the program that held the clipboard
// through a write-back tick); write-back ticks and a poll leave it on the
// clipboard, unwritten over, and bring it into the view.
void newerCopySurvives(Desk& desk, bool clipboardHeld) {
    Form1& form = desk.main();
    if (clipboardHeld) {
        // Another program takes the clipboard and is still writing to it.
        desk.platform.setClipboard({QStringLiteral("taken"), {}, true});
        desk.platform.failClipboardWrites = true;
        form.Timer3_Timer();
        desk.platform.failClipboardWrites = false;
    }
    desk.copyText(QStringLiteral("newer"));
    const int writes = desk.platform.clipboardWrites;

    form.Timer3_Timer();
    desk.poll();
    form.Timer3_Timer();

    QCOMPARE(clipboardText(desk.platform), QStringLiteral("newer"));
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(form.pane().text(), QStringLiteral("newer"));
}

} // namespace

class TestWriteBack : public QObject {
    Q_OBJECT
private slots:
    void oncePerDeparture_data();
    void oncePerDeparture();
    void nothingWhilePictureShown_data();
    void nothingWhilePictureShown();
    void countdownWhileTextShown_data();
    void countdownWhileTextShown();
    void emptyTextView();
    void clipboardAlreadyHoldsTheText_data();
    void clipboardAlreadyHoldsTheText();
    void pollBeforeWriteBack_data();
    void pollBeforeWriteBack();
    void restoreWhileHistoryInFront();
    void failedWrite_data();
    void failedWrite();
    void waitsForContentOnItsWay_data();
    void waitsForContentOnItsWay();
    void typingFollowsIntoSlot0_data();
    void typingFollowsIntoSlot0();
    void slotEditWhilePictureShown();
    void takenTextIsNotWrittenOverANewerCopy_data();
    void takenTextIsNotWrittenOverANewerCopy();
    void editOvertakenByAPictureIsNotWrittenLater_data();
    void editOvertakenByAPictureIsNotWrittenLater();
    void editKeepsTheRestOfTheText_data();
    void editKeepsTheRestOfTheText();
    void newerContentWinsOverAnEdit_data();
    void newerContentWinsOverAnEdit();
};

void TestWriteBack::oncePerDeparture_data() {
    QTest::addColumn<QList<Foreground>>("fronts"); // one Timer3 tick each
    QTest::addColumn<bool>("typeWhileInFront");    // one key on every tick in front
    QTest::addColumn<QList<int>>("writes");        // clipboard writes after each tick
    using F = Foreground;
    QTest::newRow("leave once") << QList<F>{F::Main, F::Other, F::Other, F::Other} << true
                                << QList<int>{0, 1, 1, 1};
    QTest::newRow("among other windows")
        << QList<F>{F::Main, F::Other, F::History, F::None, F::Other} << true
        << QList<int>{0, 1, 1, 1, 1};
    QTest::newRow("back in front and away again")
        << QList<F>{F::Main, F::Other, F::Main, F::Main, F::Other, F::Other} << true
        << QList<int>{0, 1, 1, 1, 2, 2};
    QTest::newRow("to the history window")
        << QList<F>{F::Main, F::History, F::History} << true << QList<int>{0, 1, 1};
    QTest::newRow("no window in front")
        << QList<F>{F::Main, F::None, F::None} << true << QList<int>{0, 1, 1};
    QTest::newRow("no edit, nothing to write")
        << QList<F>{F::Main, F::Other, F::Main, F::Other} << false << QList<int>{0, 0, 0, 0};
}

void TestWriteBack::oncePerDeparture() {
    QFETCH(QList<Foreground>, fronts);
    QFETCH(bool, typeWhileInFront);
    QFETCH(QList<int>, writes);
    TextDesk desk;
    Form1& form = desk.main();
    const int writesBefore = desk.platform.clipboardWrites;
    QCOMPARE(writesBefore, 0);

    QString typed = QStringLiteral("copied");
    for (qsizetype step = 0; step < fronts.size(); ++step) {
        desk.platform.foreground = fronts[step];
        if (fronts[step] == Foreground::Main && typeWhileInFront) {
            typeAtEnd(form, QStringLiteral("x"));
            typed += QLatin1Char('x');
        }
        form.Timer3_Timer();
        QCOMPARE(desk.platform.clipboardWrites - writesBefore, writes[step]);
        QCOMPARE(form.poll().textWrittenBack(), fronts[step] == Foreground::Main ? 0 : 1);
        if (fronts[step] != Foreground::Main)
            QCOMPARE(clipboardText(desk.platform), typed);
    }
    QCOMPARE(form.pane().text(), typed);
    QCOMPARE(form.pane().Text1()->toPlainText(), typed);
}

void TestWriteBack::nothingWhilePictureShown_data() {
    QTest::addColumn<Foreground>("front");
    QTest::addColumn<int>("writtenBack");
    QTest::newRow("other program, pending") << Foreground::Other << 0;
    QTest::newRow("history window, pending") << Foreground::History << 0;
    QTest::newRow("main window, written") << Foreground::Main << 1;
    QTest::newRow("no window, pending") << Foreground::None << 0;
}

void TestWriteBack::nothingWhilePictureShown() {
    QFETCH(Foreground, front);
    QFETCH(int, writtenBack);
    Desk desk;
    Form1& form = desk.main();
    if (writtenBack == 1) { // the text went back once already, another window in front
        desk.copyText(QStringLiteral("caption"));
        desk.tick();
    }
    // A text in the view, hidden behind a picture copied with it.
    desk.copyBoth(QStringLiteral("caption"), filled(50, 40, kRed));
    desk.poll();
    QVERIFY(form.pane().pictureShown());
    QCOMPARE(form.pane().text(), QStringLiteral("caption"));
    QCOMPARE(form.poll().textWrittenBack(), writtenBack);
    desk.platform.setClipboard({QStringLiteral("elsewhere"), filled(50, 40, kRed), false});
    form.countdown().restart(77);
    form.countdown().cancel();
    desk.platform.now = 5000;
    desk.platform.foreground = front;
    const int writes = desk.platform.clipboardWrites;

    for (int tick = 0; tick < 5; ++tick)
        form.Timer3_Timer();

    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(clipboardText(desk.platform), QStringLiteral("elsewhere"));
    QVERIFY(!desk.platform.clipboard.image.isNull());
    QCOMPARE(form.poll().textWrittenBack(), writtenBack);
    // No countdown either.
    QVERIFY(!form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), qint64(77));
}

void TestWriteBack::countdownWhileTextShown_data() {
    QTest::addColumn<Foreground>("front");
    QTest::addColumn<bool>("armed");
    QTest::addColumn<qint64>("start");
    QTest::newRow("in front, not armed") << Foreground::Main << false << qint64(4900);
    QTest::newRow("away, not armed") << Foreground::Other << false << qint64(4900);
    QTest::newRow("in front, armed") << Foreground::Main << true << qint64(1234);
    QTest::newRow("away, armed") << Foreground::Other << true << qint64(1234);
}

void TestWriteBack::countdownWhileTextShown() {
    QFETCH(Foreground, front);
    QFETCH(bool, armed);
    QFETCH(qint64, start);
    TextDesk desk;
    Form1& form = desk.main();
    form.countdown().restart(1234);
    if (!armed)
        form.countdown().cancel();
    desk.platform.now = 4900;
    desk.platform.foreground = front;
    form.Timer3_Timer();
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), start);
    // A later tick keeps the start.
    desk.platform.now = 5000;
    form.Timer3_Timer();
    QCOMPARE(form.countdown().hideStart(), start);
}

void TestWriteBack::emptyTextView() {
    TextDesk desk;
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    form.pane().Text1()->selectAll();
    QTest::keyClick(form.pane().Text1(), Qt::Key_Delete);
    QCOMPARE(form.pane().text(), QString());
    const int writes = desk.platform.clipboardWrites;

    desk.platform.foreground = Foreground::Other;
    form.Timer3_Timer();

    QCOMPARE(desk.platform.clipboardWrites, writes + 1);
    QVERIFY(desk.platform.clipboard.text.has_value());
    QCOMPARE(*desk.platform.clipboard.text, QString());
    QCOMPARE(form.poll().textWrittenBack(), 1);
    // The next poll finds the empty text equal to the view.
    const QStringList history = storedTexts(desk.history());
    desk.poll();
    QCOMPARE(storedTexts(desk.history()), history);
    QCOMPARE(form.pane().text(), QString());
}

void TestWriteBack::clipboardAlreadyHoldsTheText_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("right after start-up") << QStringLiteral("start-up");
    QTest::newRow("edited and edited back") << QStringLiteral("edited back");
    QTest::newRow("restored the text the clipboard holds, with a picture")
        << QStringLiteral("restore");
}

void TestWriteBack::clipboardAlreadyHoldsTheText() {
    QFETCH(QString, how);
    Desk desk;
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Other;
    const QImage picture = filled(30, 20, kRed);
    if (how == QLatin1String("start-up")) {
        desk.copyText(QStringLiteral("copied"));
        desk.poll();
        QCOMPARE(form.poll().textWrittenBack(), 0);
    } else if (how == QLatin1String("edited back")) {
        desk.copyText(QStringLiteral("copied"));
        desk.poll();
        form.Timer3_Timer();
        desk.platform.foreground = Foreground::Main;
        form.Timer3_Timer();
        typeAtEnd(form, QStringLiteral("ab"));
        QTest::keyClick(form.pane().Text1(), Qt::Key_Backspace);
        QTest::keyClick(form.pane().Text1(), Qt::Key_Backspace);
        QCOMPARE(form.pane().text(), QStringLiteral("copied"));
        desk.platform.foreground = Foreground::Other;
    } else {
        // Text and a picture copied together, the text brought back from the
        // history into the view.
        desk.copyText(QStringLiteral("copied"));
        desk.poll();
        form.Timer3_Timer();
        desk.copyBoth(QStringLiteral("copied"), picture);
        desk.poll();
        QVERIFY(form.pane().pictureShown());
        form.rire_Click();
        desk.platform.foreground = Foreground::History;
        desk.history().Text1_Click(0);
        QVERIFY(!form.pane().pictureShown());
        QCOMPARE(form.poll().textWrittenBack(), 0);
    }
    const quint64 changes = desk.platform.clipboardChanges;
    const int writes = desk.platform.clipboardWrites;

    form.Timer3_Timer();

    // Counted as done; the clipboard keeps all it offers.
    QCOMPARE(form.poll().textWrittenBack(), 1);
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(desk.platform.clipboardChanges, changes);
    QCOMPARE(clipboardText(desk.platform), QStringLiteral("copied"));
    if (how == QLatin1String("restore"))
        QVERIFY(samePixels(desk.platform.clipboard.image, picture));
}

void TestWriteBack::pollBeforeWriteBack_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("typed") << QStringLiteral("type") << QStringLiteral("copied edit");
    QTest::newRow("inserted") << QStringLiteral("insert") << QStringLiteral("copied, inserted");
    QTest::newRow("text slot restored") << QStringLiteral("restore") << QStringLiteral("older");
    QTest::newRow("empty text slot restored") << QStringLiteral("restore empty") << QString();
    QTest::newRow("text slot edited") << QStringLiteral("slot edit") << QStringLiteral("older!");
}

void TestWriteBack::pollBeforeWriteBack() {
    QFETCH(QString, how);
    QFETCH(QString, expected);
    Desk desk;
    Form1& form = desk.main();
    desk.copyText(QStringLiteral("older"));
    desk.poll();
    form.Timer3_Timer();
    desk.copyText(QStringLiteral("copied"));
    desk.poll();
    form.Timer3_Timer();
    QCOMPARE(storedTexts(desk.history()).mid(0, 2),
             QStringList({QStringLiteral("copied"), QStringLiteral("older")}));

    // The user comes to the main window and changes the text view.
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    desk.poll();
    if (how == QLatin1String("type")) {
        typeAtEnd(form, QStringLiteral(" edit"));
    } else if (how == QLatin1String("insert")) {
        form.pane().Text1()->moveCursor(QTextCursor::End);
        form.pane().Text1()->insertPlainText(QStringLiteral(", inserted"));
    } else {
        form.rire_Click();
        desk.platform.foreground = Foreground::History;
        Form2& history = desk.history();
        if (how == QLatin1String("restore")) {
            history.Text1_Click(1);
        } else if (how == QLatin1String("restore empty")) {
            history.Text1_Click(4);
        } else {
            history.Text1_Click(1);
            history.Text1(1)->moveCursor(QTextCursor::End);
            QTest::keyClicks(history.Text1(1), QStringLiteral("!"));
        }
    }
    QCOMPARE(form.pane().text(), expected);
    const QStringList texts = storedTexts(desk.history());
    const int writes = desk.platform.clipboardWrites;

    // Straight to another program; the history window goes, and a poll
    // comes before the write-back tick.
    desk.platform.foreground = Foreground::Other;
    if (form.historyShown())
        desk.history().Timer1_Timer();
    QVERIFY(!form.historyShown());
    desk.poll();

    QCOMPARE(clipboardText(desk.platform), expected);
    QCOMPARE(desk.platform.clipboardWrites, writes + 1);
    QCOMPARE(form.pane().text(), expected);
    QCOMPARE(form.pane().Text1()->toPlainText(), expected);
    QVERIFY(!form.pane().pictureShown());
    QCOMPARE(storedTexts(desk.history()), texts);
    QCOMPARE(form.poll().textWrittenBack(), 1);

    // The write-back tick and the next poll find nothing more to do.
    form.Timer3_Timer();
    desk.poll();
    QCOMPARE(desk.platform.clipboardWrites, writes + 1);
    QCOMPARE(form.pane().text(), expected);
    QCOMPARE(storedTexts(desk.history()), texts);
}

void TestWriteBack::restoreWhileHistoryInFront() {
    // A text restored after the view was written back goes to the clipboard
    // while the history window is still in front.
    Desk desk;
    Form1& form = desk.main();
    desk.copyText(QStringLiteral("older"));
    desk.poll();
    form.Timer3_Timer();
    desk.copyText(QStringLiteral("newer"));
    desk.poll();
    form.rire_Click();
    desk.platform.foreground = Foreground::History;
    form.Timer3_Timer();
    QCOMPARE(form.poll().textWrittenBack(), 1);
    const int writes = desk.platform.clipboardWrites;

    desk.history().Text1_Click(1);
    QCOMPARE(form.poll().textWrittenBack(), 0);
    QCOMPARE(desk.platform.clipboardWrites, writes); // not by the click itself
    form.Timer3_Timer();

    QCOMPARE(clipboardText(desk.platform), QStringLiteral("older"));
    QCOMPARE(desk.platform.clipboardWrites, writes + 1);
    QCOMPARE(form.poll().textWrittenBack(), 1);
    QCOMPARE(storedTexts(desk.history()).mid(0, 2),
             QStringList({QStringLiteral("newer"), QStringLiteral("older")}));
}

void TestWriteBack::failedWrite_data() {
    QTest::addColumn<bool>("pollWhileHeld");
    QTest::addColumn<bool>("retryByPoll");
    QTest::newRow("retried by the write-back tick") << false << false;
    QTest::newRow("polls while held, retried by the tick") << true << false;
    QTest::newRow("polls while held, retried by a poll") << true << true;
}

void TestWriteBack::waitsForContentOnItsWay_data() {
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("emptied"); // the content on its way turns out to be nothing
    QTest::addColumn<QString>("written");
    QTest::newRow("an edit, then a newer copy, which wins")
        << true << false << QStringLiteral("newer");
    QTest::newRow("no edit, then a newer copy") << false << false << QStringLiteral("newer");
    QTest::newRow("no edit, then the owner gone") << false << true << QStringLiteral("copied");
}

void TestWriteBack::waitsForContentOnItsWay() {
    QFETCH(bool, edited);
    QFETCH(bool, emptied);
    QFETCH(QString, written);
    TextDesk desk;
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    if (edited)
        typeAtEnd(form, QStringLiteral(" edit"));
    desk.platform.pending = true;
    if (emptied)
        desk.platform.setClipboard({});
    else
        desk.copyText(QStringLiteral("newer"));
    desk.platform.foreground = Foreground::Other;

    // Nothing is decided against a clipboard whose content is not known.
    for (int tick = 0; tick < 3; ++tick) {
        desk.tick();
        QCOMPARE(form.poll().textWrittenBack(), 0);
        QCOMPARE(desk.platform.clipboardWrites, 0);
    }
    desk.platform.release();
    desk.tick();
    QCOMPARE(form.poll().textWrittenBack(), 1);
    QCOMPARE(clipboardText(desk.platform), written);
    QCOMPARE(form.pane().text(), written);
}

void TestWriteBack::failedWrite() {
    QFETCH(bool, pollWhileHeld);
    QFETCH(bool, retryByPoll);
    TextDesk desk;
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    typeAtEnd(form, QStringLiteral(" edit"));
    const QStringList texts = storedTexts(desk.history());
    desk.platform.failClipboardWrites = true;
    desk.platform.foreground = Foreground::Other;

    // Every tick tries, none succeeds.
    int attempts = desk.platform.clipboardWrites;
    for (int tick = 0; tick < 3; ++tick) {
        form.Timer3_Timer();
        QVERIFY(desk.platform.clipboardWrites > attempts);
        attempts = desk.platform.clipboardWrites;
        QCOMPARE(form.poll().textWrittenBack(), 0);
        QCOMPARE(clipboardText(desk.platform), QStringLiteral("copied"));
        if (pollWhileHeld) {
            // The older clipboard text must not replace the edit.
            desk.poll();
            QCOMPARE(form.poll().textWrittenBack(), 0);
            QCOMPARE(form.pane().text(), QStringLiteral("copied edit"));
            QCOMPARE(form.pane().Text1()->toPlainText(), QStringLiteral("copied edit"));
            QCOMPARE(storedTexts(desk.history()), texts);
        }
    }

    desk.platform.failClipboardWrites = false;
    if (retryByPoll)
        desk.poll();
    else
        form.Timer3_Timer();
    QCOMPARE(form.poll().textWrittenBack(), 1);
    QCOMPARE(clipboardText(desk.platform), QStringLiteral("copied edit"));
    const int writes = desk.platform.clipboardWrites;
    form.Timer3_Timer();
    desk.poll();
    QCOMPARE(desk.platform.clipboardWrites, writes);
    QCOMPARE(form.pane().text(), QStringLiteral("copied edit"));
    QCOMPARE(storedTexts(desk.history()), texts);
}

void TestWriteBack::typingFollowsIntoSlot0_data() {
    QTest::addColumn<bool>("historyOpen");
    QTest::newRow("history hidden") << false;
    QTest::newRow("history shown") << true;
}

void TestWriteBack::typingFollowsIntoSlot0() {
    QFETCH(bool, historyOpen);
    TextDesk desk(QStringLiteral("ab"));
    Form1& form = desk.main();
    desk.copyText(QStringLiteral("cd"));
    desk.poll();
    Form2& history = desk.history();
    const QStringList texts = storedTexts(history);
    QCOMPARE(texts.mid(0, 2), QStringList({QStringLiteral("cd"), QStringLiteral("ab")}));
    if (historyOpen) {
        form.rire_Click();
        QVERIFY(form.historyShown());
    }
    desk.platform.foreground = Foreground::Main;

    QString typed = QStringLiteral("cd");
    form.pane().Text1()->moveCursor(QTextCursor::End);
    for (const QChar key : QStringLiteral("xyz")) {
        QTest::keyClick(form.pane().Text1(), key.toLatin1());
        typed += key;
        QCOMPARE(form.pane().text(), typed);
        QStringList expected = texts;
        if (!historyOpen)
            expected[0] = typed;
        QCOMPARE(storedTexts(history), expected);
        QCOMPARE(slotBoxTexts(history), expected);
    }
    QTest::keyClick(form.pane().Text1(), Qt::Key_Backspace);
    QCOMPARE(history.store().text(0), historyOpen ? QStringLiteral("cd") : QStringLiteral("cdxy"));
    QCOMPARE(history.store().text(1), QStringLiteral("ab"));
}

void TestWriteBack::slotEditWhilePictureShown() {
    // A picture copied with a caption is shown; the user opens the history
    // and types into a text slot without clicking it, so the main window
    // keeps its picture and takes the text hidden.
    Desk desk;
    Form1& form = desk.main();
    desk.copyText(QStringLiteral("older"));
    desk.poll();
    form.Timer3_Timer();
    desk.copyBoth(QStringLiteral("caption"), filled(40, 30, kRed));
    desk.poll();
    form.Timer3_Timer();
    QVERIFY(form.pane().pictureShown());
    form.rire_Click();
    desk.platform.foreground = Foreground::History;
    Form2& history = desk.history();
    // Only the keyboard: the newest slot has the focus once the window is
    // active, Ctrl+End goes to the end of its text.
    QVERIFY(QTest::qWaitForWindowActive(&history));
    QCOMPARE(QApplication::focusWidget(), history.Text1(0));
    QTest::keyClick(history.Text1(0), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(history.Text1(0), QStringLiteral(" edited"));
    const QString edited = QStringLiteral("caption edited");
    QCOMPARE(history.store().text(0), edited);
    QCOMPARE(form.pane().text(), edited);
    QVERIFY(form.pane().pictureShown());
    const QStringList texts = storedTexts(history);

    // Straight to another program: the history window goes, the ticks come.
    desk.platform.foreground = Foreground::Other;
    history.Timer1_Timer();
    form.Timer3_Timer();
    desk.poll();
    form.Timer3_Timer();

    // The edit is not replaced by the older clipboard text.
    QCOMPARE(form.pane().text(), edited);
    QCOMPARE(clipboardText(desk.platform), edited);
    QCOMPARE(storedTexts(history), texts);
}

void TestWriteBack::takenTextIsNotWrittenOverANewerCopy_data() {
    addClipboardHeldRows();
}

void TestWriteBack::takenTextIsNotWrittenOverANewerCopy() {
    // The view shows what the poll took from the clipboard, unedited; a newer
    // copy in another program must survive it.
    QFETCH(bool, clipboardHeld);
    Desk desk;
    Form1& form = desk.main();
    desk.copyText(QStringLiteral("taken"));
    desk.poll();
    QCOMPARE(form.pane().text(), QStringLiteral("taken"));
    newerCopySurvives(desk, clipboardHeld);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(storedTexts(desk.history()).mid(0, 2),
             QStringList({QStringLiteral("newer"), QStringLiteral("taken")}));
}

void TestWriteBack::editOvertakenByAPictureIsNotWrittenLater_data() {
    addClipboardHeldRows();
}

void TestWriteBack::editOvertakenByAPictureIsNotWrittenLater() {
    // The user edits the text view, but a picture copied elsewhere replaces
    // it before the user leaves. A text copied later comes into the view from
    // the clipboard: it is not the user's, and a still newer copy must
    // survive it.
    QFETCH(bool, clipboardHeld);
    TextDesk desk(QStringLiteral("first"));
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    typeAtEnd(form, QStringLiteral(" edited"));
    desk.copyPicture(filled(20, 20, kRed));
    desk.poll();
    QVERIFY(form.pane().pictureShown());
    desk.platform.foreground = Foreground::Other;
    form.Timer3_Timer();
    desk.copyText(QStringLiteral("taken"));
    desk.poll();
    QCOMPARE(form.pane().text(), QStringLiteral("taken"));
    QVERIFY(!form.pane().pictureShown());
    newerCopySurvives(desk, clipboardHeld);
}

void TestWriteBack::editKeepsTheRestOfTheText_data() {
    QTest::addColumn<QString>("copied");
    QTest::newRow("tab and line feeds") << QStringLiteral("a\tb\nc\n");
    QTest::newRow("no-break space") << QStringLiteral("1\u00a0000 yen");
}

void TestWriteBack::editKeepsTheRestOfTheText() {
    // One key typed at the end changes nothing else in the text that goes
    // back to the clipboard.
    QFETCH(QString, copied);
    TextDesk desk(copied);
    Form1& form = desk.main();
    desk.platform.foreground = Foreground::Main;
    form.Timer3_Timer();
    typeAtEnd(form, QStringLiteral("X"));
    desk.platform.foreground = Foreground::Other;
    form.Timer3_Timer();
    QCOMPARE(clipboardText(desk.platform), copied + QLatin1Char('X'));
    QCOMPARE(desk.history().store().text(0), copied + QLatin1Char('X'));
}

namespace {

// Where the user's text came from, and what happened before it was written.
enum class EditMade { InTextView, InSlotOverPicture, InSlotOverText, RestoredText };
enum class Then { Leaves, NewerTextFirst, LeavesThenNewerText, PictureFirst, DroppedTextFirst };

} // namespace

Q_DECLARE_METATYPE(EditMade)
Q_DECLARE_METATYPE(Then)

void TestWriteBack::newerContentWinsOverAnEdit_data() {
    QTest::addColumn<EditMade>("made");
    QTest::addColumn<Then>("then");
    QTest::addColumn<QString>("clipboard"); // what it holds in the end
    const QList<std::pair<EditMade, const char*>> edits = {
        {EditMade::InTextView, "typed in the text view"},
        {EditMade::InSlotOverPicture, "typed in a slot, picture shown"},
        {EditMade::InSlotOverText, "typed in a slot, text shown"},
        {EditMade::RestoredText, "a restored text"}};
    const QString edit = QStringLiteral("alphaZ");
    const QString picture = QStringLiteral("<no text>");
    for (const auto& [made, name] : edits) {
        // Only the text view goes back to the clipboard; a picture shown
        // keeps the clipboard as it is.
        const QString left = made == EditMade::InSlotOverPicture ? picture : edit;
        const QLatin1String setter(name);
        const auto row = [&setter](const char* then) {
            return &QTest::newRow(
                qPrintable(QStringLiteral("%1, %2").arg(setter, QLatin1String(then))));
        };
        *row("then the user leaves") << made << Then::Leaves << left;
        *row("a newer text first") << made << Then::NewerTextFirst << QStringLiteral("newer");
        *row("the user leaves, then a newer text")
            << made << Then::LeavesThenNewerText << QStringLiteral("newer");
        *row("a picture first") << made << Then::PictureFirst << picture;
        *row("a dropped text first")
            << made << Then::DroppedTextFirst << QStringLiteral("dropped\r\n");
    }
}

void TestWriteBack::newerContentWinsOverAnEdit() {
    QFETCH(EditMade, made);
    QFETCH(Then, then);
    QFETCH(QString, clipboard);
    TextDesk desk(QStringLiteral("alpha"));
    Form1& form = desk.main();
    Form2& history = desk.history();
    if (made == EditMade::InSlotOverPicture) {
        desk.copyPicture(filled(40, 30, kRed));
        desk.poll();
    } else if (made == EditMade::RestoredText) { // "alphaZ" went before "alpha"
        desk.copyText(QStringLiteral("alphaZ"));
        desk.tick();
        desk.copyText(QStringLiteral("alpha"));
        desk.tick();
    }
    if (made != EditMade::InTextView) {
        form.rire_Click();
        desk.platform.foreground = Foreground::History;
    } else {
        desk.platform.foreground = Foreground::Main;
    }
    form.Timer3_Timer();
    switch (made) {
    case EditMade::InTextView:
        typeAtEnd(form, QStringLiteral("Z"));
        break;
    case EditMade::InSlotOverPicture: // a restore of the picture shown, then the slot
        history.Picture1_Click(0);
        [[fallthrough]];
    case EditMade::InSlotOverText:
        history.Text1(0)->moveCursor(QTextCursor::End);
        QTest::keyClicks(history.Text1(0), QStringLiteral("Z"));
        break;
    case EditMade::RestoredText:
        history.Text1_Click(1);
        break;
    }
    QCOMPARE(form.pane().text(), QStringLiteral("alphaZ"));

    const auto leave = [&] {
        desk.platform.foreground = Foreground::Other;
        history.Timer1_Timer();
        desk.tick();
    };
    switch (then) {
    case Then::Leaves:
    case Then::LeavesThenNewerText:
        break;
    case Then::NewerTextFirst:
        desk.copyText(QStringLiteral("newer"));
        break;
    case Then::PictureFirst:
        desk.copyPicture(filled(20, 20, kBlue));
        break;
    case Then::DroppedTextFirst: {
        const QString path = desk.dir.filePath(QStringLiteral("dropped.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("dropped");
        file.close();
        form.OLEDragDrop(path);
        break;
    }
    }
    leave();
    if (then == Then::LeavesThenNewerText)
        desk.copyText(QStringLiteral("newer"));
    desk.tick();
    desk.tick();

    QCOMPARE(clipboardText(desk.platform), clipboard);
    // Nothing is lost: the edit stays in the history.
    QVERIFY(storedTexts(history).contains(QStringLiteral("alphaZ")));
}

QTEST_MAIN(TestWriteBack)
#include "test_write_back.moc"
