// The "設定" menu, chosen through its real menu items: each choice moves its
// check mark, stores its index in the settings and takes effect at once,
// without writing the settings file.
#include "app/choices.h"
#include "support/form1_views.h"

#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

namespace {

// Which items of a group carry a check mark.
QList<int> checkedItems(const ChoiceGroup& group) {
    QList<int> checked;
    for (int i = group.first(); i <= group.last(); ++i) {
        if (group.isChecked(i))
            checked << i;
    }
    return checked;
}

// Chooses a menu item the way a click does.
void choose(QAction* item) {
    QVERIFY(item != nullptr);
    item->trigger();
}

} // namespace

class TestSettingsMenus : public QObject {
    Q_OBJECT
private slots:
    void previewSize_data();
    void previewSize();
    void pollInterval_data();
    void pollInterval();
    void saveResolution_data();
    void saveResolution();
    void backColour_data();
    void backColour();
    void autoHide_data();
    void autoHide();
    void hiddenAutoHideItemsCannotBeChosen_data();
    void hiddenAutoHideItemsCannotBeChosen();
    void alwaysOnTop_data();
    void alwaysOnTop();
    void keepPosition_data();
    void keepPosition();
    void nothingIsWrittenToTheFile();
};

void TestSettingsMenus::previewSize_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("picture"); // the clipboard holds a picture, else text
    for (int k = 1; k <= 5; ++k) {
        QTest::addRow("3 -> %d, picture", k) << QByteArray("3") << k << true;
        QTest::addRow("3 -> %d, text", k) << QByteArray("3") << k << false;
    }
    QTest::newRow("1 -> 1 again, picture") << QByteArray("1") << 1 << true;
    QTest::newRow("5 -> 5 again, text") << QByteArray("5") << 5 << false;
}

