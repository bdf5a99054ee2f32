// The two auto-hide decisions on their own: is the pointer over the window,
// and has the countdown run out.
#include "app/auto_hide.h"

#include <QTest>

#include <limits>

using namespace pomorina;

Q_DECLARE_METATYPE(pomorina::HideEdges)

namespace {

// A window whose frame starts at y = 100, with a 45-pixel title and menu band
// above a 196 x 196 client area whose left edge is at x = 104.
HideEdges expanded() {
    HideEdges edges;
    edges.edgeLeft = 104;
    edges.edgeTop = 145;
    edges.band = 45;
    edges.width = 196;
    edges.height = 196;
    return edges;
}

// The same window shrunk to its title and menu bars.
HideEdges collapsedEdges() {
    HideEdges edges = expanded();
    edges.height = 0;
    return edges;
}

// A window pushed off the left and top of the screen.
HideEdges offScreen() {
    HideEdges edges;
    edges.edgeLeft = -300;
    edges.edgeTop = -200;
    edges.band = 30;
    edges.width = 100;
    edges.height = 50;
    return edges;
}

constexpr qint64 k2To31 = qint64(1) << 31;
constexpr qint64 k2To32 = qint64(1) << 32;

} // namespace

class TestAutoHideRules : public QObject {
    Q_OBJECT
private slots:
    void pointerInside_data();
    void pointerInside();
    void collapseDue_data();
    void collapseDue();
};

void TestAutoHideRules::pointerInside_data() {
    QTest::addColumn<HideEdges>("edges");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<bool>("inside");

    const HideEdges e = expanded();
    // Left and right limits, on a row in the middle of the client area.
    QTest::newRow("on the left limit") << e << QPoint(104, 200) << false;
    QTest::newRow("one right of the left limit") << e << QPoint(105, 200) << true;
    QTest::newRow("one left of the left limit") << e << QPoint(103, 200) << false;
    QTest::newRow("one left of the right limit") << e << QPoint(299, 200) << true;
    QTest::newRow("on the right limit") << e << QPoint(300, 200) << false;
    QTest::newRow("one right of the right limit") << e << QPoint(301, 200) << false;
    // Top limit: the frame's top row; the band under it is inside.
    QTest::newRow("one above the frame") << e << QPoint(200, 99) << false;
    QTest::newRow("on the frame's top") << e << QPoint(200, 100) << false;
    QTest::newRow("first row of the band") << e << QPoint(200, 101) << true;
    QTest::newRow("last row of the band") << e << QPoint(200, 144) << true;
    QTest::newRow("first client row") << e << QPoint(200, 145) << true;
    // Bottom limit.
    QTest::newRow("one above the bottom limit") << e << QPoint(200, 340) << true;
    QTest::newRow("on the bottom limit") << e << QPoint(200, 341) << false;
    QTest::newRow("below the bottom limit") << e << QPoint(200, 342) << false;
    // Corners: both coordinates must be inside.
    QTest::newRow("inside corner, top left") << e << QPoint(105, 101) << true;
    QTest::newRow("inside corner, bottom right") << e << QPoint(299, 340) << true;
    QTest::newRow("x inside, y on the top limit") << e << QPoint(105, 100) << false;
    QTest::newRow("y inside, x on the right limit") << e << QPoint(300, 340) << false;
    QTest::newRow("far away, negative") << e << QPoint(-5000, -5000) << false;
    QTest::newRow("far away, positive") << e << QPoint(5000, 5000) << false;

    // Collapsed: only the band remains, and it is still inside.
    const HideEdges c = collapsedEdges();
    QTest::newRow("collapsed, on the frame's top") << c << QPoint(200, 100) << false;
    QTest::newRow("collapsed, first row of the band") << c << QPoint(200, 101) << true;
    QTest::newRow("collapsed, last row of the band") << c << QPoint(200, 144) << true;
    QTest::newRow("collapsed, where the client was") << c << QPoint(200, 145) << false;
    QTest::newRow("collapsed, deep in the old client") << c << QPoint(200, 300) << false;
    QTest::newRow("collapsed, band on the left limit") << c << QPoint(104, 120) << false;
    QTest::newRow("collapsed, band left of the right limit") << c << QPoint(299, 120) << true;
    QTest::newRow("collapsed, band on the right limit") << c << QPoint(300, 120) << false;

    // Negative screen positions behave the same.
    const HideEdges o = offScreen();
    QTest::newRow("off screen, on the left limit") << o << QPoint(-300, -190) << false;
    QTest::newRow("off screen, inside") << o << QPoint(-299, -190) << true;
    QTest::newRow("off screen, band top row") << o << QPoint(-250, -229) << true;
    QTest::newRow("off screen, on the frame's top") << o << QPoint(-250, -230) << false;
    QTest::newRow("off screen, on the bottom limit") << o << QPoint(-250, -150) << false;
    QTest::newRow("off screen, on the right limit") << o << QPoint(-200, -190) << false;

    // A window with neither band nor client area has no inside at all.
    HideEdges empty;
    empty.edgeLeft = 10;
    empty.edgeTop = 10;
    QTest::newRow("empty window, on its corner") << empty << QPoint(10, 10) << false;
    QTest::newRow("empty window, next to it") << empty << QPoint(11, 9) << false;
}

