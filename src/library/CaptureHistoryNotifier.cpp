#include "library/CaptureHistoryNotifier.h"

namespace ivra {

CaptureHistoryNotifier::CaptureHistoryNotifier() {
    setObjectName(QLatin1String(kCaptureHistoryDidChange));
}

CaptureHistoryNotifier& CaptureHistoryNotifier::instance() {
    // Never destroyed: observers may still disconnect from it while static objects of the
    // process are torn down.
    static auto* const notifier = new CaptureHistoryNotifier;
    return *notifier;
}

void CaptureHistoryNotifier::post() {
    Q_EMIT captureHistoryDidChange();
}

} // namespace ivra
