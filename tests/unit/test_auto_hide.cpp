// Auto-hide of the main window, tick by tick on the scripted platform: the
// window shrinks to its title and menu bars once the pointer has stayed away
// longer than the delay, and opens again when the pointer comes back.
#include "support/form1_desk.h"

#include <QMenuBar>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

namespace {

constexpr qint64 kTick = 100;
constexpr qint64 k2To31 = qint64(1) << 31;

// A started main window with auto-hide item `index` from the file, placed
// where the file says.
struct HideDesk : Desk {
    explicit HideDesk(const QByteArray& index) : Desk(settingsWith(7, index)) {}
};

bool settled(Form1& form) {
    return form.frameGeometry().topLeft() == QPoint(100, 100);
}

// Points in screen pixels, from where the window says it is.
QPoint insideClient(const HideEdges& e) {
    return {e.edgeLeft + e.width / 2, e.edgeTop + e.height / 2};
}
QPoint inBand(const HideEdges& e) {
    return {e.edgeLeft + e.width / 2, e.edgeTop - e.band / 2};
}
QPoint farAway(const HideEdges& e) {
    return {e.edgeLeft + e.width + 300, e.edgeTop + e.height + 300};
}

QSize fullSize(Form1& form, int n) {
    const int box = 64 * n + 4;
    return {box, box + form.menuBar()->height()};
}

// Ticks the auto-hide timer until `until`, 100 ms apart, starting at the
// platform's clock plus one tick.
void tickUntil(Desk& desk, qint64 until) {
    while (desk.platform.now + kTick <= until) {
        desk.platform.now += kTick;
        desk.form->Timer2_Timer();
    }
}

} // namespace

class TestAutoHide : public QObject {
    Q_OBJECT
private slots:
    void collapsesOnFirstTickAfterDelay_data();
    void collapsesOnFirstTickAfterDelay();
    void pointerOverCollapsedWindow_data();
    void pointerOverCollapsedWindow();
    void pointerLimits_data();
    void pointerLimits();
    void offNeverCollapses();
    void offChosenWhileCollapsed();
    void longerDelayChosenWhileCounting();
    void historyWindowBlocksCollapse();
    void pointerInsideSnapsBack_data();
    void pointerInsideSnapsBack();
    void countdownAcross2To31();
    void newContentOpensCollapsedWindow();
    void enteringAndLeavingWhereNoPositionIsTold();
};

void TestAutoHide::collapsesOnFirstTickAfterDelay_data() {
    QTest::addColumn<QByteArray>("index");
    QTest::addColumn<qint64>("delay");
    QTest::addColumn<qint64>("start");
    QTest::newRow("0.5 s") << QByteArray("1") << qint64(500) << qint64(10000);
    QTest::newRow("1.0 s") << QByteArray("2") << qint64(1000) << qint64(10000);
    QTest::newRow("2.0 s from the file") << QByteArray("3") << qint64(2000) << qint64(10000);
    QTest::newRow("9.9 s from the file") << QByteArray("6") << qint64(9900) << qint64(10000);
    QTest::newRow("0.5 s, clock at 0") << QByteArray("1") << qint64(500) << qint64(0);
    QTest::newRow("0.5 s, odd start") << QByteArray("1") << qint64(500) << qint64(12345);
}

void TestAutoHide::collapsesOnFirstTickAfterDelay() {
    QFETCH(QByteArray, index);
    QFETCH(qint64, delay);
    QFETCH(qint64, start);
    HideDesk desk(index);
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = form.size();
    const QPoint topLeft = form.frameGeometry().topLeft();
    desk.platform.cursor = farAway(form.hideEdges());

    // The first tick with the pointer away starts the countdown.
    desk.platform.now = start;
    form.Timer2_Timer();
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), start);

    // Up to and including the tick at exactly the delay: full size.
    tickUntil(desk, start + delay);
    QCOMPARE(desk.platform.now, start + delay);
    QCOMPARE(form.size(), full);
    QVERIFY(!form.collapsed());

    // The next tick: only the title and menu bars remain.
    desk.platform.now += kTick;
    form.Timer2_Timer();
    QVERIFY(form.collapsed());
    QCOMPARE(form.size(), QSize(full.width(), form.menuBar()->height()));
    QCOMPARE(form.hideEdges().height, 0);

    // And so it stays, in the same place and width, with the countdown kept.
    tickUntil(desk, desk.platform.now + 20 * kTick);
    QVERIFY(form.collapsed());
    QCOMPARE(form.width(), full.width());
    QCOMPARE(form.frameGeometry().topLeft(), topLeft);
    QVERIFY(form.countdown().hideArmed());
    QCOMPARE(form.countdown().hideStart(), start);
}

