#pragma once
// The window's layout is drawn in twips (1/1440 inch): 15 twips are one
// pixel at 96 dpi.

#include <QRect>
#include <cmath>

constexpr int kTwipsPerInch = 1440;

inline int twipsToPixels(int twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

inline QRect twipsRect(int left, int top, int width, int height, double dpi)
{
    return QRect(twipsToPixels(left, dpi), twipsToPixels(top, dpi), twipsToPixels(width, dpi),
                 twipsToPixels(height, dpi));
}
