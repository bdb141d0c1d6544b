#include "library/CaptureHistoryNotifier.h"

#include <QCoreApplication>

namespace ivra {

CaptureHistoryNotifier::CaptureHistoryNotifier() {
    setObjectName(QLatin1String(kCaptureHistoryDidChange));
    // Whichever thread asks first, the hub belongs to the application's thread.
    if (const QCoreApplication* app = QCoreApplication::instance()) {
        moveToThread(app->thread());
    }
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
