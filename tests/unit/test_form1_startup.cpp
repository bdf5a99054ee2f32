// The main window's start-up and exit, driven through the scripted platform.
#include "support/form1_desk.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

class TestForm1Startup : public QObject {
    Q_OBJECT
private slots:
    void previewSize_data();
    void previewSize();
    void pollInterval_data();
    void pollInterval();
    void autoHideDelay_data();
    void autoHideDelay();
    void topmost_data();
    void topmost();
    void keepPositionMark_data();
    void keepPositionMark();
    void backColour_data();
    void backColour();
    void saveResolutionMark();
    void position_data();
    void position();
    void menuTree();
    void rejectedFile_data();
    void rejectedFile();
    void exitStoresPositionWhenRemembering_data();
    void exitStoresPositionWhenRemembering();
    void saveWritesEverySetting();
    void refusedWrite_data();
    void refusedWrite();
};

void TestForm1Startup::previewSize_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("n");
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("2") << QByteArray("2") << 2;
    QTest::newRow("3 with blank") << QByteArray(" 3") << 3;
    QTest::newRow("4") << QByteArray("4") << 4;
    QTest::newRow("5") << QByteArray("5") << 5;
    QTest::newRow("4.5 rounds to even") << QByteArray("4.5") << 4;
}

void TestForm1Startup::previewSize() {
    QFETCH(QByteArray, line);
    QFETCH(int, n);
    UnstartedDesk desk(settingsBytes(settingsWith(2, line)));
    Form1& form = *desk.form;
    QVERIFY(!form.Form_Load());

    const int box = 64 * n + 4;
    QCOMPARE(form.pane().previewWidth(), 64 * n);
    QCOMPARE(form.pane().previewHeight(), 64 * n);
    QCOMPARE(form.pane().Picture1()->size(), QSize(box, box));
    QCOMPARE(form.pane().Text1()->size(), QSize(box, box));
    QCOMPARE(form.pane().Picture1()->pos(), QPoint(0, 0));
    // The client is the box under the menu bar.
    QCOMPARE(form.width(), box);
    QCOMPARE(form.height(), box + form.menuBar()->height());
    QCOMPARE(form.centralWidget()->size(), QSize(box, box));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(form.menu().se.isChecked(i), i == n);
    // Stored back as the plain number.
    QCOMPARE(form.settings().cfgPreviewSize, QString::number(n));
}

void TestForm1Startup::pollInterval_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("interval");
    QTest::newRow("1") << QByteArray("1") << 1 << 500;
    QTest::newRow("2") << QByteArray("2") << 2 << 1000;
    QTest::newRow("3") << QByteArray("3") << 3 << 2000;
    QTest::newRow("4") << QByteArray("4 ") << 4 << 3000;
    QTest::newRow("5") << QByteArray("5") << 5 << 5000;
    QTest::newRow("6 is 9.9 seconds") << QByteArray("6") << 6 << 9900;
}

void TestForm1Startup::pollInterval() {
    QFETCH(QByteArray, line);
    QFETCH(int, index);
    QFETCH(int, interval);
    UnstartedDesk desk(settingsBytes(settingsWith(3, line)));
    QVERIFY(!desk.form->Form_Load());
    QCOMPARE(desk.form->Timer1()->interval(), interval);
    QVERIFY(desk.form->Timer1()->isActive());
    QCOMPARE(desk.form->Timer2()->interval(), 100);
    QCOMPARE(desk.form->Timer3()->interval(), 100);
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(desk.form->menu().sec.isChecked(i), i == index);
    QCOMPARE(desk.form->settings().cfgInterval, QString::number(index));
}

void TestForm1Startup::autoHideDelay_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("index");
    QTest::addColumn<qint64>("delay");
    QTest::newRow("0 off") << QByteArray("0") << 0 << qint64(0);
    QTest::newRow("1") << QByteArray("1") << 1 << qint64(500);
    QTest::newRow("2") << QByteArray("2") << 2 << qint64(1000);
    QTest::newRow("3 hidden") << QByteArray(" 3") << 3 << qint64(2000);
    QTest::newRow("4 hidden") << QByteArray("4") << 4 << qint64(3000);
    QTest::newRow("5 hidden") << QByteArray("5") << 5 << qint64(5000);
    QTest::newRow("6 hidden") << QByteArray("6") << 6 << qint64(9900);
}

