#include "capture/fit_rule.h"

#include <cmath>

namespace pomorina {

double roundHalfEven(double value) {
    // std::round takes halves away from zero; an exact half goes to the even
    // neighbour instead. Written out rather than relying on the current
    // floating-point rounding mode (std::nearbyint).
    if (std::abs(value - std::trunc(value)) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return std::round(value);
}

namespace {

bool positiveSize(double width, double height) {
    return std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0;
}

// Offset that centres `drawn` in `area`: the gap rounded, then halved and
// rounded again.
int centringOffset(double area, double drawn) {
    return static_cast<int>(roundHalfEven(roundHalfEven(area - drawn) / 2.0));
}

} // namespace

FitResult fitPicture(double srcWidth, double srcHeight, double areaWidth, double areaHeight,
                     bool enlarge) {
    // Nothing to divide by or nothing to draw into: no drawing at all.
    if (!positiveSize(srcWidth, srcHeight) || !positiveSize(areaWidth, areaHeight))
        return {};

    FitResult fit;
    fit.drawWidth = srcWidth;
    fit.drawHeight = srcHeight;

    const bool larger = srcWidth > areaWidth || srcHeight > areaHeight;
    const bool smaller = srcWidth < areaWidth && srcHeight < areaHeight;
    if (larger || (enlarge && smaller)) {
        if (areaWidth / srcWidth <= areaHeight / srcHeight) {
            fit.drawWidth = areaWidth;
            fit.drawHeight = srcHeight * areaWidth / srcWidth;
        } else {
            fit.drawHeight = areaHeight;
            fit.drawWidth = srcWidth * areaHeight / srcHeight;
        }
    }

    fit.drawLeft = centringOffset(areaWidth, fit.drawWidth);
    fit.drawTop = centringOffset(areaHeight, fit.drawHeight);
    fit.drawable = true;
    return fit;
}

QRectF fittedRect(const FitResult& fit) {
    if (!fit.drawable)
        return {};
    return {static_cast<double>(fit.drawLeft), static_cast<double>(fit.drawTop), fit.drawWidth,
            fit.drawHeight};
}

} // namespace pomorina
