#include "platform/portal/PortalShortcuts.h"

#include <array>
#include <memory>

#include <QDBusMetaType>
#include <xkbcommon/xkbcommon.h>

#include "keyboard/KeyPositions.h"

namespace ivra::platform {

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

// Compiled once from the system's keyboard data; the environment's XKB_DEFAULT_* variables
// are ignored so that the names are always the US ones.
xkb_keymap* usKeymap() {
    static const Keymap keymap = [] {
        const std::unique_ptr<xkb_context, ContextDeleter> context(
            xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
        if (!context) {
            return Keymap();
        }
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        return Keymap(
            xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    }();
    return keymap.get();
}

struct TriggerModifier {
    quint32 bit;
    const char* name;
};
// The order the portal's shortcut texts name them in.
constexpr std::array<TriggerModifier, 4> kModifiers{{{keymod::Command, "CTRL"},
                                                     {keymod::Option, "ALT"},
                                                     {keymod::Shift, "SHIFT"},
                                                     {keymod::Control, "LOGO"}}};

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerPortalShortcutTypes() {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
}

std::optional<QString> shortcutTrigger(const HotKeyBinding& binding) {
    const auto keycode = binding.keyCode <= 0xffff
                             ? KeyPositions::toXkbKeycode(quint16(binding.keyCode))
                             : std::nullopt;
    xkb_keymap* keymap = usKeymap();
    if (!keycode || keymap == nullptr) {
        return std::nullopt;
    }
    const xkb_keysym_t* symbols = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, *keycode, 0, 0, &symbols) < 1) {
        return std::nullopt;
    }
    std::array<char, 64> name{};
    if (xkb_keysym_get_name(symbols[0], name.data(), name.size()) <= 0) {
        return std::nullopt;
    }
    QString trigger;
    for (const TriggerModifier& modifier : kModifiers) {
        if (binding.modifiers & modifier.bit) {
            trigger += QLatin1String(modifier.name) + QLatin1Char('+');
        }
    }
    return trigger + QString::fromLatin1(name.data());
}

} // namespace ivra::platform
