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
            this, &HistoryStore::reload);
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
    QList<CaptureRecord> records = m_repository.fetchAll();
    if (m_pinnedOnly) {
        records.removeIf([](const CaptureRecord& record) { return !record.pinned; });
    }
    Q_EMIT recordsAboutToChange();
    m_records = std::move(records);
    Q_EMIT recordsChanged();
}

} // namespace ivra
