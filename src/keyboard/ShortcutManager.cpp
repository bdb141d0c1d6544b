#include "keyboard/ShortcutManager.h"

#include "keyboard/HotkeyBackend.h"
#include "settings/SettingsStore.h"

namespace ivra {

namespace {

constexpr CaptureAction kActions[] = {CaptureAction::Area, CaptureAction::Window,
                                      CaptureAction::FullScreen, CaptureAction::Ocr};

} // namespace

ShortcutManager::ShortcutManager(HotkeyBackend& backend)
    : m_backend(backend) {
    m_backend.setPressHandler([this](quint32 id) { dispatch(id); });
    // The backend has dropped the shortcut already.
    m_backend.setRefusalHandler([this](quint32 id) { m_registrations.erase(id); });
}

ShortcutManager::~ShortcutManager() {
    while (!m_registrations.empty()) {
        unregisterHotKey(m_registrations.begin()->first);
    }
    m_backend.setPressHandler({});
    m_backend.setRefusalHandler({});
}

void ShortcutManager::registerHotKey(const HotKeyBinding& binding, quint32 id,
                                     std::function<void()> handler, const QString& description) {
    unregisterHotKey(id);
    if (m_backend.registerHotKey(id, binding, description)) {
        m_registrations[id] = std::move(handler);
    }
}

void ShortcutManager::unregisterHotKey(quint32 id) {
    if (m_registrations.erase(id) > 0) {
        m_backend.unregisterHotKey(id);
    }
}

void ShortcutManager::dispatch(quint32 id) {
    const auto it = m_registrations.find(id);
    if (it != m_registrations.end()) {
        // A copy: the handler may apply the settings again and replace itself.
        const std::function<void()> handler = it->second;
        handler();
    }
}

void ShortcutManager::applySettings(const SettingsStore& settings,
                                    std::function<void(CaptureAction)> start) {
    for (const CaptureAction action : kActions) {
        unregisterHotKey(HotKeyBinding::identifier(action));
    }
    for (const CaptureAction action : kActions) {
        if (!settings.isHotKeyEnabled(action)) {
            continue;
        }
        registerHotKey(
            HotKeyBinding::stored(settings, action), HotKeyBinding::identifier(action),
            [start, action] {
                if (start) {
                    start(action);
                }
            },
            label(action));
    }
}

} // namespace ivra
