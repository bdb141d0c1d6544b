#pragma once

#include <optional>

#include <QHash>

#include "annotation/AnnotationTool.h"

namespace ivra {

// The keys that pick a tool while annotating, by position. The table is fixed and built once.
class ToolShortcut {
public:
    // Key positions in the application's key code space (US-ANSI positions: 35 is the P
    // key whatever the active layout), so a tool key works in every keyboard layout.
    static const QHash<quint16, AnnotationTool>& keyCodeMap();

    static std::optional<AnnotationTool> forKeyCode(quint16 keyCode);
};

} // namespace ivra