void TestForm1Startup::autoHideDelay() {
    QFETCH(QByteArray, line);
    QFETCH(int, index);
    QFETCH(qint64, delay);
    UnstartedDesk desk(settingsBytes(settingsWith(7, line)));
    QVERIFY(!desk.form->Form_Load());
    QCOMPARE(desk.form->countdown().hideDelay(), delay);
    QVERIFY(desk.form->menu().jidou.isChecked(index));
    QCOMPARE(desk.form->menu().jidou.item(index)->isVisible(), index <= 2);
    // The line keeps its text as read.
    QCOMPARE(desk.form->settings().cfgAutoHide, QString::fromLatin1(line));
}

void TestForm1Startup::topmost_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("onTop");
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("1 with blank") << QByteArray("1 ") << false;
}

void TestForm1Startup::topmost() {
    QFETCH(QByteArray, line);
    QFETCH(bool, onTop);
    UnstartedDesk desk(settingsBytes(settingsWith(1, line)));
    QVERIFY(!desk.form->Form_Load());
    QCOMPARE(desk.platform.topmostCalls.size(), 1);
    QCOMPARE(desk.platform.topmostCalls.first().window, desk.form.get());
    QCOMPARE(desk.platform.topmostCalls.first().on, onTop);
    QCOMPARE(desk.form->menu().tu->isChecked(), onTop);
    QVERIFY(desk.form->isVisible());
}

void TestForm1Startup::keepPositionMark_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("checked");
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("empty") << QByteArray("") << true;
    QTest::newRow("0 with blank") << QByteArray("0 ") << true;
}

void TestForm1Startup::keepPositionMark() {
    QFETCH(QByteArray, line);
    QFETCH(bool, checked);
    UnstartedDesk desk(settingsBytes(settingsWith(4, line)));
    QVERIFY(!desk.form->Form_Load());
    QCOMPARE(desk.form->menu().zen->isChecked(), checked);
}

void TestForm1Startup::backColour_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("checkedIndex");
    QTest::addColumn<QColor>("colour");
    const QColor untouched(Qt::red);
    QTest::newRow("0 white") << QByteArray("0") << 0 << QColor(Qt::white);
    QTest::newRow("1 black") << QByteArray("1") << 1 << QColor(Qt::black);
    QTest::newRow("' 1' checks but colours nothing") << QByteArray(" 1") << 1 << untouched;
    QTest::newRow("'01' checks but colours nothing") << QByteArray("01") << 1 << untouched;
}

void TestForm1Startup::backColour() {
    QFETCH(QByteArray, line);
    QFETCH(int, checkedIndex);
    QFETCH(QColor, colour);
    UnstartedDesk desk(settingsBytes(settingsWith(6, line)));
    desk.form->pane().Picture1()->setBackColor(Qt::red);
    desk.form->files().Picture3()->setBackColor(Qt::red);
    QVERIFY(!desk.form->Form_Load());
    QVERIFY(desk.form->menu().bk.isChecked(checkedIndex));
    QVERIFY(!desk.form->menu().bk.isChecked(1 - checkedIndex));
    QCOMPARE(desk.form->pane().Picture1()->backColor(), colour);
    QCOMPARE(desk.form->files().Picture3()->backColor(), colour);
}

void TestForm1Startup::saveResolutionMark() {
    for (int index = 0; index <= 3; ++index) {
        UnstartedDesk desk(settingsBytes(settingsWith(5, QByteArray::number(index))));
        QVERIFY(!desk.form->Form_Load());
        for (int i = 0; i <= 3; ++i)
            QCOMPARE(desk.form->menu().scrsav.isChecked(i), i == index);
    }
}

void TestForm1Startup::position_data() {
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QByteArray>("top");
    QTest::addColumn<QPoint>("pixels");
    QTest::newRow("whole pixels") << QByteArray("3000") << QByteArray("4500") << QPoint(200, 300);
    QTest::newRow("half pixel to even")
        << QByteArray("1507.5") << QByteArray("1522.5") << QPoint(100, 102);
    QTest::newRow("off screen, applied as it is")
        << QByteArray("-30000") << QByteArray("90000") << QPoint(-2000, 6000);
}

