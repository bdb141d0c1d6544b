#include "recognition/RecognizeCommand.h"

#include <QFileInfo>
#include <QImageReader>

#include "recognition/OCRService.h"

namespace ivra {

int runRecognizeCommand(const QString& path, QTextStream& out, QTextStream& err) {
    const QFileInfo info(path);
    QString problem;
    QImage image;
    if (!info.exists()) {
        problem = QStringLiteral("no such file");
    } else if (info.isDir()) {
        problem = QStringLiteral("it is a folder");
    } else if (!info.isReadable()) {
        problem = QStringLiteral("permission denied");
    } else {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        image = reader.read();
        if (image.isNull()) {
            problem = reader.errorString();
        }
    }
    if (!problem.isEmpty()) {
        err << "ivra: cannot read an image from \"" << path << "\": " << problem << Qt::endl;
        return 1;
    }

    const RecognitionResult result = OCRService::recognizeTextBlocking(image);
    if (!result.ok()) {
        err << "ivra: \"" << path << "\": " << describe(*result.error) << Qt::endl;
        return 1;
    }
    if (!result.text.isEmpty()) {
        out << result.text << '\n';
    }
    out.flush();
    return 0;
}

} // namespace ivra
