#include "segmentation/ModelFiles.h"

#include <QDir>

#include "IvraConfig.h"
#include "segmentation/SubjectBackgroundRemover.h"

namespace ivra::segmentation {

QString modelDirectory() {
    const QString overridden = qEnvironmentVariable("IVRA_MODEL_DIR");
    return overridden.isEmpty() ? QStringLiteral(IVRA_MODEL_DIR) : overridden;
}

QString subjectMaskModelPath() {
    // The input size is part of the name: a network converted for another size is not
    // taken for this one (its masks would not have the size asked for).
    return QDir(modelDirectory())
        .filePath(
            QStringLiteral("subject-mask-%1.onnx").arg(SubjectBackgroundRemover::kInputSizePx));
}

QString personMaskModelPath() {
    return QDir(modelDirectory()).filePath(QStringLiteral("person-mask.onnx"));
}

QString missingModelMessage(const QString& path) {
    return QStringLiteral("ivra: the segmentation network %1 is missing; run "
                          "scripts/fetch-models.sh %2 to fetch it")
        .arg(path, QFileInfo(path).absolutePath());
}

} // namespace ivra::segmentation
