#pragma once

#include <cstdint>

#include <QSize>
#include <QSizeF>

#include "settings/SettingsEnums.h"

namespace ivra {

// The movie's pixel size for an area of `sizePt` points at `scale`: each side multiplied,
// truncated, then rounded down to an even number (the encoder's chroma planes need even
// sides).
QSize recordingPixelSize(QSizeF sizePt, double scale);

// The video's average bit rate in bit/s: megapixels × 3.0 (high) or 6.5 (max), × 10⁶,
// truncated. Computed in exactly that order in double precision, so the figures are the
// same on every machine.
int64_t recordingBitRate(QSize sizePx, RecordingQuality quality);

} // namespace ivra
