// Pictures on a screen at 200 %: sizes and places stay in the window's
// pixels, but the preview, the thumbnails and a restored picture are drawn
// with two canvas pixels a pixel, so that a copied picture loses nothing to
// the enlargement. The saved picture keeps exactly the chosen resolution.
#include "files/image_save.h"
#include "support/form1_views.h"

#include <QApplication>
#include <QTest>

using namespace pomorina;
using namespace pomorina::testing;

class TestHighDensity : public QObject {
    Q_OBJECT
private slots:
    void drawnAtTheScreensResolution();
};

void TestHighDensity::drawnAtTheScreensResolution() {
    Desk desk; // a 192-pixel preview
    QVERIFY(desk.loaded);
    Form1& form = desk.main();
    // Halved into the preview, a line two pixels wide is one screen pixel:
    // still black, where drawing at the window's pixels would make it grey.
    QImage picture = filled(384, 384, kWhite);
    for (int y = 0; y < 384; ++y) {
        picture.setPixel(190, y, kBlack);
        picture.setPixel(191, y, kBlack);
    }
    desk.copyPicture(picture);
    desk.poll();
    QCOMPARE(form.pane().previewWidth(), 192);
    QCOMPARE(form.pane().Picture1()->canvas().size(), QSize(384, 384));
    QCOMPARE(form.pane().Picture1()->canvas().pixel(190, 100), kBlack);
    // The thumbnail takes it from 384 to 96 pixels: 192 on the screen.
    QCOMPARE(desk.history().Picture1(0)->canvas().pixel(95, 50), kBlack);

    form.pane().Picture1()->clear();
    desk.history().Picture1_Click(0);
    QCOMPARE(form.pane().Picture1()->canvas().pixel(191, 100), kBlack);

    desk.platform.okCancelAnswers = {true};
    form.gsave_Click();
    QCOMPARE(QImage(desk.dir.filePath(kImageFileName)).size(), QSize(640, 480));
}

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHighDensity test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_high_density.moc"
