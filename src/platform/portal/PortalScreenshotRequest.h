#pragma once

#include <chrono>
#include <functional>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

class QDBusPendingCallWatcher;

namespace ivra::platform {

// How one Screenshot request to the desktop portal ended.
struct PortalScreenshotResponse {
    enum class Status {
        Saved,     // the portal wrote the image; filePath names it
        Cancelled, // the user dismissed the portal's dialog
        Refused,   // the desktop denied the request (or ended it some other way)
        Failed,    // no portal, an unusable answer, or no answer in time
    };

    Status status = Status::Failed;
    QString filePath;
    QString errorDescription; // for Cancelled, Refused and Failed
};

// One call of org.freedesktop.portal.Screenshot.Screenshot, non-interactive, answered
// through the org.freedesktop.portal.Request "Response" signal.
//
// The signal is subscribed on the request path the portal will use before the call goes
// out, so an answer that comes quickly cannot be missed. The completion runs once, on the
// thread that started the request, always after start() has returned. Destroying the
// request before it ends closes it at the portal and never calls the completion.
class PortalScreenshotRequest : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const PortalScreenshotResponse&)>;

    PortalScreenshotRequest(QDBusConnection connection, std::chrono::milliseconds timeout,
                            QObject* parent = nullptr);
    ~PortalScreenshotRequest() override;

    void start(Completion done);

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap& results);

private:
    void handleCallFinished(QDBusPendingCallWatcher* watcher);
    bool subscribe(const QString& path);
    void unsubscribe();
    void closeAtPortal();
    void finish(const PortalScreenshotResponse& response);
    void fail(const QString& description);

    QDBusConnection m_connection;
    std::chrono::milliseconds m_timeout;
    QTimer m_timeoutTimer;
    Completion m_done;
    QString m_subscribedPath;
    bool m_finished = false;
};

} // namespace ivra::platform
