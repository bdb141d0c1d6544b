#pragma once

#include <map>
#include <vector>

#include <QAbstractNativeEventFilter>

#include "keyboard/HotkeyBackend.h"

struct xcb_connection_t;

namespace ivra::platform {

// Global shortcuts on X11: passive key grabs on the root window, made on the connection of
// Qt's own windows, so that the capture overlay (same client) can take the keyboard from a
// shortcut that is still held down. Each combination is grabbed with and without Caps Lock
// and Num Lock. A combination another client holds (BadAccess) is a refusal. Presses come
// in through Qt's event loop, on the main thread.
class X11HotkeyBackend final : public HotkeyBackend, public QAbstractNativeEventFilter {
public:
    explicit X11HotkeyBackend(xcb_connection_t* connection);
    ~X11HotkeyBackend() override;

    // The description has no place in an X11 grab.
    bool registerHotKey(quint32 id, const HotKeyBinding& binding, const QString&) override;
    void unregisterHotKey(quint32 id) override;
    void setPressHandler(std::function<void(quint32 id)> handler) override;
    // Grabs are granted or refused within registerHotKey, and stay until ungrabbed.
    void setRefusalHandler(std::function<void(quint32 id)>) override {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        quint8 keycode;
        quint16 modifiers; // X modifier mask, locks excluded
    };
    void ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    quint32 m_root = 0;
    std::map<quint32, Grab> m_grabs;
    std::function<void(quint32)> m_onPress;
};

} // namespace ivra::platform
