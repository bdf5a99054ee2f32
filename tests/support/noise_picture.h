// A picture of random pixels: it compresses badly, so its PNG is about as
// large as its pixels, and any pixel lost or moved on the way shows.
#pragma once

#include <QImage>
#include <QRandomGenerator>

namespace pomorina::testing {

inline QImage noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

} // namespace pomorina::testing
