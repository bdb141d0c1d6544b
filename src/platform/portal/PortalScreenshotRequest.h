#pragma once

#include <chrono>
#include <functional>

#include <QDBusConnection>
#include <QString>

class QObject;

namespace ivra::platform {

class PortalRequest;

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

// Asks org.freedesktop.portal.Screenshot.Screenshot for the whole desktop, with no dialog.
// `done` runs once, after this has returned. The request is a child of `parent`;
// deleting it before it ends withdraws it and `done` is never called.
PortalRequest* requestScreenshot(QDBusConnection connection, std::chrono::milliseconds timeout,
                                 QObject* parent,
                                 std::function<void(const PortalScreenshotResponse&)> done);

} // namespace ivra::platform