void TestForm1Startup::position() {
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, top);
    QFETCH(QPoint, pixels);
    QList<QByteArray> values = defaultSettings();
    values[7] = left;
    values[8] = top;
    UnstartedDesk desk(settingsBytes(values));
    QVERIFY(!desk.form->Form_Load());
    // The window system reports the new place a little later.
    QTRY_COMPARE(desk.form->frameGeometry().topLeft(), pixels);
    QCOMPARE(desk.form->positionTwips(), QPointF(pixels * 15));
}

void TestForm1Startup::menuTree() {
    UnstartedDesk desk(settingsBytes(defaultSettings()));
    QVERIFY(!desk.form->Form_Load());
    QStringList titles;
    for (QAction* action : desk.form->menuBar()->actions())
        titles << action->text();
    QCOMPARE(titles, QStringList({QStringLiteral("ファイル"), QStringLiteral("設定"),
                                  QStringLiteral("履歴")}));
    const MainMenu& menu = desk.form->menu();
    QVERIFY(!menu.tsave->isVisible());
    QVERIFY(!menu.tsave->isEnabled());
    QCOMPARE(menu.end->text(), QStringLiteral("終了"));
    QCOMPARE(menu.se.item(5)->text(), QStringLiteral("320*320"));
    QCOMPARE(menu.sec.item(6)->text(), QStringLiteral("９．９秒"));
    QCOMPARE(menu.scrsav.item(0)->text(), QStringLiteral("640*480"));
    QCOMPARE(menu.bk.item(1)->text(), QStringLiteral("ＢＬＡＣＫ"));
    QCOMPARE(menu.jidou.item(0)->text(), QStringLiteral("０．０秒"));
    QCOMPARE(desk.form->windowTitle(), QStringLiteral("Form1"));
}

void TestForm1Startup::rejectedFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("place"); // what is found under the file's name
    QTest::addColumn<int>("line");
    const QString file = QStringLiteral("file");
    QTest::newRow("missing") << QByteArray() << QStringLiteral("nothing") << 0;
    QTest::newRow("a folder in its place") << QByteArray() << QStringLiteral("folder") << 0;
    QTest::newRow("unreadable: a link to itself") << QByteArray() << QStringLiteral("loop") << 0;
    // Which contents are rejected is the settings reader's own test.
    QTest::newRow("a value out of range") << settingsBytes(settingsWith(3, "7")) << file << 3;
}

void TestForm1Startup::rejectedFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, place);
    QFETCH(int, line);
    UnstartedDesk desk(bytes);
    const bool present = place == QLatin1String("file");
    if (!present)
        QVERIFY(QFile::remove(desk.path()));
    if (place == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(desk.path()));
    if (place == QLatin1String("loop"))
        QVERIFY(QFile::link(desk.path(), desk.path()));
    const std::optional<SettingsError> error = desk.form->Form_Load();
    QVERIFY(error);
    QCOMPARE(error->line, line);
    QVERIFY2(error->message.contains(QStringLiteral("設定.ini")), qPrintable(error->message));
    // Nothing was applied or started, and the file is as it was.
    QVERIFY(desk.platform.topmostCalls.isEmpty());
    QVERIFY(!desk.form->Timer1()->isActive());
    QVERIFY(!desk.form->Timer2()->isActive());
    QCOMPARE(QFileInfo(desk.path()).isFile(), present);
    if (present)
        QCOMPARE(fileBytes(desk.path()), bytes);
}

void TestForm1Startup::exitStoresPositionWhenRemembering_data() {
    QTest::addColumn<QByteArray>("keepPos");
    QTest::addColumn<bool>("byMenu"); // "終了" rather than closing the window
    QTest::addColumn<bool>("positionKnown");
    QTest::newRow("on, window closed") << QByteArray("1") << false << true;
    QTest::newRow("on, 終了") << QByteArray("1") << true << true;
    QTest::newRow("off, window closed") << QByteArray("0") << false << true;
    QTest::newRow("off, 終了") << QByteArray("0") << true << true;
    // Never a wrong position: the file keeps the one it had.
    QTest::newRow("on, the desktop tells no position") << QByteArray("1") << true << false;
}

