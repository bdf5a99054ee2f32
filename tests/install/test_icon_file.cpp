// The icon file shipped for menus and file managers (data/pomorina.png, drawn
// from data/pomorina.svg) must show what the window icon shows
// (makeAppIcon): when one of them is redrawn, the other must follow.
#include "app/app_icon.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace pomorina;

namespace {

constexpr int kSide = 32;

QImage windowIcon() {
    return makeAppIcon().pixmap(kSide, kSide).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage fileIcon() {
    const QImage file(QStringLiteral(POMORINA_ICON_PNG));
    return file.convertToFormat(QImage::Format_ARGB32)
        .scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Pixels whose colour or opacity differ by more than `tolerance` in a channel.
// Edges are smoothed differently by each renderer; a changed shape or colour
// moves whole areas.
int differingPixels(const QImage& a, const QImage& b, int tolerance) {
    int count = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int worst =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (worst > tolerance)
                ++count;
        }
    }
    return count;
}

enum class Change { None, RecolourTomato, DropClip };

QImage changed(QImage image, Change change) {
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    switch (change) {
    case Change::None:
        break;
    case Change::RecolourTomato:
        painter.setBrush(QColor(0x2b, 0x3a, 0xd9));
        painter.drawEllipse(QRectF(11, 12, 10, 10));
        break;
    case Change::DropClip:
        painter.setBrush(Qt::transparent);
        painter.drawRect(QRectF(11, 0, 10, 3.5));
        break;
    }
    return image;
}

// The edges of the shapes are smoothed differently by ImageMagick and by
// QPainter, by less than 48 levels here; a few pixels more may come from another
// ImageMagick release rendering the file again.
constexpr int kTolerance = 48;
constexpr int kAllowed = 8;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestIconFile : public QObject {
    Q_OBJECT

private slots:
    void fileMatchesWindowIcon();
    void changesAreNoticed_data();
    void changesAreNoticed();
};

void TestIconFile::fileMatchesWindowIcon() {
    const QImage file = fileIcon();
    QVERIFY2(!file.isNull(), POMORINA_ICON_PNG " is not a readable picture");
    const int differing = differingPixels(file, windowIcon(), kTolerance);
    QVERIFY2(
        differing <= kAllowed,
        qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(kSide * kSide)));
}

// The comparison must be able to fail: a window icon drawn with another
// colour or without a part is told apart from the file.
void TestIconFile::changesAreNoticed_data() {
    QTest::addColumn<Change>("change");
    QTest::newRow("blue tomato") << Change::RecolourTomato;
    QTest::newRow("no clip") << Change::DropClip;
}

void TestIconFile::changesAreNoticed() {
    QFETCH(Change, change);
    const int differing = differingPixels(fileIcon(), changed(windowIcon(), change), kTolerance);
    QVERIFY2(differing > kAllowed,
             qPrintable(QStringLiteral("only %1 pixels differ").arg(differing)));
}

QTEST_MAIN(TestIconFile)
#include "test_icon_file.moc"
