#pragma once

#include <functional>
#include <memory>

#include <QtGlobal>

#include "keyboard/HotKeyBinding.h"

namespace ivra {

// The desktop's global shortcuts: a key combination that reaches Ivra whichever
// application is active. Presses are reported on the main thread.
class HotkeyBackend {
public:
    virtual ~HotkeyBackend() = default;
    // False when the desktop refuses the combination (another program holds it).
    virtual bool registerHotKey(quint32 id, const HotKeyBinding& binding) = 0;
    virtual void unregisterHotKey(quint32 id) = 0;
    // Called with the identifier of each pressed shortcut.
    virtual void setPressHandler(std::function<void(quint32 id)> handler) = 0;
};

// The implementation for this session; nothing where the desktop offers none.
std::unique_ptr<HotkeyBackend> createHotkeyBackend();

} // namespace ivra
