#pragma once

#include <QObject>

class QSocketNotifier;

namespace ivra::platform {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a
// session logout or `kill` ends Ivra through its normal termination path (which marks
// the clean exit) instead of killing it mid-run. One instance per process.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace ivra::platform
