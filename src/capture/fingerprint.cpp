#include "capture/fingerprint.h"

#include <QColorSpace>

#include "platform/clipboard_offer.h"

#include <cstring>

namespace pomorina {

namespace {

// The size key 2 x W + H, in single precision like the sizes it comes from.
float sizeKey(const QImage& picture) {
    return 2.0f * static_cast<float>(picture.width()) + static_cast<float>(picture.height());
}

// Pictures of different formats are compared in this one.
constexpr QImage::Format kCommonFormat = QImage::Format_ARGB32_Premultiplied;

QImage inCommonFormat(const QImage& picture) {
    return picture.format() == kCommonFormat ? picture : picture.convertToFormat(kCommonFormat);
}

} // namespace

std::array<QPoint, kFingerprintSamples> fingerprintSamplePoints(float width, float height) {
    const auto at = [](float x, float y) {
        return QPoint(static_cast<int>(x), static_cast<int>(y));
    };
    const float w = width;
    const float h = height;
    return {
        at(0.0f, 0.0f),
        at(w / 2.0f, h / 2.0f),
        at(w / 3.0f, h / 3.0f),
        at(w / 2.0f, h / 3.0f),
        at(w / 3.0f, h / 2.0f),
        at(w / 4.0f, h / 4.0f),
        at(w / 4.0f * 3.0f, h / 2.0f),
        at(w / 2.0f, h / 4.0f * 3.0f),
        at(w / 2.0f, h / 10.0f * 8.0f),
    };
}

double fingerprintColour(const QImage& picture, QPoint point) {
    if (!picture.valid(point))
        return -1;
    // Read in the format that pictures of different formats are compared in,
    // so that one picture gives the same colours in every format.
    const QRgb pixel = picture.format() == kCommonFormat
                           ? picture.pixel(point)
                           : inCommonFormat(picture.copy(QRect(point, QSize(1, 1)))).pixel(0, 0);
    return static_cast<double>(static_cast<quint32>(qRed(pixel)) |
                               static_cast<quint32>(qGreen(pixel)) << 8 |
                               static_cast<quint32>(qBlue(pixel)) << 16);
}

bool samePixels(const QImage& a, const QImage& b) {
    // Copies of one QImage share their pixels and their cache key.
    if (a.cacheKey() == b.cacheKey())
        return true;
    if (a.size() != b.size())
        return false;
    // Qt's own comparison knows every format (unused alpha bytes, colour
    // tables) but also tells colour spaces apart, which this one ignores.
    if (a.format() == b.format() && a.colorSpace() == b.colorSpace())
        return a == b;

    const QImage left = inCommonFormat(a);
    const QImage right = inCommonFormat(b);
    const auto rowBytes = static_cast<size_t>(left.width()) * sizeof(QRgb);
    for (int y = 0; y < left.height(); ++y) {
        if (std::memcmp(left.constScanLine(y), right.constScanLine(y), rowBytes) != 0)
            return false;
    }
    return true;
}

bool PictureFingerprint::keyAndSamplesMatch(const QImage& held) const {
    if (sizeKey(held) != static_cast<float>(m_picKey))
        return false;
    const auto points = fingerprintSamplePoints(static_cast<float>(held.width()),
                                                static_cast<float>(held.height()));
    for (int k = 0; k < kFingerprintSamples; ++k) {
        if (fingerprintColour(held, points[k]) != m_picSamples[k])
            return false;
    }
    return true;
}

bool PictureFingerprint::matchkey(const QImage& held) const {
    if (!keyAndSamplesMatch(held))
        return false;
    // The same picture again (copies share their cache key), or one with the
    // same pixels as the recorded one, decoded again from its bytes if need be.
    return held.cacheKey() == m_recordedKey ||
           samePixels(held, m_recordedPixels.isNull() && !m_recordedBytes.isEmpty()
                                ? clipboardPictureFromBytes(m_recordedBytes)
                                : m_recordedPixels);
}

void PictureFingerprint::storekey(const QImage& held, const QByteArray& bytes) {
    m_picKey = sizeKey(held);
    const auto points = fingerprintSamplePoints(static_cast<float>(held.width()),
                                                static_cast<float>(held.height()));
    for (int k = 0; k < kFingerprintSamples; ++k)
        m_picSamples[k] = fingerprintColour(held, points[k]);
    m_recordedKey = held.cacheKey();
    // Kept as the bytes it came in where there are some, not as pixels.
    m_recordedBytes = bytes;
    m_recordedPixels = bytes.isEmpty() ? held : QImage();
}

} // namespace pomorina
