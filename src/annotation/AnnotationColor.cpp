#include "annotation/AnnotationColor.h"

namespace ivra {

QColor toQColor(AnnotationColor color) {
    // The desktop's standard named hues (the GNOME palette's middle shades); white and
    // black are pure.
    switch (color) {
    case AnnotationColor::Red:
        return QColor(224, 27, 36);
    case AnnotationColor::Orange:
        return QColor(255, 120, 0);
    case AnnotationColor::Yellow:
        return QColor(246, 211, 45);
    case AnnotationColor::Green:
        return QColor(51, 209, 122);
    case AnnotationColor::Blue:
        return QColor(53, 132, 228);
    case AnnotationColor::White:
        return QColor(255, 255, 255);
    case AnnotationColor::Black:
        return QColor(0, 0, 0);
    }
    return QColor(0, 0, 0);
}

} // namespace ivra