void TestAutoHide::pointerOverCollapsedWindow_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("opens");
    QTest::newRow("middle of the band") << QStringLiteral("band") << true;
    QTest::newRow("band, just inside the left limit") << QStringLiteral("band left") << true;
    QTest::newRow("band, just inside the right limit") << QStringLiteral("band right") << true;
    QTest::newRow("band, first row under the frame's top") << QStringLiteral("band top") << true;
    QTest::newRow("band, last row") << QStringLiteral("band bottom") << true;
    QTest::newRow("on the frame's top") << QStringLiteral("frame top") << false;
    QTest::newRow("band row, on the left limit") << QStringLiteral("left limit") << false;
    QTest::newRow("band row, on the right limit") << QStringLiteral("right limit") << false;
    QTest::newRow("where the client area was") << QStringLiteral("old client") << false;
}

void TestAutoHide::pointerOverCollapsedWindow() {
    QFETCH(QString, where);
    QFETCH(bool, opens);
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = fullSize(form, 3);
    const HideEdges open = form.hideEdges();
    desk.platform.cursor = farAway(open);
    form.Timer2_Timer();
    tickUntil(desk, 1000);
    QVERIFY(form.collapsed());

    const HideEdges e = form.hideEdges();
    QVERIFY(e.band > 2);
    const int frameTop = e.edgeTop - e.band;
    const int midX = e.edgeLeft + e.width / 2;
    const int bandY = e.edgeTop - e.band / 2;
    QPoint cursor;
    if (where == QLatin1String("band"))
        cursor = inBand(e);
    else if (where == QLatin1String("band left"))
        cursor = {e.edgeLeft + 1, bandY};
    else if (where == QLatin1String("band right"))
        cursor = {e.edgeLeft + e.width - 1, bandY};
    else if (where == QLatin1String("band top"))
        cursor = {midX, frameTop + 1};
    else if (where == QLatin1String("band bottom"))
        cursor = {midX, e.edgeTop - 1};
    else if (where == QLatin1String("frame top"))
        cursor = {midX, frameTop};
    else if (where == QLatin1String("left limit"))
        cursor = {e.edgeLeft, bandY};
    else if (where == QLatin1String("right limit"))
        cursor = {e.edgeLeft + e.width, bandY};
    else
        cursor = insideClient(open);
    desk.platform.cursor = cursor;
    desk.platform.now += kTick;
    form.Timer2_Timer();

    QCOMPARE(form.collapsed(), !opens);
    QCOMPARE(form.size(), opens ? full : QSize(full.width(), form.menuBar()->height()));
    QCOMPARE(form.countdown().hideArmed(), !opens);
    if (opens) {
        // Open while the pointer stays; the countdown starts once it leaves.
        tickUntil(desk, desk.platform.now + 20 * kTick);
        QCOMPARE(form.size(), full);
        desk.platform.cursor = farAway(form.hideEdges());
        desk.platform.now += kTick;
        form.Timer2_Timer();
        QVERIFY(form.countdown().hideArmed());
        QCOMPARE(form.countdown().hideStart(), desk.platform.now);
        tickUntil(desk, form.countdown().hideStart() + 500);
        QVERIFY(!form.collapsed());
        tickUntil(desk, form.countdown().hideStart() + 600);
        QVERIFY(form.collapsed());
    }
}

void TestAutoHide::pointerLimits_data() {
    QTest::addColumn<QPoint>("offset"); // from the client area's top-left corner
    QTest::addColumn<QString>("corner");
    QTest::addColumn<bool>("inside");
    // Offsets from the top-left or bottom-right limit of the inside region.
    QTest::newRow("left limit") << QPoint(0, 10) << QStringLiteral("top left") << false;
    QTest::newRow("right of the left limit") << QPoint(1, 10) << QStringLiteral("top left") << true;
    QTest::newRow("right limit") << QPoint(0, -10) << QStringLiteral("bottom right") << false;
    QTest::newRow("left of the right limit")
        << QPoint(-1, -10) << QStringLiteral("bottom right") << true;
    QTest::newRow("bottom limit") << QPoint(-10, 0) << QStringLiteral("bottom right") << false;
    QTest::newRow("above the bottom limit")
        << QPoint(-10, -1) << QStringLiteral("bottom right") << true;
    QTest::newRow("top of the client area") << QPoint(10, 0) << QStringLiteral("top left") << true;
    QTest::newRow("menu bar") << QPoint(10, -1) << QStringLiteral("top left") << true;
    QTest::newRow("frame's top") << QPoint(10, 0) << QStringLiteral("frame top") << false;
    QTest::newRow("under the frame's top") << QPoint(10, 1) << QStringLiteral("frame top") << true;
    QTest::newRow("above the frame") << QPoint(10, -1) << QStringLiteral("frame top") << false;
}

