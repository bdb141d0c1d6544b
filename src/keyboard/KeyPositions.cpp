#include "keyboard/KeyPositions.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <QHash>
#include <QKeyEvent>
#include <Qt>

namespace ivra {

namespace {

constexpr quint32 kXkbOffset = 8;

// Every key with a position: the application's code, the evdev code of the same key, and
// its US-ANSI legend.
constexpr std::array kKeys = std::to_array<KeyPosition>({
    {0, 30, "A"},
    {1, 31, "S"},
    {2, 32, "D"},
    {3, 33, "F"},
    {4, 35, "H"},
    {5, 34, "G"},
    {6, 44, "Z"},
    {7, 45, "X"},
    {8, 46, "C"},
    {9, 47, "V"},
    {10, 86, "ISO_Section(102nd)"},
    {11, 48, "B"},
    {12, 16, "Q"},
    {13, 17, "W"},
    {14, 18, "E"},
    {15, 19, "R"},
    {16, 21, "Y"},
    {17, 20, "T"},
    {18, 2, "1"},
    {19, 3, "2"},
    {20, 4, "3"},
    {21, 5, "4"},
    {22, 7, "6"},
    {23, 6, "5"},
    {24, 13, "Equal"},
    {25, 10, "9"},
    {26, 8, "7"},
    {27, 12, "Minus"},
    {28, 9, "8"},
    {29, 11, "0"},
    {30, 27, "RightBracket"},
    {31, 24, "O"},
    {32, 22, "U"},
    {33, 26, "LeftBracket"},
    {34, 23, "I"},
    {35, 25, "P"},
    {36, 28, "Return"},
    {37, 38, "L"},
    {38, 36, "J"},
    {39, 40, "Quote"},
    {40, 37, "K"},
    {41, 39, "Semicolon"},
    {42, 43, "Backslash"},
    {43, 51, "Comma"},
    {44, 53, "Slash"},
    {45, 49, "N"},
    {46, 50, "M"},
    {47, 52, "Period"},
    {48, 15, "Tab"},
    {49, 57, "Space"},
    {50, 41, "Grave"},
    {51, 14, "Backspace"},
    {53, 1, "Escape"},
    {55, 125, "Super_L(command-position)"},
    {56, 42, "Shift_L"},
    {57, 58, "CapsLock"},
    {58, 56, "Alt_L"},
    {59, 29, "Control_L"},
    {60, 54, "Shift_R"},
    {61, 100, "Alt_R"},
    {62, 97, "Control_R"},
    {64, 187, "F17"},
    {65, 83, "KP_Decimal"},
    {67, 55, "KP_Multiply"},
    {69, 78, "KP_Add"},
    {72, 115, "VolumeUp"},
    {73, 114, "VolumeDown"},
    {74, 113, "Mute"},
    {75, 98, "KP_Divide"},
    {76, 96, "KP_Enter"},
    {78, 74, "KP_Subtract"},
    {79, 188, "F18"},
    {80, 189, "F19"},
    {81, 117, "KP_Equal"},
    {82, 82, "KP_0"},
    {83, 79, "KP_1"},
    {84, 80, "KP_2"},
    {85, 81, "KP_3"},
    {86, 75, "KP_4"},
    {87, 76, "KP_5"},
    {88, 77, "KP_6"},
    {89, 71, "KP_7"},
    {90, 190, "F20"},
    {91, 72, "KP_8"},
    {92, 73, "KP_9"},
    {96, 63, "F5"},
    {97, 64, "F6"},
    {98, 65, "F7"},
    {99, 61, "F3"},
    {100, 66, "F8"},
    {101, 67, "F9"},
    {103, 87, "F11"},
    {105, 183, "F13"},
    {106, 186, "F16"},
    {107, 184, "F14"},
    {109, 68, "F10"},
    {111, 88, "F12"},
    {113, 185, "F15"},
    {114, 138, "Help"},
    {115, 102, "Home"},
    {116, 104, "PageUp"},
    {117, 111, "Delete"},
    {118, 62, "F4"},
    {119, 107, "End"},
    {120, 60, "F2"},
    {121, 109, "PageDown"},
    {122, 59, "F1"},
    {123, 105, "Left"},
    {124, 106, "Right"},
    {125, 108, "Down"},
    {126, 103, "Up"},
    {355, 99, "Print"},
    {366, 110, "Insert"},
    {375, 119, "Pause"},
    {326, 70, "ScrollLock"},
    {325, 69, "NumLock"},
    {383, 127, "Menu"},
    {382, 126, "Super_R"},
});

// Qt keys that are not a one-character legend of the table.
struct NamedQtKey {
    int qtKey;
    const char* name;
};
constexpr std::array kNamedQtKeys = std::to_array<NamedQtKey>({
    {Qt::Key_Return, "Return"},
    {Qt::Key_Enter, "KP_Enter"},
    {Qt::Key_Escape, "Escape"},
    {Qt::Key_Tab, "Tab"},
    {Qt::Key_Space, "Space"},
    {Qt::Key_Backspace, "Backspace"},
    {Qt::Key_Delete, "Delete"},
    {Qt::Key_Insert, "Insert"},
    {Qt::Key_Home, "Home"},
    {Qt::Key_End, "End"},
    {Qt::Key_PageUp, "PageUp"},
    {Qt::Key_PageDown, "PageDown"},
    {Qt::Key_Left, "Left"},
    {Qt::Key_Right, "Right"},
    {Qt::Key_Up, "Up"},
    {Qt::Key_Down, "Down"},
    {Qt::Key_Print, "Print"},
    {Qt::Key_Pause, "Pause"},
    {Qt::Key_Minus, "Minus"},
    {Qt::Key_Equal, "Equal"},
    {Qt::Key_BracketLeft, "LeftBracket"},
    {Qt::Key_BracketRight, "RightBracket"},
    {Qt::Key_Semicolon, "Semicolon"},
    {Qt::Key_Apostrophe, "Quote"},
    {Qt::Key_Comma, "Comma"},
    {Qt::Key_Period, "Period"},
    {Qt::Key_Slash, "Slash"},
    {Qt::Key_Backslash, "Backslash"},
    {Qt::Key_QuoteLeft, "Grave"},
});

const KeyPosition* findByName(const char* name) {
    const auto it = std::find_if(kKeys.begin(), kKeys.end(), [name](const KeyPosition& key) {
        return std::strcmp(key.name, name) == 0;
    });
    return it == kKeys.end() ? nullptr : &*it;
}

} // namespace

std::span<const KeyPosition> KeyPositions::all() {
    return kKeys;
}

const KeyPosition* KeyPositions::find(quint16 position) {
    const auto it = std::find_if(kKeys.begin(), kKeys.end(), [position](const KeyPosition& key) {
        return key.position == position;
    });
    return it == kKeys.end() ? nullptr : &*it;
}

std::optional<quint16> KeyPositions::fromEvdev(quint32 evdev) {
    static const QHash<quint32, quint16> byEvdev = [] {
        QHash<quint32, quint16> map;
        for (const KeyPosition& key : kKeys) {
            map.insert(key.evdev, key.position);
        }
        return map;
    }();
    const auto it = byEvdev.constFind(evdev);
    return it == byEvdev.constEnd() ? std::nullopt : std::optional(it.value());
}

std::optional<quint32> KeyPositions::toEvdev(quint16 position) {
    const KeyPosition* key = find(position);
    return key ? std::optional<quint32>(key->evdev) : std::nullopt;
}

std::optional<quint16> KeyPositions::fromXkbKeycode(quint32 keycode) {
    return keycode < kXkbOffset ? std::nullopt : fromEvdev(keycode - kXkbOffset);
}

std::optional<quint32> KeyPositions::toXkbKeycode(quint16 position) {
    const auto evdev = toEvdev(position);
    return evdev ? std::optional(*evdev + kXkbOffset) : std::nullopt;
}

std::optional<quint16> KeyPositions::fromQtKey(int qtKey) {
    const KeyPosition* key = nullptr;
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
        const char legend[2] = {char(qtKey), 0};
        key = findByName(legend);
    } else if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F20) {
        const QByteArray legend = "F" + QByteArray::number(qtKey - Qt::Key_F1 + 1);
        key = findByName(legend.constData());
    } else {
        const auto it =
            std::find_if(kNamedQtKeys.begin(), kNamedQtKeys.end(),
                         [qtKey](const NamedQtKey& named) { return named.qtKey == qtKey; });
        if (it != kNamedQtKeys.end()) {
            key = findByName(it->name);
        }
    }
    return key ? std::optional(key->position) : std::nullopt;
}

std::optional<quint16> KeyPositions::fromKeyEvent(const QKeyEvent& event) {
    if (event.nativeScanCode() != 0) {
        return fromXkbKeycode(event.nativeScanCode());
    }
    return fromQtKey(event.key());
}

} // namespace ivra
