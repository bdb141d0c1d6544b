#pragma once

#include <optional>
#include <span>

#include <QtGlobal>

class QKeyEvent;

namespace ivra {

// One numbering names the physical keys throughout Ivra: the US-ANSI positions of the
// application's own tables (0 is the A key, 31 the O key, 36 Return, 53 Escape), whatever
// letter the active layout puts there. Stored shortcuts, tool letters and the overlay's
// commands all speak it, so they work the same in every keyboard layout. Keys outside the
// classic numbering (Print, Insert, Pause, …) are 256 + their evdev code.
//
// The platform reports evdev codes (Linux input) or X11/xkb key codes, which are evdev + 8
// on every Linux desktop, X11 and Wayland alike.
namespace keypos {
inline constexpr quint16 A = 0;
inline constexpr quint16 S = 1;
inline constexpr quint16 Z = 6;
inline constexpr quint16 C = 8;
inline constexpr quint16 O = 31;
inline constexpr quint16 Return = 36;
inline constexpr quint16 Escape = 53;
inline constexpr quint16 Digit1 = 18;
} // namespace keypos

// Modifier bits of stored shortcuts: command is Ctrl, option Alt, control Super.
namespace keymod {
inline constexpr quint32 Command = 0x100;
inline constexpr quint32 Shift = 0x200;
inline constexpr quint32 Option = 0x800;
inline constexpr quint32 Control = 0x1000;
} // namespace keymod

struct KeyPosition {
    quint16 position;
    quint16 evdev;
    const char* name; // the key's US-ANSI legend ("A", "Return", "F5", "KP_Enter")
};

class KeyPositions {
public:
    static std::span<const KeyPosition> all();

    static std::optional<quint16> fromEvdev(quint32 evdev);
    static std::optional<quint32> toEvdev(quint16 position);
    // X11 and xkb key codes (evdev + 8).
    static std::optional<quint16> fromXkbKeycode(quint32 keycode);
    static std::optional<quint32> toXkbKeycode(quint16 position);
    // For events that carry no key code (synthetic events, Qt's offscreen platform): the
    // position of the key that gives this Qt key on a US layout.
    static std::optional<quint16> fromQtKey(int qtKey);
    // The position of the key behind a key event: from its key code where the platform
    // gives one, else from its Qt key.
    static std::optional<quint16> fromKeyEvent(const QKeyEvent& event);
    static const KeyPosition* find(quint16 position);
};

} // namespace ivra
