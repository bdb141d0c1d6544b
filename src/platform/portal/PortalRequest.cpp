#include "platform/portal/PortalRequest.h"

#include <atomic>

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace ivra::platform {

namespace portal {

QString makeToken() {
    static std::atomic<quint32> counter{0};
    return QStringLiteral("ivra%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

QString objectPath(const QDBusConnection& connection, const QString& kind, const QString& token) {
    QString sender = connection.baseService();
    if (sender.startsWith(QLatin1Char(':'))) {
        sender.remove(0, 1);
    }
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + token;
}

} // namespace portal

namespace {

PortalReply failure(PortalReply::Outcome outcome, const QString& detail = {}) {
    PortalReply reply;
    reply.outcome = outcome;
    reply.detail = detail;
    return reply;
}

PortalReply callFailure(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return failure(PortalReply::Outcome::NoPortal, error.message());
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return failure(PortalReply::Outcome::NotOffered, error.message());
    default:
        return failure(PortalReply::Outcome::CallFailed, error.message());
    }
}

} // namespace

PortalRequest::PortalRequest(QDBusConnection connection, std::chrono::milliseconds timeout,
                             QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_timeout(timeout) {
    m_timeoutTimer.setSingleShot(true);
    connect(&m_timeoutTimer, &QTimer::timeout, this, [this] {
        // The portal may still be showing something for this request: withdraw it.
        closeAtPortal();
        finish(failure(PortalReply::Outcome::TimedOut));
    });
}

PortalRequest::~PortalRequest() {
    if (!m_finished) {
        closeAtPortal();
        unsubscribe();
    }
}

void PortalRequest::start(const QString& interface, const QString& method,
                          const QVariantList& arguments, QVariantMap options, Completion done) {
    m_done = std::move(done);
    m_timeoutTimer.start(m_timeout);
    if (!m_connection.isConnected()) {
        finishLater(failure(PortalReply::Outcome::NoBus));
        return;
    }
    const QString token = portal::makeToken();
    if (!subscribe(portal::objectPath(m_connection, QStringLiteral("request"), token))) {
        finishLater(
            failure(PortalReply::Outcome::CannotListen, m_connection.lastError().message()));
        return;
    }
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call =
        QDBusMessage::createMethodCall(portal::kService, portal::kPath, interface, method);
    call.setArguments(arguments);
    call << options;
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) { handleCallFinished(finished); });
}

void PortalRequest::handleCallFinished(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (m_finished) {
        return;
    }
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        finish(callFailure(reply.error()));
        return;
    }
    // Portals older than the handle_token option pick their own path; follow it.
    const QString handle = reply.value().path();
    if (handle != m_subscribedPath) {
        unsubscribe();
        if (!subscribe(handle)) {
            finish(failure(PortalReply::Outcome::CannotListen, m_connection.lastError().message()));
        }
    }
}

void PortalRequest::handleResponse(uint response, const QVariantMap& results) {
    PortalReply reply;
    reply.outcome = PortalReply::Outcome::Answered;
    reply.response = response;
    reply.results = results;
    finish(reply);
}

bool PortalRequest::subscribe(const QString& path) {
    if (!m_connection.connect(portal::kService, path, portal::kRequestInterface,
                              QStringLiteral("Response"), this,
                              SLOT(handleResponse(uint, QVariantMap)))) {
        return false;
    }
    m_subscribedPath = path;
    return true;
}

void PortalRequest::unsubscribe() {
    if (m_subscribedPath.isEmpty()) {
        return;
    }
    m_connection.disconnect(portal::kService, m_subscribedPath, portal::kRequestInterface,
                            QStringLiteral("Response"), this,
                            SLOT(handleResponse(uint, QVariantMap)));
    m_subscribedPath.clear();
}

void PortalRequest::closeAtPortal() {
    if (m_subscribedPath.isEmpty()) {
        return;
    }
    m_connection.send(QDBusMessage::createMethodCall(
        portal::kService, m_subscribedPath, portal::kRequestInterface, QStringLiteral("Close")));
}

void PortalRequest::finish(const PortalReply& reply) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_timeoutTimer.stop();
    unsubscribe();
    deleteLater();
    const Completion done = std::move(m_done);
    done(reply);
}

void PortalRequest::finishLater(const PortalReply& reply) {
    // Failures found in start() still report later, like every answer from the portal.
    QTimer::singleShot(0, this, [this, reply] { finish(reply); });
}

} // namespace ivra::platform
