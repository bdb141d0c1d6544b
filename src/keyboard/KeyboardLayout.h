#pragma once

#include <memory>
#include <optional>

#include <QString>

namespace ivra {

// The desktop's current keyboard layout: what a key position types there.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The text the key at `position` (KeyPositions) gives without modifiers in the layout
    // active now; nothing when there is none (no layout, a dead or modifier key).
    virtual std::optional<QString> characterFor(quint16 position) const = 0;
};

// The layout of this session; nothing where it cannot be asked.
std::unique_ptr<KeyboardLayout> createKeyboardLayout();

} // namespace ivra