void TestAutoHideRules::pointerInside() {
    QFETCH(HideEdges, edges);
    QFETCH(QPoint, cursor);
    QFETCH(bool, inside);
    QCOMPARE(pomorina::pointerInside(cursor, edges), inside);
}

void TestAutoHideRules::collapseDue_data() {
    QTest::addColumn<bool>("armed");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("delay");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<bool>("off");
    QTest::addColumn<bool>("history");
    QTest::addColumn<bool>("due");

    // The delay must have been passed, not merely reached.
    QTest::newRow("before the delay")
        << true << qint64(1000) << qint64(500) << qint64(1499) << false << false << false;
    QTest::newRow("exactly at the delay")
        << true << qint64(1000) << qint64(500) << qint64(1500) << false << false << false;
    QTest::newRow("one ms past the delay")
        << true << qint64(1000) << qint64(500) << qint64(1501) << false << false << true;
    QTest::newRow("long past the delay")
        << true << qint64(1000) << qint64(500) << qint64(99999) << false << false << true;
    QTest::newRow("9.9 s, one ms short")
        << true << qint64(0) << qint64(9900) << qint64(9900) << false << false << false;
    QTest::newRow("9.9 s, passed")
        << true << qint64(0) << qint64(9900) << qint64(9901) << false << false << true;
    QTest::newRow("delay 0, same tick")
        << true << qint64(700) << qint64(0) << qint64(700) << false << false << false;
    QTest::newRow("delay 0, next ms")
        << true << qint64(700) << qint64(0) << qint64(701) << false << false << true;
    // Nothing is due without a running countdown, with auto-hide off, or
    // while the history window is open.
    QTest::newRow("not armed") << false << qint64(1000) << qint64(500) << qint64(99999) << false
                               << false << false;
    QTest::newRow("auto-hide off")
        << true << qint64(1000) << qint64(500) << qint64(99999) << true << false << false;
    QTest::newRow("history open") << true << qint64(1000) << qint64(500) << qint64(99999) << false
                                  << true << false;
    QTest::newRow("off and history open")
        << true << qint64(1000) << qint64(500) << qint64(99999) << true << true << false;
    QTest::newRow("not armed, off")
        << false << qint64(1000) << qint64(500) << qint64(99999) << true << false << false;
    // The clock is 64 bits wide: a countdown across 2^31 or 2^32 ms (24.8
    // and 49.7 days of uptime) completes like any other.
    QTest::newRow("started just before 2^31, not yet")
        << true << k2To31 - 100 << qint64(500) << k2To31 + 400 << false << false << false;
    QTest::newRow("started just before 2^31, passed")
        << true << k2To31 - 100 << qint64(500) << k2To31 + 401 << false << false << true;
    QTest::newRow("started at 2^31 - 1, long after")
        << true << k2To31 - 1 << qint64(9900) << k2To31 + 100000 << false << false << true;
    QTest::newRow("started just before 2^32, passed")
        << true << k2To32 - 10 << qint64(1000) << k2To32 + 991 << false << false << true;
    QTest::newRow("started just before 2^32, not yet")
        << true << k2To32 - 10 << qint64(1000) << k2To32 + 990 << false << false << false;
    QTest::newRow("near the end of the clock")
        << true << std::numeric_limits<qint64>::max() - 20000 << qint64(9900)
        << std::numeric_limits<qint64>::max() - 10000 << false << false << true;
    // A clock that went back before the start (a countdown started in the
    // future) is not due.
    QTest::newRow("now before the start")
        << true << qint64(5000) << qint64(500) << qint64(100) << false << false << false;
}

void TestAutoHideRules::collapseDue() {
    QFETCH(bool, armed);
    QFETCH(qint64, start);
    QFETCH(qint64, delay);
    QFETCH(qint64, now);
    QFETCH(bool, off);
    QFETCH(bool, history);
    QFETCH(bool, due);
    QCOMPARE(pomorina::collapseDue(armed, start, delay, now, off, history), due);
}

QTEST_APPLESS_MAIN(TestAutoHideRules)
#include "test_auto_hide_rules.moc"
