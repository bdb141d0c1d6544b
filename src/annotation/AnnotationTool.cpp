#include "annotation/AnnotationTool.h"

namespace ivra {

namespace {

constexpr std::array<const char*, 9> kRawValues{
    "pencil", "highlight", "line", "arrow", "rect", "ellipse", "text", "step", "blur",
};

} // namespace

QString rawValue(AnnotationTool tool) {
    return QString::fromLatin1(kRawValues[static_cast<size_t>(tool)]);
}

std::optional<AnnotationTool> annotationToolFromRawValue(QStringView raw) {
    for (const AnnotationTool tool : kAllAnnotationTools) {
        if (raw == QLatin1String(kRawValues[static_cast<size_t>(tool)])) {
            return tool;
        }
    }
    return std::nullopt;
}

} // namespace ivra
