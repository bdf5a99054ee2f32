#pragma once

#include <QRectF>

namespace pomorina {

// A real number to the nearest integer, halves to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2): the program's one way of rounding.
double roundHalfEven(double value);

// Where a picture goes inside an area: drawn at (drawLeft, drawTop) of the
// area, scaled to drawWidth x drawHeight (not rounded).
struct FitResult {
    double drawWidth = 0;
    double drawHeight = 0;
    int drawLeft = 0;
    int drawTop = 0;
    bool drawable = false; // false: there is nothing to draw, all else is 0
};

// Places a picture of srcWidth x srcHeight pixels in an area of areaWidth x
// areaHeight, keeping its proportions and centring it. A picture larger than
// the area in either direction is scaled down; one smaller in both directions
// is scaled up only when `enlarge` is set; any other keeps its natural size.
// A picture or area without a positive width and height is not drawable.
FitResult fitPicture(double srcWidth, double srcHeight, double areaWidth, double areaHeight,
                     bool enlarge);

// The rectangle to draw the whole picture into, relative to the area's origin;
// an empty rectangle when the result is not drawable.
QRectF fittedRect(const FitResult& fit);

} // namespace pomorina
