#include "platform/portal/PortalScreenshotRequest.h"

#include <atomic>

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>
#include <QUrl>

namespace ivra::platform {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;

// Unique within this connection, and only the characters an object path element allows.
QString makeHandleToken() {
    static std::atomic<quint32> counter{0};
    return QStringLiteral("ivra%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The portal names the request object after the caller's unique bus name (":1.42" becomes
// "1_42") and the token.
QString predictedRequestPath(const QString& uniqueName, const QString& token) {
    QString sender = uniqueName;
    if (sender.startsWith(QLatin1Char(':'))) {
        sender.remove(0, 1);
    }
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString describeCallError(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return QStringLiteral("No desktop portal is running. Screenshots in a Wayland session "
                              "need xdg-desktop-portal with a backend for this desktop.");
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return QStringLiteral("The desktop portal does not offer screenshots. Install a portal "
                              "backend for this desktop that implements them.");
    default:
        return QStringLiteral("The desktop portal could not take the screenshot: %1")
            .arg(error.message());
    }
}

} // namespace

PortalScreenshotRequest::PortalScreenshotRequest(QDBusConnection connection,
                                                 std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_timeout(timeout) {
    m_timeoutTimer.setSingleShot(true);
    connect(&m_timeoutTimer, &QTimer::timeout, this, [this] {
        // The portal may still be showing something for this request: withdraw it.
        closeAtPortal();
        fail(QStringLiteral("The desktop portal did not answer the screenshot request within "
                            "%1 s.")
                 .arg(static_cast<double>(m_timeout.count()) / 1000.0));
    });
}

PortalScreenshotRequest::~PortalScreenshotRequest() {
    if (!m_finished) {
        closeAtPortal();
        unsubscribe();
    }
}

void PortalScreenshotRequest::start(Completion done) {
    m_done = std::move(done);
    m_timeoutTimer.start(m_timeout);
    // Failures found here still report later, like every answer from the portal.
    const auto failLater = [this](const QString& description) {
        QTimer::singleShot(0, this, [this, description] { fail(description); });
    };
    if (!m_connection.isConnected()) {
        failLater(QStringLiteral("There is no D-Bus session bus to reach the desktop portal "
                                 "through."));
        return;
    }
    const QString token = makeHandleToken();
    if (!subscribe(predictedRequestPath(m_connection.baseService(), token))) {
        failLater(QStringLiteral("Could not listen for the desktop portal's answer: %1")
                      .arg(m_connection.lastError().message()));
        return;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, kScreenshotInterface, QStringLiteral("Screenshot"));
    // No parent window: the request asks for no dialog, and a permission dialog the desktop
    // may still show stands on its own.
    call << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), false},
                        {QStringLiteral("modal"), false}};
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) { handleCallFinished(finished); });
}

void PortalScreenshotRequest::handleCallFinished(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (m_finished) {
        return;
    }
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        fail(describeCallError(reply.error()));
        return;
    }
    // Portals older than the handle_token option pick their own path; follow it.
    const QString handle = reply.value().path();
    if (handle != m_subscribedPath) {
        unsubscribe();
        if (!subscribe(handle)) {
            fail(QStringLiteral("Could not listen for the desktop portal's answer: %1")
                     .arg(m_connection.lastError().message()));
        }
    }
}

void PortalScreenshotRequest::handleResponse(uint response, const QVariantMap& results) {
    PortalScreenshotResponse outcome;
    if (response == kResponseSuccess) {
        const QString uri = results.value(QStringLiteral("uri")).toString();
        const QUrl url(uri);
        if (!url.isLocalFile()) {
            fail(QStringLiteral("The desktop portal answered with an image Ivra cannot open: "
                                "\"%1\"")
                     .arg(uri));
            return;
        }
        outcome.status = PortalScreenshotResponse::Status::Saved;
        outcome.filePath = url.toLocalFile();
    } else if (response == kResponseCancelled) {
        outcome.status = PortalScreenshotResponse::Status::Cancelled;
        outcome.errorDescription = QStringLiteral("The screenshot was cancelled.");
    } else {
        outcome.status = PortalScreenshotResponse::Status::Refused;
        outcome.errorDescription =
            QStringLiteral("The desktop refused the screenshot. Allow Ivra to take screenshots "
                           "in the desktop's privacy settings.");
    }
    finish(outcome);
}

bool PortalScreenshotRequest::subscribe(const QString& path) {
    if (!m_connection.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"),
                              this, SLOT(handleResponse(uint, QVariantMap)))) {
        return false;
    }
    m_subscribedPath = path;
    return true;
}

void PortalScreenshotRequest::unsubscribe() {
    if (m_subscribedPath.isEmpty()) {
        return;
    }
    m_connection.disconnect(kPortalService, m_subscribedPath, kRequestInterface,
                            QStringLiteral("Response"), this,
                            SLOT(handleResponse(uint, QVariantMap)));
    m_subscribedPath.clear();
}

void PortalScreenshotRequest::closeAtPortal() {
    if (m_subscribedPath.isEmpty()) {
        return;
    }
    m_connection.send(QDBusMessage::createMethodCall(kPortalService, m_subscribedPath,
                                                     kRequestInterface, QStringLiteral("Close")));
}

void PortalScreenshotRequest::finish(const PortalScreenshotResponse& response) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_timeoutTimer.stop();
    unsubscribe();
    // The completion may delete this request: nothing here touches it afterwards.
    const Completion done = std::move(m_done);
    done(response);
}

void PortalScreenshotRequest::fail(const QString& description) {
    PortalScreenshotResponse response;
    response.errorDescription = description;
    finish(response);
}

} // namespace ivra::platform
