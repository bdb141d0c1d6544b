#include "library/HistoryStore.h"

#include <QThread>

#include "library/CaptureHistoryNotifier.h"
#include "library/CaptureRepository.h"

namespace ivra {

HistoryStore::HistoryStore(CaptureRepository& repository, QObject* parent)
    : QObject(parent)
    , m_repository(repository) {
    // Tied to this object: once the store is destroyed the notification no longer
    // reaches it. A notification posted on another thread is delivered on this one.
    connect(&CaptureHistoryNotifier::instance(), &CaptureHistoryNotifier::captureHistoryDidChange,
            this, &HistoryStore::scheduleReload);
}

void HistoryStore::scheduleReload() {
    // A burst of changes (a capture that prunes a large library, a delete-all) posts many
    // notifications in one turn of the event loop; the store reads the library once, after
    // the burst.
    if (m_reloadScheduled) {
        return;
    }
    m_reloadScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_reloadScheduled) {
                reload();
            }
        },
        Qt::QueuedConnection);
}

void HistoryStore::setPinnedOnly(bool pinnedOnly) {
    const bool changed = pinnedOnly != m_pinnedOnly;
    m_pinnedOnly = pinnedOnly;
    if (changed) {
        Q_EMIT pinnedOnlyChanged(m_pinnedOnly);
    }
    reload();
}

void HistoryStore::reload() {
    Q_ASSERT_X(QThread::currentThread() == thread(), "HistoryStore::reload",
               "the history is read and published on its own (the UI) thread only");
    // Whatever was scheduled is covered by this read.
    m_reloadScheduled = false;
    QList<CaptureRecord> records = m_repository.fetchAll();
    if (m_pinnedOnly) {
        records.removeIf([](const CaptureRecord& record) { return !record.pinned; });
    }
    Q_EMIT recordsAboutToChange();
    m_records = std::move(records);
    Q_EMIT recordsChanged();
}

} // namespace ivra
