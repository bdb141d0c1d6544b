#include "keyboard/KeyCodeNames.h"

#include <array>

#include "keyboard/KeyPositions.h"
#include "keyboard/KeyboardLayout.h"

namespace ivra::KeyCodeNames {

namespace {

struct NamedKey {
    quint16 position;
    const char* name;
};

// Keys shown by name, whatever the layout.
constexpr std::array kNamedKeys = std::to_array<NamedKey>({
    {36, "Return"},  {48, "Tab"},     {49, "Space"},  {51, "Backspace"},   {53, "Esc"},
    {117, "Delete"}, {123, "Left"},   {124, "Right"}, {126, "Up"},         {125, "Down"},
    {115, "Home"},   {119, "End"},    {116, "PgUp"},  {121, "PgDown"},     {76, "Enter"},
    {122, "F1"},     {120, "F2"},     {99, "F3"},     {118, "F4"},         {96, "F5"},
    {97, "F6"},      {98, "F7"},      {100, "F8"},    {101, "F9"},         {109, "F10"},
    {103, "F11"},    {111, "F12"},    {105, "F13"},   {107, "F14"},        {113, "F15"},
    {106, "F16"},    {64, "F17"},     {79, "F18"},    {80, "F19"},         {90, "F20"},
    {355, "Print"},  {366, "Insert"}, {375, "Pause"}, {326, "ScrollLock"}, {383, "Menu"},
});

} // namespace

QString modifierString(quint32 modifiers) {
    QString text;
    if (modifiers & keymod::Control) {
        text += QStringLiteral("Super+");
    }
    if (modifiers & keymod::Command) {
        text += QStringLiteral("Ctrl+");
    }
    if (modifiers & keymod::Option) {
        text += QStringLiteral("Alt+");
    }
    if (modifiers & keymod::Shift) {
        text += QStringLiteral("Shift+");
    }
    return text;
}

QString keyString(quint32 keyCode, const KeyboardLayout* layout) {
    const auto fallback = QStringLiteral("key %1").arg(keyCode);
    if (keyCode > 0xffff) {
        return fallback;
    }
    const auto position = quint16(keyCode);
    for (const NamedKey& key : kNamedKeys) {
        if (key.position == position) {
            return QString::fromLatin1(key.name);
        }
    }
    if (layout) {
        if (const auto typed = layout->characterFor(position)) {
            const QString text = typed->trimmed();
            if (!text.isEmpty() && text.front().isPrint()) {
                return text.toUpper();
            }
        }
        return fallback;
    }
    // No layout to ask (a Wayland session): the key's US legend, where it is one character.
    if (const KeyPosition* key = KeyPositions::find(position); key && key->name[1] == '\0') {
        return QString::fromLatin1(key->name);
    }
    return fallback;
}

QString displayText(const HotKeyBinding& binding, const KeyboardLayout* layout) {
    return modifierString(binding.modifiers) + keyString(binding.keyCode, layout);
}

} // namespace ivra::KeyCodeNames
