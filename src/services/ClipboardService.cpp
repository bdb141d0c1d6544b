#include "services/ClipboardService.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "imageio/ImageCodec.h"

namespace ivra {

void ClipboardService::copy(const QImage& image) {
    auto* data = new QMimeData;
    data->setImageData(image);
    if (const auto png = pngRepresentation(image)) {
        data->setData(QStringLiteral("image/png"), *png);
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void ClipboardService::copyText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

std::optional<QByteArray> ClipboardService::pngRepresentation(const QImage& image) {
    return imageio::encodePng(image);
}

} // namespace ivra
