#pragma once

#include <QObject>

namespace ivra {

// The process-wide change notification of the capture library: the repository posts it
// after every insert, deletion and pin change, with no payload; the history views
// connect to it and reload. Connections made with a receiver object end with that
// object, so an observer that is gone is never called.
class CaptureHistoryNotifier final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kCaptureHistoryDidChange = "Vantrel.captureHistoryDidChange";

    // Created on first use and kept for the whole run.
    static CaptureHistoryNotifier& instance();

    void post();

Q_SIGNALS:
    void captureHistoryDidChange();

private:
    CaptureHistoryNotifier();
};

} // namespace ivra
