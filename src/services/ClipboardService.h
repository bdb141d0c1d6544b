#pragma once

#include <optional>

#include <QByteArray>
#include <QImage>

namespace ivra {

// Puts images on the system clipboard. Stateless.
class ClipboardService {
public:
    // Replaces the clipboard's contents with the image as PNG data ("image/png"), plus
    // Qt's own image so applications asking for other image types get one too. When no
    // PNG can be made, the image alone.
    static void copy(const QImage& image);
    static void copyText(const QString& text);
    // The image as PNG bytes, or nothing when it cannot be encoded.
    static std::optional<QByteArray> pngRepresentation(const QImage& image);
};

} // namespace ivra
