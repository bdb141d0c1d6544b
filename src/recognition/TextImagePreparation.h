#pragma once

#include <optional>

#include <QImage>

namespace ivra {

// Screenshots carry small, anti-aliased interface text on grounds of every shade, often
// light on dark and on several differently coloured panels at once, which Tesseract reads
// poorly as it stands. These steps turn a screenshot into what it reads best: dark text on
// white, characters scaled up to a comfortable height.

// 8-bit grey of the image's pixels (device pixel ratio ignored); translucent pixels are
// composited onto white first.
QImage toGrey(const QImage& image);

// Replaces every region's background with white and draws whatever stands out from it,
// lighter or darker, in black to the degree it stands out (`ink`), and keeps the background
// it found under every pixel (`background`; both Format_Grayscale8), which tells panels of
// different grounds apart. A region's background is taken from its flat parts: pixels whose
// surroundings, `flatRadiusPx` around, hardly vary, or whose row does for several times that
// to one side (the thin strips of a coloured bar); flat islands smaller than a few radii
// (the inside of a filled icon) are not ground, and a ground also takes the pixels of its
// own shade that reach it (rounded corners). The radius must exceed half the thickest
// stroke, or stroke interiors pass for background.
struct FlattenedImage {
    QImage ink;
    QImage background;
};
FlattenedImage flattenWithBackground(const QImage& grey, int flatRadiusPx);

// Grey, flattened with a flat radius that suits the text's size, and its background: what
// the layout analysis works on, at the source's own pixel size.
struct PageForLayout {
    FlattenedImage flattened;
    std::optional<double> glyphPx; // the typical character height, when there is text
};
PageForLayout preparePageForLayout(const QImage& image);

// The scale that brings characters of `glyphPx` to the height recognition reads best, 1 when
// they are close enough already.
double recognitionScaleFor(double glyphPx);

// A white margin of `paddingPx` around `grey`.
QImage padded(const QImage& grey, int paddingPx);

// The white margin that recognition wants around a line or page.
inline constexpr int kRecognitionPaddingPx = 16;

// The typical height of the characters in a flattened image, in pixels: the median height
// of the glyph-sized ink blobs. Nothing when the image holds no text-like ink.
std::optional<double> estimateGlyphHeightPx(const QImage& flattened);

} // namespace ivra
