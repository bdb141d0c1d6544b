#include "segmentation/RemoveBackgroundCommand.h"

#include "editor/BackgroundRemover.h"
#include "imageio/AtomicFile.h"
#include "imageio/ImageCodec.h"

namespace ivra {

int runRemoveBackgroundCommand(const QString& input, const QString& output,
                               const BackgroundRemover& remover, QTextStream& err) {
    QString problem;
    const QImage image = imageio::readImageFile(input, &problem);
    if (image.isNull()) {
        err << "ivra: cannot read an image from \"" << input << "\": " << problem << Qt::endl;
        return 1;
    }
    const std::optional<QImage> cutout = remover.cutout(image);
    if (!cutout) {
        // The editor's words for the same outcome.
        err << "No subject to lift — works on photos, not flat UI" << Qt::endl;
        return 1;
    }
    const std::optional<QByteArray> png = imageio::encodePng(*cutout);
    if (!png || !imageio::writeFileReplacing(output, *png)) {
        err << "ivra: cannot write \"" << output << "\"" << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace ivra
