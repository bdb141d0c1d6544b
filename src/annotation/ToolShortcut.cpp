#include "annotation/ToolShortcut.h"

#include <array>

namespace ivra {

namespace {

struct ToolKey {
    AnnotationTool tool;
    quint16 keyCode;
    char16_t latin;
    char16_t cyrillic; // the Ukrainian layout's letter on the same key
};

constexpr std::array<ToolKey, 9> kToolKeys{{
    {AnnotationTool::Pencil, 35, u'p', u'\u0437'},
    {AnnotationTool::Highlight, 4, u'h', u'\u0440'},
    {AnnotationTool::Line, 37, u'l', u'\u0434'},
    {AnnotationTool::Arrow, 0, u'a', u'\u0444'},
    {AnnotationTool::Rect, 15, u'r', u'\u043A'},
    {AnnotationTool::Ellipse, 8, u'c', u'\u0441'},
    {AnnotationTool::Text, 17, u't', u'\u0435'},
    {AnnotationTool::Step, 1, u's', u'\u0456'},
    {AnnotationTool::Blur, 11, u'b', u'\u0438'},
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

const QHash<QChar, AnnotationTool>& ToolShortcut::characterMap() {
    static const QHash<QChar, AnnotationTool> map = [] {
        QHash<QChar, AnnotationTool> result;
        for (const ToolKey& key : kToolKeys) {
            result.insert(QChar(key.latin), key.tool);
            result.insert(QChar(key.cyrillic), key.tool);
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

std::optional<AnnotationTool> ToolShortcut::forCharacter(QChar character) {
    const auto& map = characterMap();
    const auto it = map.constFind(character);
    return it == map.constEnd() ? std::nullopt : std::optional(it.value());
}

} // namespace ivra
