#pragma once

#include <optional>

#include <QByteArray>
#include <QImage>

namespace ivra::imageio {

// PNG and JPEG encoding on the user's critical path: every capture, save, copy and pin
// goes through here, so these use libdeflate and libjpeg-turbo directly rather than
// QImage::save.

// Far beyond any screen (three 8K monitors side by side are 100 million pixels). Larger
// images are refused rather than risking the whole process on the allocations.
constexpr qint64 kMaxPngPixels = qint64(1) << 28;

// Lossless PNG. Opaque images are written as RGB, others as RGBA (straight alpha).
// Nothing for a null image, one beyond kMaxPngPixels, or one whose encoding fails (for
// example when memory runs out).
std::optional<QByteArray> encodePng(const QImage& image);

// JPEG at the given quality (0…1, clamped). JPEG has no alpha, so a translucent image is
// first composited onto white, as a saved JPEG would look in any viewer.
std::optional<QByteArray> encodeJpeg(const QImage& image, double quality);

// Decodes PNG or JPEG bytes (or any format Qt reads); a null image on failure.
QImage decode(const QByteArray& bytes);

// Reads an image file given on the command line, turned upright by its EXIF orientation.
// A null image on failure, with the reason in `problem` ("no such file", "it is a
// folder", "permission denied" or the decoder's message).
QImage readImageFile(const QString& path, QString* problem);

} // namespace ivra::imageio
