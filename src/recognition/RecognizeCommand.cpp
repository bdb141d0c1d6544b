#include "recognition/RecognizeCommand.h"

#include "imageio/ImageCodec.h"
#include "recognition/OCRService.h"

namespace ivra {

int runRecognizeCommand(const QString& path, QTextStream& out, QTextStream& err) {
    QString problem;
    const QImage image = imageio::readImageFile(path, &problem);
    if (image.isNull()) {
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