void TestForm1Startup::exitStoresPositionWhenRemembering() {
    QFETCH(QByteArray, keepPos);
    QFETCH(bool, byMenu);
    QFETCH(bool, positionKnown);
    const QByteArray original = settingsBytes(settingsWith(4, keepPos));
    UnstartedDesk desk(original);
    desk.platform.windowPositionsKnown = positionKnown;
    Form1& form = *desk.form;
    QVERIFY(!form.Form_Load());
    QSignalSpy quit(&form, &Form1::quitRequested);
    form.moveFrameTo(QPoint(40, 60));
    QTRY_COMPARE(form.frameGeometry().topLeft(), QPoint(40, 60));
    form.settings().cfgPreviewSize = QStringLiteral("5"); // chosen, never saved
    if (byMenu)
        form.end_Click();
    else
        form.close();
    QCOMPARE(quit.size(), 1);
    QVERIFY(!form.Timer1()->isActive());
    if (keepPos == "1" && positionKnown) {
        QList<QByteArray> expected = settingsWith(4, "1");
        expected[7] = "600";
        expected[8] = "900";
        QCOMPARE(fileBytes(desk.path()), settingsBytes(expected));
    } else {
        QCOMPARE(fileBytes(desk.path()), original);
    }
    // The exit runs once, however the window goes.
    form.close();
    QCOMPARE(quit.size(), 1);
}

void TestForm1Startup::saveWritesEverySetting() {
    QList<QByteArray> values = settingsWith(2, " 2");
    values[6] = " 3";
    UnstartedDesk desk(settingsBytes(values));
    QVERIFY(!desk.form->Form_Load());
    desk.form->menu().sav->trigger();
    values[1] = "2"; // start-up stored the plain number
    QCOMPARE(fileBytes(desk.path()), settingsBytes(values));
    QVERIFY(desk.platform.errorsShown.isEmpty());
}

void TestForm1Startup::refusedWrite_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("設定を保存: reported, the program goes on") << QStringLiteral("save");
    QTest::newRow("window closed: reported, then the program ends") << QStringLiteral("close");
    QTest::newRow("終了: reported, then the program ends") << QStringLiteral("end");
}

void TestForm1Startup::refusedWrite() {
    QFETCH(QString, how);
    const QByteArray original = settingsBytes(settingsWith(4, "1"));
    UnstartedDesk desk(original);
    Form1& form = *desk.form;
    QVERIFY(!form.Form_Load());
    // Made read-only by the user: refused whatever our rights.
    QVERIFY(QFile::setPermissions(desk.path(), QFile::ReadOwner | QFile::ReadGroup));
    QList<qsizetype> errorsAtQuit;
    connect(&form, &Form1::quitRequested, this,
            [&] { errorsAtQuit << desk.platform.errorsShown.size(); });
    // Moved, so that a write would change the file.
    form.moveFrameTo(QPoint(40, 60));
    QTRY_COMPARE(form.frameGeometry().topLeft(), QPoint(40, 60));

    if (how == QLatin1String("save"))
        form.menu().sav->trigger();
    else if (how == QLatin1String("end"))
        form.menu().end->trigger();
    else
        form.close();

    QCOMPARE(desk.platform.errorsShown.size(), 1);
    const QString& error = desk.platform.errorsShown.first();
    QVERIFY2(error.contains(desk.path()) && error.contains(QStringLiteral("読み取り専用")),
             qPrintable(error));
    QCOMPARE(fileBytes(desk.path()), original);
    if (how == QLatin1String("save")) {
        // The program goes on: the poll still runs (the other timers sleep
        // while there is nothing for them to watch).
        QVERIFY(errorsAtQuit.isEmpty());
        QVERIFY(form.Timer1()->isActive());
    } else {
        QCOMPARE(errorsAtQuit, QList<qsizetype>{1}); // told first, then ended
    }
}

QTEST_MAIN(TestForm1Startup)
#include "test_form1_startup.moc"
