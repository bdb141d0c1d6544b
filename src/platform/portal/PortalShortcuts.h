#pragma once

#include <optional>

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include "keyboard/HotKeyBinding.h"

namespace ivra::platform {

// One entry of the GlobalShortcuts portal's shortcut lists (D-Bus "(sa{sv})"): the
// application's id for the shortcut and its properties ("description",
// "preferred_trigger" when binding; "description", "trigger_description" in answers).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

// Makes the types above known to Qt D-Bus; safe to call more than once.
void registerPortalShortcutTypes();

// The binding as a trigger in the freedesktop shortcut text format, which the portal
// takes as a preferred trigger: the modifiers CTRL, ALT, SHIFT and LOGO, then the key's
// xkbcommon keysym name, joined by "+" ("CTRL+SHIFT+1", "CTRL+ALT+LOGO+k", "Print").
// Key positions are US-ANSI ones and a Wayland client cannot read the desktop's layout, so
// the key is named by what it types in a US layout without modifiers. Nothing for a
// position without a key, or when no US keymap can be compiled.
std::optional<QString> shortcutTrigger(const HotKeyBinding& binding);

} // namespace ivra::platform

Q_DECLARE_METATYPE(ivra::platform::PortalShortcut)
