#include "platform/portal/PortalScreenshotRequest.h"

#include <QUrl>

#include "platform/portal/PortalRequest.h"

namespace ivra::platform {

namespace {

PortalScreenshotResponse failed(const QString& description) {
    PortalScreenshotResponse response;
    response.errorDescription = description;
    return response;
}

PortalScreenshotResponse screenshotResponse(const PortalReply& reply,
                                            std::chrono::milliseconds timeout) {
    using Outcome = PortalReply::Outcome;
    switch (reply.outcome) {
    case Outcome::Answered:
        break;
    case Outcome::NoBus:
        return failed(QStringLiteral("There is no D-Bus session bus to reach the desktop portal "
                                     "through."));
    case Outcome::NoPortal:
        return failed(QStringLiteral("No desktop portal is running. Screenshots in a Wayland "
                                     "session need xdg-desktop-portal with a backend for this "
                                     "desktop."));
    case Outcome::NotOffered:
        return failed(QStringLiteral("The desktop portal does not offer screenshots. Install a "
                                     "portal backend for this desktop that implements them."));
    case Outcome::CallFailed:
        return failed(QStringLiteral("The desktop portal could not take the screenshot: %1")
                          .arg(reply.detail));
    case Outcome::CannotListen:
        return failed(QStringLiteral("Could not listen for the desktop portal's answer: %1")
                          .arg(reply.detail));
    case Outcome::TimedOut:
        return failed(QStringLiteral("The desktop portal did not answer the screenshot request "
                                     "within %1 s.")
                          .arg(static_cast<double>(timeout.count()) / 1000.0));
    }

    PortalScreenshotResponse response;
    if (reply.response == portal::kResponseSuccess) {
        const QString uri = reply.results.value(QStringLiteral("uri")).toString();
        const QUrl url(uri);
        if (!url.isLocalFile()) {
            return failed(QStringLiteral("The desktop portal answered with an image Ivra cannot "
                                         "open: \"%1\"")
                              .arg(uri));
        }
        response.status = PortalScreenshotResponse::Status::Saved;
        response.filePath = url.toLocalFile();
    } else if (reply.response == portal::kResponseCancelled) {
        response.status = PortalScreenshotResponse::Status::Cancelled;
        response.errorDescription = QStringLiteral("The screenshot was cancelled.");
    } else {
        response.status = PortalScreenshotResponse::Status::Refused;
        response.errorDescription =
            QStringLiteral("The desktop refused the screenshot. Allow Ivra to take screenshots "
                           "in the desktop's privacy settings.");
    }
    return response;
}

} // namespace

PortalRequest* requestScreenshot(QDBusConnection connection, std::chrono::milliseconds timeout,
                                 QObject* parent,
                                 std::function<void(const PortalScreenshotResponse&)> done) {
    auto* request = new PortalRequest(std::move(connection), timeout, parent);
    // No parent window: the request asks for no dialog, and a permission dialog the desktop
    // may still show stands on its own.
    request->start(QStringLiteral("org.freedesktop.portal.Screenshot"),
                   QStringLiteral("Screenshot"), {QString()},
                   {{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}},
                   [timeout, done = std::move(done)](const PortalReply& reply) {
                       done(screenshotResponse(reply, timeout));
                   });
    return request;
}

} // namespace ivra::platform
