#include "app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace pomorina {

QIcon makeAppIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x6b, 0x3e, 0x1f), 1.5));
    painter.setBrush(QColor(0xc8, 0x8a, 0x4e));
    painter.drawRoundedRect(QRectF(5.5, 3.5, 21, 27), 3, 3); // board
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(8.5, 8.5, 15, 19)); // paper
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd9, 0x3a, 0x2b));
    painter.drawEllipse(QRectF(11, 12, 10, 10)); // a tomato
    painter.setBrush(QColor(0x3f, 0x8f, 0x3a));
    painter.drawEllipse(QRectF(14.5, 10.5, 3, 3));
    painter.setBrush(QColor(0x80, 0x80, 0x80));
    painter.drawRoundedRect(QRectF(11, 1.5, 10, 5), 1.5, 1.5); // clip
    painter.end();
    return QIcon(pixmap);
}

} // namespace pomorina
