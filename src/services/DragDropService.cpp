#include "services/DragDropService.h"

#include <QFileInfo>
#include <QUrl>

namespace ivra {

std::unique_ptr<QMimeData> DragDropService::itemProvider(const QString& filePath) {
    auto data = std::make_unique<QMimeData>();
    const QFileInfo file(filePath);
    if (!filePath.isEmpty() && file.isFile()) {
        data->setUrls({QUrl::fromLocalFile(file.absoluteFilePath())});
    }
    return data;
}

} // namespace ivra
