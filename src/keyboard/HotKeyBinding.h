#pragma once

#include <optional>

#include <QByteArray>
#include <QtGlobal>

#include "settings/SettingsEnums.h"

namespace ivra {

class SettingsStore;

// A global shortcut: a key position (KeyPositions) and modifier bits (keymod). Stored as
// JSON {"keyCode": …, "modifiers": …} under "hotKey.<action>".
struct HotKeyBinding {
    quint32 keyCode = 0;
    quint32 modifiers = 0;
    bool operator==(const HotKeyBinding&) const = default;

    QByteArray toJson() const;
    // Nothing unless both members are whole numbers that fit 32 bits.
    static std::optional<HotKeyBinding> fromJson(const QByteArray& json);

    // Ctrl+Shift+1, Ctrl+Shift+2, Ctrl+Shift+7, Ctrl+Shift+O.
    static HotKeyBinding defaultFor(CaptureAction action);
    // The action's place in the list of capture actions, plus one.
    static quint32 identifier(CaptureAction action);
    // The stored binding, or the default when none is stored or it cannot be read.
    static HotKeyBinding stored(const SettingsStore& settings, CaptureAction action);
};

} // namespace ivra
