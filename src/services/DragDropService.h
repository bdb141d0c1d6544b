#pragma once

#include <memory>

#include <QMimeData>
#include <QString>

namespace ivra {

// What a drag out of Ivra carries. Stateless.
class DragDropService {
public:
    // For an existing file: its URL ("text/uri-list"), which file managers, browsers and
    // chat applications accept as the file itself. For a missing file or an empty
    // path: empty data, so a drag of a removed capture drops nothing.
    static std::unique_ptr<QMimeData> itemProvider(const QString& filePath);
};

} // namespace ivra