void TestSettingsMenus::previewSize() {
    QFETCH(QByteArray, fromFile);
    QFETCH(int, k);
    QFETCH(bool, picture);
    Desk desk(settingsWith(2, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    if (picture)
        desk.copyPicture(filled(640, 480, kRed));
    else
        desk.copyText(QStringLiteral("some text"));
    desk.poll();
    QCOMPARE(form.pane().pictureShown(), picture);
    // A window resized by hand and a countdown running: the layout must
    // take over again and the countdown stop, also for the item already
    // checked.
    form.resize(700, 90);
    form.countdown().restart(0);
    const int clipboardWrites = desk.platform.clipboardWrites;

    choose(form.menu().se.item(k));

    QCOMPARE(checkedItems(form.menu().se), QList<int>{k});
    QCOMPARE(form.settings().cfgPreviewSize, QString::number(k));
    const int side = 64 * k;
    const int box = side + 4;
    QCOMPARE(form.pane().previewWidth(), side);
    QCOMPARE(form.pane().previewHeight(), side);
    QCOMPARE(form.pane().Picture1()->size(), QSize(box, box));
    QCOMPARE(form.pane().Text1()->size(), QSize(box, box));
    QCOMPARE(form.size(), QSize(box, box + form.menuBar()->height()));
    QVERIFY(!form.countdown().hideArmed());
    QCOMPARE(form.pane().pictureShown(), picture);
    QCOMPARE(form.pane().Text1()->isHidden(), picture);
    if (picture) {
        // Redrawn for the new size: 640 x 480 fitted into the new side.
        const QImage& canvas = form.pane().Picture1()->canvas();
        QCOMPARE(canvas.size(), QSize(side, side));
        const QString mismatch =
            canvasMismatch(canvas, QRect(0, side / 8, side, side * 3 / 4), kRed, kWhite);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    } else {
        QCOMPARE(form.pane().Text1()->toPlainText(), QStringLiteral("some text"));
    }
    // Only the layout changed: the clipboard was read, never written.
    QCOMPARE(desk.platform.clipboardWrites, clipboardWrites);
}

void TestSettingsMenus::pollInterval_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("interval");
    for (const auto& choice : kPollIntervals)
        QTest::addRow("1 -> %d", choice.index) << QByteArray("1") << choice.index << choice.effect;
    QTest::newRow("6 -> 6 again") << QByteArray("6") << 6 << kPollIntervals[5].effect;
    QTest::newRow("4 -> 1") << QByteArray("4") << 1 << kPollIntervals[0].effect;
}

void TestSettingsMenus::pollInterval() {
    QFETCH(QByteArray, fromFile);
    QFETCH(int, k);
    QFETCH(int, interval);
    Desk desk(settingsWith(3, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    form.Timer1()->setInterval(1); // shows that the choice set it
    form.settings().cfgInterval = QStringLiteral("x");

    choose(form.menu().sec.item(k));

    QCOMPARE(form.Timer1()->interval(), interval);
    QCOMPARE(checkedItems(form.menu().sec), QList<int>{k});
    QCOMPARE(form.settings().cfgInterval, QString::number(k));
    // The other timers keep their 100 ms.
    QCOMPARE(form.Timer2()->interval(), 100);
    QCOMPARE(form.Timer3()->interval(), 100);
}

void TestSettingsMenus::saveResolution_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<int>("k");
    for (int k = 0; k <= 3; ++k)
        QTest::addRow("0 -> %d", k) << QByteArray("0") << k;
    QTest::newRow("3 -> 0") << QByteArray("3") << 0;
    QTest::newRow("2 -> 2 again") << QByteArray("2") << 2;
}

void TestSettingsMenus::saveResolution() {
    QFETCH(QByteArray, fromFile);
    QFETCH(int, k);
    Desk desk(settingsWith(5, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    form.settings().cfgSaveSize = QStringLiteral("x");
    const QSize size = form.size();

    choose(form.menu().scrsav.item(k));

    QCOMPARE(checkedItems(form.menu().scrsav), QList<int>{k});
    QCOMPARE(form.settings().cfgSaveSize, QString::number(k));
    // Nothing else happens until the next save.
    QCOMPARE(form.size(), size);
    QVERIFY(!QFile::exists(QDir(desk.dir.path()).filePath(QStringLiteral("Image.bmp"))));
}

void TestSettingsMenus::backColour_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<int>("k");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("white -> black") << QByteArray("0") << 1 << QColor(Qt::black);
    QTest::newRow("black -> white") << QByteArray("1") << 0 << QColor(Qt::white);
    QTest::newRow("white -> white again") << QByteArray("0") << 0 << QColor(Qt::white);
    QTest::newRow("black -> black again") << QByteArray("1") << 1 << QColor(Qt::black);
}

void TestSettingsMenus::backColour() {
    QFETCH(QByteArray, fromFile);
    QFETCH(int, k);
    QFETCH(QColor, colour);
    Desk desk(settingsWith(6, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    desk.copyPicture(filled(40, 30, kGreen));
    desk.poll();
    // Another colour first, so that choosing the checked item shows it ran.
    form.pane().Picture1()->setBackColor(Qt::red);
    form.files().Picture3()->setBackColor(Qt::red);
    const QPalette textPalette = form.pane().Text1()->palette();
    const QPalette viewportPalette = form.pane().Text1()->viewport()->palette();
    const QColor slotBack = desk.history().Picture1(0)->backColor();

    choose(form.menu().bk.item(k));

    QCOMPARE(checkedItems(form.menu().bk), QList<int>{k});
    QCOMPARE(form.settings().cfgBackColor, QString::number(k));
    QCOMPARE(form.pane().Picture1()->backColor(), colour);
    QCOMPARE(form.files().Picture3()->backColor(), colour);
    // The text view and the history keep their own colours.
    QCOMPARE(form.pane().Text1()->palette(), textPalette);
    QCOMPARE(form.pane().Text1()->viewport()->palette(), viewportPalette);
    QCOMPARE(desk.history().Picture1(0)->backColor(), slotBack);
    // The picture shown is drawn again at once, on the new colour.
    QCOMPARE(form.pane().Picture1()->canvas().pixel(0, 0), k == 0 ? kWhite : kBlack);
    QCOMPARE(form.pane().Picture1()->canvas().pixel(96, 96), kGreen);
}

void TestSettingsMenus::autoHide_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("byMenu"); // else the handler is run directly
    QTest::addColumn<bool>("armed");
    for (int from = 0; from <= 6; ++from) {
        for (int k = 0; k <= 2; ++k) {
            QTest::addRow("%d -> %d", from, k)
                << QByteArray::number(from) << k << true << ((from + k) % 2 == 0);
        }
    }
    // The hidden items cannot be clicked; their handler still gives their delay.
    for (int k = 3; k <= 6; ++k)
        QTest::addRow("0 -> hidden %d", k) << QByteArray("0") << k << false << true;
    QTest::newRow("hidden 4 -> hidden 4 again") << QByteArray("4") << 4 << false << false;
}

void TestSettingsMenus::autoHide() {
    QFETCH(QByteArray, fromFile);
    QFETCH(int, k);
    QFETCH(bool, byMenu);
    QFETCH(bool, armed);
    Desk desk(settingsWith(7, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QSize size = form.size();
    form.countdown().setHideDelay(-1); // shows that the choice set it
    form.countdown().restart(31337);
    if (!armed)
        form.countdown().cancel();

    if (byMenu)
        choose(form.menu().jidou.item(k));
    else
        form.jidou_Click(k);

    QCOMPARE(checkedItems(form.menu().jidou), QList<int>{k});
    QCOMPARE(form.settings().cfgAutoHide, QString::number(k));
    QCOMPARE(form.countdown().hideDelay(), choiceAt(kAutoHideDelays, k)->effect);
    // The countdown is left alone and the window is not shrunk or grown.
    QCOMPARE(form.countdown().hideArmed(), armed);
    QCOMPARE(form.countdown().hideStart(), qint64(31337));
    QCOMPARE(form.size(), size);
    // The long delays stay out of the menu.
    for (int i = 0; i <= 6; ++i) {
        QCOMPARE(form.menu().jidou.item(i)->isVisible(), i <= 2);
        QCOMPARE(form.menu().jidou.item(i)->isEnabled(), i <= 2);
    }
}

void TestSettingsMenus::hiddenAutoHideItemsCannotBeChosen_data() {
    QTest::addColumn<int>("k");
    for (int k = 3; k <= 6; ++k)
        QTest::addRow("%d", k) << k;
}

void TestSettingsMenus::hiddenAutoHideItemsCannotBeChosen() {
    QFETCH(int, k);
    Desk desk(settingsWith(7, "1"));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();

    choose(form.menu().jidou.item(k));

    QCOMPARE(checkedItems(form.menu().jidou), QList<int>{1});
    QCOMPARE(form.settings().cfgAutoHide, QStringLiteral("1"));
    QCOMPARE(form.countdown().hideDelay(), qint64(500));
}

void TestSettingsMenus::alwaysOnTop_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<bool>("startsOn");
    QTest::newRow("off") << QByteArray("0") << false;
    QTest::newRow("on") << QByteArray("1") << true;
    QTest::newRow("empty line, off") << QByteArray("") << false;
}

void TestSettingsMenus::alwaysOnTop() {
    QFETCH(QByteArray, fromFile);
    QFETCH(bool, startsOn);
    Desk desk(settingsWith(1, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QCOMPARE(form.menu().tu->isChecked(), startsOn);
    const QSize size = form.size();
    const qsizetype callsAtStart = desk.platform.topmostCalls.size();

    // Every choice flips it.
    bool on = startsOn;
    for (int choice = 1; choice <= 4; ++choice) {
        choose(form.menu().tu);
        on = !on;
        QCOMPARE(form.menu().tu->isChecked(), on);
        QCOMPARE(desk.platform.topmostCalls.size(), callsAtStart + choice);
        QCOMPARE(desk.platform.topmostCalls.last().window, &form);
        QCOMPARE(desk.platform.topmostCalls.last().on, on);
        QCOMPARE(form.settings().cfgTopmost, on ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
        QVERIFY(form.isVisible());
        QCOMPARE(form.size(), size);
    }
}

void TestSettingsMenus::keepPosition_data() {
    QTest::addColumn<QByteArray>("fromFile");
    QTest::addColumn<bool>("startsOn");
    QTest::newRow("off") << QByteArray("0") << false;
    QTest::newRow("on") << QByteArray("1") << true;
    QTest::newRow("empty line counts as on") << QByteArray("") << true;
}

void TestSettingsMenus::keepPosition() {
    QFETCH(QByteArray, fromFile);
    QFETCH(bool, startsOn);
    Desk desk(settingsWith(4, fromFile));
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QCOMPARE(form.menu().zen->isChecked(), startsOn);
    const qsizetype topmostCalls = desk.platform.topmostCalls.size();

    bool on = startsOn;
    for (int choice = 1; choice <= 4; ++choice) {
        choose(form.menu().zen);
        on = !on;
        QCOMPARE(form.menu().zen->isChecked(), on);
        QCOMPARE(form.settings().cfgKeepPos, on ? QStringLiteral("1") : QStringLiteral("0"));
    }
    QCOMPARE(desk.platform.topmostCalls.size(), topmostCalls);
}

void TestSettingsMenus::nothingIsWrittenToTheFile() {
    Desk desk;
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QString path = settingsPath(desk.dir.path());
    const QByteArray before = fileBytes(path);
    const QStringList filesBefore = QDir(desk.dir.path()).entryList(QDir::Files);
    const Settings settingsBefore = form.settings();

    const MainMenu& menu = form.menu();
    for (const ChoiceGroup* group : {&menu.se, &menu.sec, &menu.scrsav, &menu.bk, &menu.jidou}) {
        for (int i = group->last(); i >= group->first(); --i)
            choose(group->item(i));
    }
    choose(menu.tu);
    choose(menu.zen);

    // Every setting moved, the file did not.
    QVERIFY(form.settings().cfgPreviewSize != settingsBefore.cfgPreviewSize);
    QCOMPARE(form.settings().cfgTopmost, QStringLiteral("1"));
    QCOMPARE(form.settings().cfgKeepPos, QStringLiteral("1"));
    QCOMPARE(form.settings().cfgLeft, settingsBefore.cfgLeft);
    QCOMPARE(form.settings().cfgTop, settingsBefore.cfgTop);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(desk.dir.path()).entryList(QDir::Files), filesBefore);
    QVERIFY(desk.platform.errorsShown.isEmpty());
}

QTEST_MAIN(TestSettingsMenus)
#include "test_settings_menus.moc"
