#include "diagnostics/CrashUpload.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include "diagnostics/CrashEvent.h"

namespace ivra::diagnostics {

namespace {

bool isLoopbackHost(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<QUrl> storeUrl(const QString& endpoint) {
    QUrl url(endpoint.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme().toLower();
    const bool secure = scheme == QLatin1String("https");
    const bool localPlain = scheme == QLatin1String("http") && isLoopbackHost(url.host());
    if (!secure && !localPlain) {
        return std::nullopt;
    }
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    url.setPath(path + QStringLiteral("/api/4/store/"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

bool isPublicKey(const QString& key) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{32}$"));
    return pattern.match(key).hasMatch();
}

} // namespace

std::optional<QNetworkRequest> crashUploadRequest(const CrashUploadTarget& target) {
    if (target.endpoint.trimmed().isEmpty() || !isPublicKey(target.publicKey)) {
        return std::nullopt;
    }
    const auto url = storeUrl(target.endpoint);
    if (!url) {
        return std::nullopt;
    }
    QNetworkRequest request(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QString auth = QStringLiteral("Sentry sentry_version=7, sentry_key=") + target.publicKey +
                         QStringLiteral(", sentry_client=ivra/") + versionOrZero(target.version);
    request.setRawHeader(QByteArrayLiteral("X-Sentry-Auth"), auth.toUtf8());
    request.setTransferTimeout(kUploadTimeoutMs);
    // A one-off request: no cookies, no cache, no remembered credentials.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    return request;
}

void postCrashReport(const QNetworkRequest& request, const QByteArray& body, int waitMs) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    // The manager must outlive this call for the request to finish in the background; it
    // belongs to the application and goes away with the reply.
    auto* manager = new QNetworkAccessManager(QCoreApplication::instance());
    QNetworkReply* reply = manager->post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, manager, [manager, reply] {
        reply->deleteLater();
        manager->deleteLater();
    });

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop,
                     [&loop](qint64 sentBytes, qint64 totalBytes) {
                         if (totalBytes > 0 && sentBytes >= totalBytes) {
                             loop.quit();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(waitMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace ivra::diagnostics
