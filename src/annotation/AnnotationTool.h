#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringView>

namespace ivra {

// The nine kinds of mark, in the order the toolbar shows them.
enum class AnnotationTool { Pencil, Highlight, Line, Arrow, Rect, Ellipse, Text, Step, Blur };

inline constexpr std::array<AnnotationTool, 9> kAllAnnotationTools{
    AnnotationTool::Pencil, AnnotationTool::Highlight, AnnotationTool::Line,
    AnnotationTool::Arrow,  AnnotationTool::Rect,      AnnotationTool::Ellipse,
    AnnotationTool::Text,   AnnotationTool::Step,      AnnotationTool::Blur,
};

// The tool's stable text ("pencil", "highlight", …), which is also its identity.
QString rawValue(AnnotationTool tool);

// Exact, case-sensitive: "Pencil" or "" names no tool.
std::optional<AnnotationTool> annotationToolFromRawValue(QStringView raw);

// Tools whose mark is a freely drawn path of any number of points; every other drawn tool
// keeps exactly two points.
constexpr bool isFreehand(AnnotationTool tool) {
    return tool == AnnotationTool::Pencil || tool == AnnotationTool::Highlight;
}

} // namespace ivra
