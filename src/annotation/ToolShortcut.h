#pragma once

#include <optional>

#include <QChar>
#include <QHash>

#include "annotation/AnnotationTool.h"

namespace ivra {

// The keys that pick a tool while annotating. Both tables are fixed and built once.
class ToolShortcut {
public:
    // Key positions in the application's key code space (US-ANSI positions: 35 is the P
    // key whatever the active layout), so a tool key works in every keyboard layout.
    static const QHash<quint16, AnnotationTool>& keyCodeMap();
    // Typed characters: the nine Latin letters in lower case and the Ukrainian letters
    // that share their physical keys.
    static const QHash<QChar, AnnotationTool>& characterMap();

    static std::optional<AnnotationTool> forKeyCode(quint16 keyCode);
    // Exact lookup; callers lower-case the typed character first ("P" names nothing).
    static std::optional<AnnotationTool> forCharacter(QChar character);
};

} // namespace ivra
