#include "annotation/ToolShortcut.h"

#include <array>

namespace ivra {

namespace {

struct ToolKey {
    AnnotationTool tool;
    quint16 keyCode;
};

constexpr std::array<ToolKey, 9> kToolKeys{{
    {AnnotationTool::Pencil, 35},
    {AnnotationTool::Highlight, 4},
    {AnnotationTool::Line, 37},
    {AnnotationTool::Arrow, 0},
    {AnnotationTool::Rect, 15},
    {AnnotationTool::Ellipse, 8},
    {AnnotationTool::Text, 17},
    {AnnotationTool::Step, 1},
    {AnnotationTool::Blur, 11},
}};

} // namespace

const QHash<quint16, AnnotationTool>& ToolShortcut::keyCodeMap() {
    static const QHash<quint16, AnnotationTool> map = [] {
        QHash<quint16, AnnotationTool> result;
        for (const ToolKey& key : kToolKeys) {
            result.insert(key.keyCode, key.tool);
        }
        return result;
    }();
    return map;
}

std::optional<AnnotationTool> ToolShortcut::forKeyCode(quint16 keyCode) {
    const auto& map = keyCodeMap();
    const auto it = map.constFind(keyCode);
    return it == map.constEnd() ? std::nullopt : std::optional(it.value());
}

} // namespace ivra
