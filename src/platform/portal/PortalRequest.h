#pragma once

#include <chrono>
#include <functional>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

class QDBusPendingCallWatcher;

namespace ivra::platform {

namespace portal {
inline const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The Response codes of org.freedesktop.portal.Request.
inline constexpr uint kResponseSuccess = 0;
inline constexpr uint kResponseCancelled = 1;

// A token for handle_token or session_handle_token: unique within this process, and only
// the characters an object path element allows.
QString makeToken();

// The path the portal gives the request ("request") or session ("session") that this
// connection named with `token`: the caller's unique bus name (":1.42" becomes "1_42")
// and the token, below the portal's path.
QString objectPath(const QDBusConnection& connection, const QString& kind, const QString& token);
} // namespace portal

// How one request to the desktop portal ended.
struct PortalReply {
    enum class Outcome {
        Answered,     // the Response signal came: `response` and `results` hold it
        NoBus,        // no session bus to reach a portal through
        NoPortal,     // nobody owns the portal's name
        NotOffered,   // the portal lacks the interface or the method
        CallFailed,   // the call returned another error; `detail` is its message
        CannotListen, // the Response signal could not be subscribed; `detail` says why
        TimedOut,     // no Response within the request's time (it was closed at the portal)
    };

    Outcome outcome = Outcome::CallFailed;
    uint response = 2; // for Answered: 0 success, 1 cancelled by the user, 2 ended otherwise
    QVariantMap results;
    QString detail;
};

// One method call on the desktop portal that answers through an org.freedesktop.portal.Request
// object's "Response" signal.
//
// The signal is subscribed on the request path the portal will use (from the handle_token
// added to the call's options) before the call goes out, so an answer that comes quickly
// cannot be missed; a portal that picks another path is followed there. The completion runs
// once, on the thread that started the request, always after start() has returned; then
// the request deletes itself. Deleting it before it ends closes it at the portal and never
// calls the completion.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const PortalReply&)>;

    PortalRequest(QDBusConnection connection, std::chrono::milliseconds timeout,
                  QObject* parent = nullptr);
    ~PortalRequest() override;

    // Calls `method` of the portal's `interface` with `arguments`, then `options` (which
    // gets the request's handle_token) as the last argument.
    void start(const QString& interface, const QString& method, const QVariantList& arguments,
               QVariantMap options, Completion done);

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap& results);

private:
    void handleCallFinished(QDBusPendingCallWatcher* watcher);
    bool subscribe(const QString& path);
    void unsubscribe();
    void closeAtPortal();
    void finish(const PortalReply& reply);
    void finishLater(const PortalReply& reply);

    QDBusConnection m_connection;
    std::chrono::milliseconds m_timeout;
    QTimer m_timeoutTimer;
    Completion m_done;
    QString m_subscribedPath;
    bool m_finished = false;
};

} // namespace ivra::platform
