#pragma once

#include <QList>
#include <QObject>

#include "library/CaptureRecord.h"

namespace ivra {

class CaptureRepository;

// The list model behind the history bar: the repository's records, newest first, or only
// the pinned ones. It reloads after the library posts its change notification (once per
// turn of the event loop, however many changes were posted in it) and never trims the
// list. Main thread only. The repository must outlive the store.
class HistoryStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool pinnedOnly READ pinnedOnly WRITE setPinnedOnly NOTIFY pinnedOnlyChanged FINAL)
    Q_PROPERTY(int count READ count NOTIFY recordsChanged FINAL)

public:
    // Does not load: the first reload() comes when the bar is first shown.
    explicit HistoryStore(CaptureRepository& repository, QObject* parent = nullptr);

    const QList<CaptureRecord>& records() const { return m_records; }
    int count() const { return static_cast<int>(m_records.size()); }

    bool pinnedOnly() const { return m_pinnedOnly; }
    // Stores the filter and reloads, also when the value did not change.
    void setPinnedOnly(bool pinnedOnly);

    // For the card actions (pin, delete), which call reload() afterwards.
    CaptureRepository& repository() const { return m_repository; }

public Q_SLOTS:
    // Re-reads the repository and publishes the new list in one step.
    void reload();

Q_SIGNALS:
    // Before and after `records` takes a new value.
    void recordsAboutToChange();
    void recordsChanged();
    void pinnedOnlyChanged(bool pinnedOnly);

private:
    void scheduleReload();

    CaptureRepository& m_repository;
    QList<CaptureRecord> m_records;
    bool m_pinnedOnly = false;
    bool m_reloadScheduled = false;
};

} // namespace ivra
