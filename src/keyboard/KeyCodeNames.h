#pragma once

#include <QString>
#include <QtGlobal>

#include "keyboard/HotKeyBinding.h"

namespace ivra {

class KeyboardLayout;

// Shortcut texts the Linux way: "Ctrl+Shift+1", "Super+Alt+K", "Print".
namespace KeyCodeNames {

// "Super+", "Ctrl+", "Alt+", "Shift+", in that order, for the bits set; "" for none.
QString modifierString(quint32 modifiers);
// Named keys by name (Return, Tab, Space, Backspace, Esc, Delete, arrows, Home, End, PgUp,
// PgDown, F1–F20, Print, Insert, Pause, …); any other key by what it types in the current
// layout, upper-cased (the O key shows Щ in a Ukrainian layout); else "key N".
QString keyString(quint32 keyCode, const KeyboardLayout* layout);
QString displayText(const HotKeyBinding& binding, const KeyboardLayout* layout);

} // namespace KeyCodeNames

} // namespace ivra
