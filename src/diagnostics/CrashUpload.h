#pragma once

#include <optional>

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

namespace ivra::diagnostics {

// Where a report goes and how the endpoint knows the sender.
struct CrashUploadTarget {
    QString endpoint;  // base URL of the collection service; empty: reports are not sent
    QString publicKey; // the project's 32-digit lower-case hexadecimal key
    QString version;   // this run's application version; "0" when empty
};

inline constexpr int kUploadTimeoutMs = 8000;
inline constexpr int kUploadWaitMs = 200;

// The store request for `target`, or nothing when no report may be sent: no endpoint, an
// endpoint that is not HTTPS (plain HTTP is accepted for a loopback host only, where a
// test's local server listens), or a key that is not 32 lower-case hexadecimal digits
// (it is written into a header line).
std::optional<QNetworkRequest> crashUploadRequest(const CrashUploadTarget& target);

// Posts `body` without waiting for the answer: the calling thread runs its event loop until
// the body has been handed to the network or `waitMs` has passed, whichever is first. The
// request carries on in the background while the application runs; nothing is retried and
// the response is ignored. Needs a QCoreApplication; without one nothing is sent.
void postCrashReport(const QNetworkRequest& request, const QByteArray& body,
                     int waitMs = kUploadWaitMs);

} // namespace ivra::diagnostics
