#include "picture_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace pomorina {

PictureBox::PictureBox(QWidget* parent, Resolution resolution)
    : QWidget(parent), resolution_(resolution) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

qreal PictureBox::canvasRatio() const {
    return resolution_ == Resolution::Screen ? devicePixelRatioF() : 1.0;
}

void PictureBox::setBackColor(const QColor& color) {
    // The surface keeps its drawing; only what is cleared from now on, and the
    // parts never drawn, take the new colour.
    backColor_ = color;
    update();
}

void PictureBox::clear() {
    fitCanvas();
    canvas_.fill(backColor_);
    drawn_.clear();
    update();
}

void PictureBox::drawPicture(const QImage& picture, const QRectF& target) {
    if (picture.isNull() || target.isEmpty())
        return;
    fitCanvas();
    paintDrawn(picture, target);
    drawn_.append({picture, target});
    update();
}

void PictureBox::paintDrawn(const QImage& picture, const QRectF& target) {
    // In the window's pixels; the painter maps them onto the canvas's own.
    QPainter painter(&canvas_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}

void PictureBox::hold(const HeldPicture& picture) {
    held_ = picture;
    if (!picture.isNull())
        resize(picture.width() + 2 * kFrame, picture.height() + 2 * kFrame);
}

int PictureBox::innerWidth() const {
    return qMax(0, width() - 2 * kFrame);
}
int PictureBox::innerHeight() const {
    return qMax(0, height() - 2 * kFrame);
}

void PictureBox::fitCanvas() {
    const qreal ratio = canvasRatio();
    const QSize inner(innerWidth(), innerHeight());
    const QSize pixels = (QSizeF(inner) * ratio).toSize();
    if (canvas_.size() == pixels && canvas_.devicePixelRatio() == ratio)
        return;
    QImage grown(pixels, QImage::Format_RGB32);
    grown.setDevicePixelRatio(ratio);
    grown.fill(backColor_);
    if (!canvas_.isNull() && canvas_.devicePixelRatio() == ratio) {
        // A resize keeps what was drawn where it was, like a persistent surface.
        QPainter painter(&grown);
        painter.drawImage(QPointF(0, 0), canvas_);
        canvas_ = grown;
        return;
    }
    // Another resolution: what was drawn is drawn again from the pictures.
    canvas_ = grown;
    for (const auto& [picture, target] : std::as_const(drawn_))
        paintDrawn(picture, target);
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (!canvas_.isNull() && canvas_.devicePixelRatio() != canvasRatio())
        fitCanvas();
    QPainter painter(this);
    const QRect all = rect();
    // A sunken frame: dark above and left, light below and right.
    painter.fillRect(all, palette().color(QPalette::Mid));
    painter.fillRect(all.adjusted(1, 1, 0, 0), palette().color(QPalette::Light));
    painter.fillRect(all.adjusted(1, 1, -1, -1), palette().color(QPalette::Dark));
    const QRect inner = all.adjusted(kFrame, kFrame, -kFrame, -kFrame);
    painter.fillRect(inner, backColor_);
    if (!canvas_.isNull())
        painter.drawImage(inner.topLeft(), canvas_);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!canvas_.isNull())
        fitCanvas();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

} // namespace pomorina