void TestAutoHide::pointerLimits() {
    QFETCH(QPoint, offset);
    QFETCH(QString, corner);
    QFETCH(bool, inside);
    HideDesk desk("0");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const HideEdges e = form.hideEdges();
    // The region follows the real window: its client area under the bar.
    const QRect client = form.geometry();
    QCOMPARE(e.edgeLeft, client.left());
    QCOMPARE(e.width, client.width());
    QCOMPARE(e.edgeTop + e.height, client.top() + client.height());
    QCOMPARE(e.edgeTop - e.band, form.frameGeometry().top());

    QPoint base;
    if (corner == QLatin1String("top left"))
        base = {e.edgeLeft, e.edgeTop};
    else if (corner == QLatin1String("bottom right"))
        base = {e.edgeLeft + e.width, e.edgeTop + e.height};
    else
        base = {e.edgeLeft, e.edgeTop - e.band};
    desk.platform.cursor = base + offset;
    form.countdown().restart(4242);
    desk.platform.now = 5000;
    form.Timer2_Timer();

    // Inside stops the countdown; outside leaves the running one alone.
    QCOMPARE(form.countdown().hideArmed(), !inside);
    QCOMPARE(form.countdown().hideStart(), qint64(4242));
}

void TestAutoHide::offNeverCollapses() {
    HideDesk desk("0");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = form.size();
    desk.platform.cursor = farAway(form.hideEdges());
    desk.platform.now = 1000;
    form.Timer2_Timer();
    QVERIFY(form.countdown().hideArmed()); // the countdown runs all the same
    tickUntil(desk, 1000 + 600 * kTick);
    QCOMPARE(form.size(), full);
    // A countdown armed by hand long ago does not shrink it either.
    form.countdown().restart(0);
    desk.platform.now = 1000000;
    form.Timer2_Timer();
    QCOMPARE(form.size(), full);
}

void TestAutoHide::offChosenWhileCollapsed() {
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = form.size();
    desk.platform.cursor = farAway(form.hideEdges());
    form.Timer2_Timer();
    tickUntil(desk, 1000);
    QVERIFY(form.collapsed());

    form.menu().jidou.item(0)->trigger();
    QCOMPARE(form.countdown().hideDelay(), qint64(0));
    // Turning auto-hide off does not open the window.
    tickUntil(desk, desk.platform.now + 30 * kTick);
    QVERIFY(form.collapsed());
    QCOMPARE(form.width(), full.width());

    // The pointer opens it, and from then on it stays open.
    desk.platform.cursor = inBand(form.hideEdges());
    desk.platform.now += kTick;
    form.Timer2_Timer();
    QCOMPARE(form.size(), full);
    desk.platform.cursor = farAway(form.hideEdges());
    tickUntil(desk, desk.platform.now + 100 * kTick);
    QCOMPARE(form.size(), full);
}

void TestAutoHide::longerDelayChosenWhileCounting() {
    // A running countdown is measured against the delay chosen meanwhile.
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    desk.platform.cursor = farAway(form.hideEdges());
    desk.platform.now = 0;
    form.Timer2_Timer();
    tickUntil(desk, 300);
    form.menu().jidou.item(2)->trigger(); // 1.0 s
    QCOMPARE(form.countdown().hideStart(), qint64(0));
    tickUntil(desk, 1000);
    QVERIFY(!form.collapsed());
    tickUntil(desk, 1100);
    QVERIFY(form.collapsed());
}

void TestAutoHide::historyWindowBlocksCollapse() {
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = form.size();
    form.rire_Click();
    desk.platform.foreground = Foreground::History;
    QVERIFY(form.historyShown());
    desk.platform.cursor = farAway(form.hideEdges());
    desk.platform.now = 0;
    form.Timer2_Timer();
    QVERIFY(form.countdown().hideArmed());
    tickUntil(desk, 100 * kTick);
    QCOMPARE(form.size(), full);

    // Once the history window has gone, a new countdown runs out again.
    desk.platform.foreground = Foreground::Other;
    desk.history().Timer1_Timer();
    QVERIFY(!form.historyShown());
    QVERIFY(!form.countdown().hideArmed());
    const qint64 closedAt = desk.platform.now;
    tickUntil(desk, closedAt + kTick);
    QCOMPARE(form.countdown().hideStart(), closedAt + kTick);
    tickUntil(desk, closedAt + kTick + 500);
    QCOMPARE(form.size(), full);
    tickUntil(desk, closedAt + kTick + 600);
    QVERIFY(form.collapsed());
}

