#pragma once

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

    explicit PictureBox(QWidget* parent = nullptr);

    QColor backColor() const { return backColor_; }
    void setBackColor(const QColor& color);

    // The drawing surface: cleared to the back colour, then drawn on. It
    // follows the box's size and keeps what was drawn until the next clear.
    const QImage& canvas() const { return canvas_; }
    void clear();
    // Draws the whole picture scaled into `target`, in drawing-area pixels.
    void drawPicture(const QImage& picture, const QRectF& target);

    // The held picture at its natural size (null: none). Holding a picture
    // makes the drawing area take its size.
    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

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
    void fitCanvas();

    QColor backColor_ = Qt::white;
    QImage canvas_;
    QImage picture_;
};

} // namespace pomorina
