#pragma once

#include <array>

#include <QColor>

namespace ivra {

// A mark's colour is an entry of the fixed palette, not an arbitrary RGB value: two
// colours are equal exactly when they are the same entry, which the step badge relies on
// to pick its contrast colour.
enum class AnnotationColor { Red, Orange, Yellow, Green, Blue, White, Black };

// The palette in toolbar order.
inline constexpr std::array<AnnotationColor, 7> kPalette{
    AnnotationColor::Red,  AnnotationColor::Orange, AnnotationColor::Yellow, AnnotationColor::Green,
    AnnotationColor::Blue, AnnotationColor::White,  AnnotationColor::Black,
};

inline constexpr AnnotationColor kDefaultAnnotationColor = AnnotationColor::Red;

// Opaque sRGB value of a palette entry.
QColor toQColor(AnnotationColor color);

} // namespace ivra