void TestAutoHide::pointerInsideSnapsBack_data() {
    QTest::addColumn<QByteArray>("previewSize");
    QTest::addColumn<QSize>("byHand");
    QTest::addColumn<bool>("pointerInside");
    QTest::newRow("wider and taller, pointer inside") << QByteArray("3") << QSize(500, 450) << true;
    QTest::newRow("smaller, pointer inside") << QByteArray("3") << QSize(120, 80) << true;
    QTest::newRow("only wider, 64 preview") << QByteArray("1") << QSize(300, 90) << true;
    QTest::newRow("320 preview, shrunk") << QByteArray("5") << QSize(200, 200) << true;
    QTest::newRow("pointer away keeps the hand size")
        << QByteArray("3") << QSize(500, 450) << false;
}

void TestAutoHide::pointerInsideSnapsBack() {
    QFETCH(QByteArray, previewSize);
    QFETCH(QSize, byHand);
    QFETCH(bool, pointerInside);
    QList<QByteArray> settings = settingsWith(2, previewSize);
    settings[6] = "2";
    Desk desk(settings);
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const int n = previewSize.toInt();
    const QSize full = fullSize(form, n);
    QCOMPARE(form.size(), full);

    for (int round = 0; round < 3; ++round) {
        form.resize(byHand);
        QCOMPARE(form.size(), byHand);
        const HideEdges e = form.hideEdges();
        desk.platform.cursor = pointerInside ? QPoint(e.edgeLeft + 1, e.edgeTop + 1) : farAway(e);
        desk.platform.now += kTick;
        form.Timer2_Timer();
        QCOMPARE(form.size(), pointerInside ? full : byHand);
        QCOMPARE(form.pane().Picture1()->size(), QSize(64 * n + 4, 64 * n + 4));
        QCOMPARE(form.pane().previewWidth(), 64 * n);
    }
}

void TestAutoHide::countdownAcross2To31() {
    // A clock past 2^31 ms (24.8 days of uptime) changes nothing.
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    desk.platform.cursor = farAway(form.hideEdges());
    desk.platform.now = k2To31 - 50;
    form.Timer2_Timer();
    QCOMPARE(form.countdown().hideStart(), k2To31 - 50);
    tickUntil(desk, k2To31 + 450);
    QVERIFY(!form.collapsed());
    tickUntil(desk, k2To31 + 550);
    QVERIFY(form.collapsed());
}

void TestAutoHide::newContentOpensCollapsedWindow() {
    // New clipboard content lays the window out at full size, and the
    // countdown then starts again from that poll.
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    QTRY_VERIFY(settled(form));
    const QSize full = form.size();
    desk.platform.cursor = farAway(form.hideEdges());
    form.Timer2_Timer();
    tickUntil(desk, 1000);
    QVERIFY(form.collapsed());

    desk.copyText(QStringLiteral("new"));
    desk.platform.now += 50;
    desk.poll();
    QCOMPARE(form.size(), full);
    QVERIFY(form.countdown().hideArmed());
    const qint64 polledAt = desk.platform.now;
    QCOMPARE(form.countdown().hideStart(), polledAt);
    tickUntil(desk, polledAt + 500);
    QCOMPARE(form.size(), full);
    tickUntil(desk, polledAt + 600);
    QVERIFY(form.collapsed());
}

void TestAutoHide::enteringAndLeavingWhereNoPositionIsTold() {
    // On a desktop that keeps the pointer's position to itself, the pointer
    // leaving and entering the window drives the countdown.
    HideDesk desk("1");
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    const QSize full = form.size();
    desk.platform.cursor = std::nullopt;
    desk.platform.pointerOverWindow = false;
    form.Timer2_Timer();
    tickUntil(desk, desk.platform.now + 600);
    QVERIFY(form.collapsed());
    desk.platform.pointerOverWindow = true;
    form.Timer2_Timer();
    QCOMPARE(form.size(), full);
    QVERIFY(!form.countdown().hideArmed());
}

QTEST_MAIN(TestAutoHide)
#include "test_auto_hide.moc"
