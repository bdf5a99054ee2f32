#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace pomorina {

// A picture at its natural size, kept in as little memory as it allows: the
// bytes it came in, where it came with some, and its full pixels only until
// it has been taken in (a save or a restore decodes them again from the
// bytes); a small copy, enough for any preview and thumbnail, is always at
// hand. A picture without bytes keeps its pixels.
class HeldPicture {
public:
    HeldPicture() = default;
    // `pixels` at full size; `smallSide` the longest side of the small copy.
    HeldPicture(QImage pixels, QByteArray bytes, QByteArray format, int smallSide);

    bool isNull() const { return size_.isEmpty(); }
    QSize size() const { return size_; }
    int width() const { return size_.width(); }
    int height() const { return size_.height(); }

    // The full pixels: as held, or decoded again from the bytes.
    QImage pixels() const;
    // The picture fitted into a square of the small side, never enlarged.
    const QImage& small() const { return small_; }
    const QByteArray& bytes() const { return bytes_; }
    const QByteArray& format() const { return format_; }

    // Lets the full pixels go, where the bytes can give them back.
    void releasePixels();

private:
    QImage pixels_;
    QByteArray bytes_;
    QByteArray format_;
    QSize size_{0, 0};
    QImage small_;
};

} // namespace pomorina
