#include "platform/portal/PortalHotkeyBackend.h"

#include <algorithm>

#include <QDBusMessage>
#include <QDBusVariant>
#include <QTimer>
#include <QtDebug>

#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalShortcuts.h"

namespace ivra::platform {

namespace {

const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// A portal that is running answers at once; one being started on demand by the bus takes
// a fraction of a second.
constexpr int kProbeTimeoutMs = 3000;

bool offersGlobalShortcuts(const QDBusConnection& connection) {
    if (!connection.isConnected()) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        portal::kService, portal::kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kShortcutsInterface << QStringLiteral("version");
    const QDBusMessage reply = connection.call(get, QDBus::Block, kProbeTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt() >= 1;
}

bool succeeded(const PortalReply& reply) {
    return reply.outcome == PortalReply::Outcome::Answered &&
           reply.response == portal::kResponseSuccess;
}

// One line for the log when a step did not succeed; the user's own "no" needs none.
void logFailure(const char* step, const PortalReply& reply) {
    using Outcome = PortalReply::Outcome;
    QString reason = reply.detail;
    switch (reply.outcome) {
    case Outcome::Answered:
        if (reply.response == portal::kResponseCancelled) {
            return;
        }
        reason = QStringLiteral("the desktop refused");
        break;
    case Outcome::NoBus:
        reason = QStringLiteral("there is no session bus");
        break;
    case Outcome::NoPortal:
        reason = QStringLiteral("no desktop portal is running");
        break;
    case Outcome::NotOffered:
        reason = QStringLiteral("the desktop portal does not offer global shortcuts");
        break;
    case Outcome::TimedOut:
        reason = QStringLiteral("the desktop portal did not answer in time");
        break;
    case Outcome::CallFailed:
    case Outcome::CannotListen:
        break;
    }
    qInfo("Global shortcuts: %s failed: %s", step, qPrintable(reason));
}

} // namespace

std::unique_ptr<PortalHotkeyBackend>
PortalHotkeyBackend::create(QDBusConnection connection, std::chrono::milliseconds responseTimeout) {
    if (!offersGlobalShortcuts(connection)) {
        return nullptr;
    }
    return std::unique_ptr<PortalHotkeyBackend>(
        new PortalHotkeyBackend(std::move(connection), responseTimeout));
}

PortalHotkeyBackend::PortalHotkeyBackend(QDBusConnection connection,
                                         std::chrono::milliseconds responseTimeout)
    : m_connection(std::move(connection))
    , m_responseTimeout(responseTimeout) {
    registerPortalShortcutTypes();
    m_connection.connect(portal::kService, portal::kPath, kShortcutsInterface,
                         QStringLiteral("Activated"), this,
                         SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalHotkeyBackend::~PortalHotkeyBackend() {
    m_connection.disconnect(
        portal::kService, portal::kPath, kShortcutsInterface, QStringLiteral("Activated"), this,
        SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    closeSession();
    // Requests in flight are children: they are withdrawn at the portal with this object.
}

bool PortalHotkeyBackend::registerHotKey(quint32 id, const HotKeyBinding& binding,
                                         const QString& description) {
    const bool had = m_wanted.erase(id) > 0;
    const auto trigger = shortcutTrigger(binding);
    const bool taken = std::any_of(m_wanted.begin(), m_wanted.end(), [&binding](const auto& each) {
        return each.second.binding == binding;
    });
    if (!trigger || taken) {
        if (had) {
            wantedChanged();
        }
        return false;
    }
    m_wanted[id] = Shortcut{binding, *trigger, description};
    wantedChanged();
    return true;
}

void PortalHotkeyBackend::unregisterHotKey(quint32 id) {
    if (m_wanted.erase(id) > 0) {
        wantedChanged();
    }
}

void PortalHotkeyBackend::setPressHandler(std::function<void(quint32 id)> handler) {
    m_onPress = std::move(handler);
}

void PortalHotkeyBackend::setRefusalHandler(std::function<void(quint32 id)> handler) {
    m_onRefusal = std::move(handler);
}

void PortalHotkeyBackend::wantedChanged() {
    m_changed = true;
    if (!m_busy && !m_bindScheduled) {
        m_bindScheduled = true;
        QTimer::singleShot(0, this, [this] {
            m_bindScheduled = false;
            bindWanted();
        });
    }
}

void PortalHotkeyBackend::bindWanted() {
    if (m_busy) {
        return; // the binding in flight starts the next one when it ends
    }
    m_changed = false;
    if (!m_session.isEmpty() && m_wanted == m_bound) {
        return;
    }
    closeSession();
    if (m_wanted.empty()) {
        return;
    }
    m_busy = true;
    const QString token = portal::makeToken();
    const QString predictedSession =
        portal::objectPath(m_connection, QStringLiteral("session"), token);
    auto* request = new PortalRequest(m_connection, m_responseTimeout, this);
    request->start(
        kShortcutsInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), token}},
        [this, predictedSession](const PortalReply& reply) {
            m_busy = false;
            if (succeeded(reply)) {
                m_session = reply.results.value(QStringLiteral("session_handle"), predictedSession)
                                .toString();
                m_connection.connect(portal::kService, m_session, portal::kSessionInterface,
                                     QStringLiteral("Closed"), this,
                                     SLOT(handleSessionClosed(QVariantMap)));
            }
            if (m_changed) {
                bindWanted(); // closes this session first
            } else if (!succeeded(reply)) {
                logFailure("opening a shortcut session", reply);
                refuseAll();
            } else {
                bindShortcuts();
            }
        });
}

void PortalHotkeyBackend::bindShortcuts() {
    m_busy = true;
    PortalShortcutList shortcuts;
    for (const auto& [id, shortcut] : m_wanted) {
        shortcuts.append({QString::number(id),
                          {{QStringLiteral("description"), shortcut.description},
                           {QStringLiteral("preferred_trigger"), shortcut.trigger}}});
    }
    auto* request = new PortalRequest(m_connection, m_responseTimeout, this);
    // No parent window: the tray application has none to put the desktop's dialog over.
    request->start(kShortcutsInterface, QStringLiteral("BindShortcuts"),
                   {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
                    QString()},
                   {}, [this](const PortalReply& reply) {
                       m_busy = false;
                       if (m_changed) {
                           bindWanted();
                       } else {
                           acceptBound(reply);
                       }
                   });
}

void PortalHotkeyBackend::acceptBound(const PortalReply& reply) {
    if (!succeeded(reply)) {
        logFailure("binding the shortcuts", reply);
        closeSession();
        refuseAll();
        return;
    }
    std::set<QString> granted;
    for (const PortalShortcut& shortcut :
         qdbus_cast<PortalShortcutList>(reply.results.value(QStringLiteral("shortcuts")))) {
        granted.insert(shortcut.id);
    }
    std::set<quint32> refused;
    for (const auto& [id, shortcut] : m_wanted) {
        if (granted.contains(QString::number(id))) {
            m_bound.emplace(id, shortcut);
        } else {
            refused.insert(id);
        }
    }
    refuse(std::move(refused));
}

void PortalHotkeyBackend::closeSession() {
    if (m_session.isEmpty()) {
        return;
    }
    m_connection.disconnect(portal::kService, m_session, portal::kSessionInterface,
                            QStringLiteral("Closed"), this, SLOT(handleSessionClosed(QVariantMap)));
    m_connection.send(QDBusMessage::createMethodCall(
        portal::kService, m_session, portal::kSessionInterface, QStringLiteral("Close")));
    m_session.clear();
    m_bound.clear();
}

void PortalHotkeyBackend::refuse(std::set<quint32> ids) {
    for (const quint32 id : ids) {
        m_wanted.erase(id);
    }
    // After the bookkeeping: a handler may register again at once.
    for (const quint32 id : ids) {
        if (m_onRefusal) {
            m_onRefusal(id);
        }
    }
}

void PortalHotkeyBackend::refuseAll() {
    std::set<quint32> ids;
    for (const auto& each : m_wanted) {
        ids.insert(each.first);
    }
    refuse(std::move(ids));
}

void PortalHotkeyBackend::handleActivated(const QDBusObjectPath& session, const QString& shortcutId,
                                          qulonglong, const QVariantMap&) {
    if (session.path() != m_session) {
        return;
    }
    bool isNumber = false;
    const quint32 id = shortcutId.toUInt(&isNumber);
    if (isNumber && m_bound.contains(id) && m_onPress) {
        m_onPress(id);
    }
}

void PortalHotkeyBackend::handleSessionClosed(const QVariantMap&) {
    // The desktop ended the session (the user withdrew the shortcuts, the portal stopped):
    // none of them fires any more.
    qInfo("Global shortcuts: the desktop closed the shortcut session");
    m_connection.disconnect(portal::kService, m_session, portal::kSessionInterface,
                            QStringLiteral("Closed"), this, SLOT(handleSessionClosed(QVariantMap)));
    m_session.clear();
    m_bound.clear();
    refuseAll();
}

} // namespace ivra::platform
