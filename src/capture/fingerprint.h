#pragma once

#include <QImage>
#include <QPoint>

#include <array>

namespace pomorina {

inline constexpr int kFingerprintSamples = 9;

// The nine pixels the quick test reads, for a picture of width x height.
// Coordinates are computed in single precision as written (divide, then
// multiply) and truncated toward zero. None lies in the right quarter or the
// bottom fifth.
std::array<QPoint, kFingerprintSamples> fingerprintSamplePoints(float width, float height);

// The colour of one pixel as 0x00BBGGRR (red in the low byte, alpha dropped,
// as the pixel shows over black), or -1 for a point outside the picture.
double fingerprintColour(const QImage& picture, QPoint point);

// True when both pictures have the same size and the same pixels, whatever
// their formats or colour space tags. Instant for two copies of one QImage.
bool samePixels(const QImage& a, const QImage& b);


// Tells whether a picture is the one recorded last. A size key and nine
// sampled colours give a quick answer without looking at the whole picture;
// as those can be shared by different pictures, a "same" from them is
// confirmed against the recorded picture's pixels, so that a new picture is
// never taken for the old one.
class PictureFingerprint {
public:
    // True only when `held` has exactly the size and pixels of the picture
    // recorded last. Before anything is recorded no picture matches.
    bool matchkey(const QImage& held) const;
    // Records `held` as the picture seen last. With the bytes it came in,
    // those are kept instead of its pixels, which are decoded again in the
    // rare case that a picture of the same size and samples comes.
    void storekey(const QImage& held, const QByteArray& bytes = {});

    // The quick test alone: size key and the nine colours.
    bool keyAndSamplesMatch(const QImage& held) const;

    // 2 x width + height of the recorded picture; 0 before the first record.
    double picKey() const { return m_picKey; }
    // Colours at the nine sample points of the recorded picture; 0 before.
    const std::array<double, kFingerprintSamples>& picSamples() const { return m_picSamples; }

private:
    double m_picKey = 0;
    std::array<double, kFingerprintSamples> m_picSamples{};
    qint64 m_recordedKey = 0;
    QImage m_recordedPixels; // shares the caller's pixels; no copy is made
    QByteArray m_recordedBytes;
};

} // namespace pomorina
