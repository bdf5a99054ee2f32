#pragma once

#include "capture/held_picture.h"

#include <QColor>
#include <QImage>
#include <QWidget>

namespace pomorina {

// A box that shows pictures the way the program needs them: a persistent
// drawing surface cleared to a back colour and drawn on with scaled pictures,
// and, for the boxes that hold a picture at its natural size, that picture.
// A 2-pixel frame runs round the drawing area, so the box is 4 pixels wider
// and taller than what is drawn in it.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrame = 2;

    // A box on screen draws at the screen's own resolution (two canvas pixels
    // a pixel on a screen at 200 %), so that pictures stay sharp; sizes and
    // positions are still in the window's pixels. A canvas that goes to a
    // file has exactly one canvas pixel a pixel.
    enum class Resolution { Screen, Exact };

    explicit PictureBox(QWidget* parent = nullptr, Resolution resolution = Resolution::Screen);

    QColor backColor() const { return backColor_; }
    void setBackColor(const QColor& color);

    // The drawing surface: cleared to the back colour, then drawn on. It
    // follows the box's size and keeps what was drawn until the next clear.
    // Its devicePixelRatio() tells how many canvas pixels make a pixel.
    const QImage& canvas() const { return canvas_; }
    void clear();
    // Draws the whole picture scaled into `target`, in drawing-area pixels.
    void drawPicture(const QImage& picture, const QRectF& target);

    // The held picture at its natural size (null: none). Holding a picture
    // makes the drawing area take its size.
    const HeldPicture& held() const { return held_; }
    void hold(const HeldPicture& picture);
    // Its full pixels, decoded again where they were let go.
    QImage picture() const { return held_.pixels(); }
    void releasePixels() { held_.releasePixels(); }

    // The drawing area's size in pixels.
    int innerWidth() const;
    int innerHeight() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    qreal canvasRatio() const;
    void fitCanvas();
    void paintDrawn(const QImage& picture, const QRectF& target);

    const Resolution resolution_;
    QColor backColor_ = Qt::white;
    QImage canvas_;
    HeldPicture held_;
    // What was drawn since the last clear, to draw it again when the screen's
    // resolution changes (the window moved to another screen).
    QList<std::pair<QImage, QRectF>> drawn_;
};

} // namespace pomorina
