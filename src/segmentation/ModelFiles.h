#pragma once

#include <QString>

namespace ivra::segmentation {

// The folder that holds the converted networks: $IVRA_MODEL_DIR when set, else the one
// this build was configured with (where scripts/fetch-models.sh puts them).
QString modelDirectory();

// Full paths of the two networks.
QString subjectMaskModelPath();
QString personMaskModelPath();

// The one line logged when a network file is missing: what is missing and how to get it.
QString missingModelMessage(const QString& path);

} // namespace ivra::segmentation
