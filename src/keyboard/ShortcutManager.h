#pragma once

#include <functional>
#include <map>

#include <QString>

#include "keyboard/HotKeyBinding.h"
#include "settings/SettingsEnums.h"

namespace ivra {

class HotkeyBackend;
class SettingsStore;

// Registers the capture shortcuts with the desktop and runs their handlers. One per
// application; destroying it unregisters every shortcut.
class ShortcutManager {
public:
    explicit ShortcutManager(HotkeyBackend& backend);
    ~ShortcutManager();
    ShortcutManager(const ShortcutManager&) = delete;
    ShortcutManager& operator=(const ShortcutManager&) = delete;

    // (Re)registers one shortcut; `description` names the action for desktops that list
    // shortcuts to the user. A combination the desktop refuses leaves the id without a
    // shortcut, silently, whether it refuses at once or later (a desktop that asks the user).
    void registerHotKey(const HotKeyBinding& binding, quint32 id, std::function<void()> handler,
                        const QString& description);
    void unregisterHotKey(quint32 id);
    void dispatch(quint32 id);
    // Registered, and not refused by the desktop so far: with a desktop that answers later
    // this is true from the request until a refusal arrives.
    bool isRegistered(quint32 id) const { return m_registrations.contains(id); }

    // The settings applied: every action unregistered, then, in the actions' order, those
    // enabled registered with their stored binding (the default when none can be read).
    // Without a stored choice only the area capture is on. `start` runs a capture.
    void applySettings(const SettingsStore& settings, std::function<void(CaptureAction)> start);

private:
    HotkeyBackend& m_backend;
    std::map<quint32, std::function<void()>> m_registrations;
};

} // namespace ivra
