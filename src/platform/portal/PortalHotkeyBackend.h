#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "keyboard/HotkeyBackend.h"

namespace ivra::platform {

struct PortalReply;

// Global shortcuts in a Wayland session, through the desktop portal's GlobalShortcuts
// interface (org.freedesktop.portal.GlobalShortcuts) on the session bus.
//
// The portal binds a whole set of shortcuts to a session, and what a desktop does with a
// second set bound to the same session differs (replace, add, refuse). So the set Ivra
// wants is bound afresh each time it changes: the old session is closed, a new one
// created, and every wanted shortcut bound in one call. Registrations and unregistrations
// made in one pass of the event loop (applying the settings unregisters and registers every
// action) become one binding; a change while a binding is in flight waits for its answer,
// then binds the newest set. A set equal to the one bound is not bound again.
//
// Binding is asynchronous and the desktop may ask the user first, so registerHotKey returns
// true for a shortcut it will ask for, and refuses at once only what it cannot ask for: a key
// without a trigger name, or a combination another registered shortcut already has (the
// desktop would give it to one of them; as with X11, the later one goes without). The
// desktop's answer comes later: shortcuts it declined (the whole binding cancelled or
// denied, or a shortcut missing from the ones it returns), and every shortcut of a session
// the desktop closes, are dropped and reported through the refusal handler.
//
// Shortcut ids at the portal are Ivra's identifiers in decimal; "Activated" for a bound id
// of the current session reaches the press handler, on the main thread. The user may have
// chosen another trigger than the preferred one in the desktop's dialog; it still fires.
class PortalHotkeyBackend final : public QObject, public HotkeyBackend {
    Q_OBJECT
public:
    // How long the desktop may take to answer, including any dialog it shows.
    static constexpr std::chrono::milliseconds kDefaultResponseTimeout{120000};

    // Nothing when no portal on `connection` offers GlobalShortcuts. Asks the portal
    // synchronously, for at most a few seconds.
    static std::unique_ptr<PortalHotkeyBackend>
    create(QDBusConnection connection,
           std::chrono::milliseconds responseTimeout = kDefaultResponseTimeout);
    ~PortalHotkeyBackend() override;

    bool registerHotKey(quint32 id, const HotKeyBinding& binding,
                        const QString& description) override;
    void unregisterHotKey(quint32 id) override;
    void setPressHandler(std::function<void(quint32 id)> handler) override;
    void setRefusalHandler(std::function<void(quint32 id)> handler) override;

private Q_SLOTS:
    void handleActivated(const QDBusObjectPath& session, const QString& shortcutId,
                         qulonglong timestamp, const QVariantMap& options);
    void handleSessionClosed(const QVariantMap& details);

private:
    struct Shortcut {
        HotKeyBinding binding;
        QString trigger;
        QString description;
        bool operator==(const Shortcut&) const = default;
    };

    PortalHotkeyBackend(QDBusConnection connection, std::chrono::milliseconds responseTimeout);
    void wantedChanged();
    void bindWanted();
    void bindShortcuts();
    void acceptBound(const PortalReply& reply);
    void closeSession();
    void refuse(std::set<quint32> ids);
    void refuseAll();

    QDBusConnection m_connection;
    std::chrono::milliseconds m_responseTimeout;
    std::map<quint32, Shortcut> m_wanted;
    // The current session and the shortcuts the desktop bound in it.
    QString m_session;
    std::map<quint32, Shortcut> m_bound;
    bool m_busy = false;          // a CreateSession or BindShortcuts is in flight
    bool m_changed = false;       // the wanted set changed since the last binding began
    bool m_bindScheduled = false; // bindWanted() is queued on the event loop
    std::function<void(quint32)> m_onPress;
    std::function<void(quint32)> m_onRefusal;
};

} // namespace ivra::platform
