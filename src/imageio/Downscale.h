#pragma once

#include <QImage>
#include <QSize>

namespace ivra::imageio {

// The image reduced to `sizePx` by averaging the pixels each output pixel covers: as
// smooth as Qt's smooth scaling, and a full 4K screen becomes a card or a drag picture in
// a few milliseconds instead of a few hundred. Larger sizes, formats other than 32-bit
// and failures fall back to Qt's smooth scaling. Any thread.
QImage downscale(const QImage& image, QSize sizePx);

} // namespace ivra::imageio
