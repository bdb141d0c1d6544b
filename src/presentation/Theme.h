#pragma once

#include <QColor>
#include <QFont>

namespace ivra::theme {

// The interface palette: ten opaque sRGB colours used throughout the windows and
// panels. (The annotation colours are a separate palette.)
inline const QColor kBg{10, 11, 13};
inline const QColor kSurface{19, 21, 26};
inline const QColor kElev{24, 27, 33};
inline const QColor kBorder{30, 34, 42};
inline const QColor kText{242, 244, 247};
inline const QColor kDim{139, 146, 155};
inline const QColor kFaint{86, 93, 102};
inline const QColor kBlue{74, 158, 255};
inline const QColor kGold{245, 197, 66};
inline const QColor kGreen{74, 222, 128};

// The interface font at a size in pixels (points on a 1x screen) and weight.
inline QFont font(int pixelSize, QFont::Weight weight) {
    QFont result;
    result.setPixelSize(pixelSize);
    result.setWeight(weight);
    return result;
}

} // namespace ivra::theme
