#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QtGlobal>

#include "keyboard/HotKeyBinding.h"

namespace ivra {

// The desktop's global shortcuts: a key combination that reaches Ivra whichever
// application is active. Presses and refusals are reported on the main thread.
class HotkeyBackend {
public:
    virtual ~HotkeyBackend() = default;
    // Asks for a shortcut under `id` (replacing any it had). False when the desktop refuses
    // it at once (X11: another program holds the combination). A desktop that answers later
    // (the Wayland portal, which may ask the user first) gives true for a shortcut it has
    // asked for, and reports a refusal afterwards through the refusal handler.
    // `description` names the action, for desktops that list shortcuts to the user.
    virtual bool registerHotKey(quint32 id, const HotKeyBinding& binding,
                                const QString& description) = 0;
    virtual void unregisterHotKey(quint32 id) = 0;
    // Called with the identifier of each pressed shortcut.
    virtual void setPressHandler(std::function<void(quint32 id)> handler) = 0;
    // Called, never from within registerHotKey, with the identifier of a shortcut that was
    // registered and that the desktop has declined or taken back since; it is no longer
    // registered.
    virtual void setRefusalHandler(std::function<void(quint32 id)> handler) = 0;
};

// The implementation for this session; nothing where the desktop offers none.
std::unique_ptr<HotkeyBackend> createHotkeyBackend();

} // namespace ivra
