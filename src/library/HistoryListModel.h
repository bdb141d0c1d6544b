#pragma once

#include <QAbstractListModel>

#include "library/CaptureRecord.h"

namespace ivra {

class HistoryStore;

// The history store's records as a list model for the shelf's row of cards, one row per
// record in the store's order. It follows the store (each new list is one reset) and hands
// a card's file to drags. Main thread only; the store must outlive the model.
class HistoryListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit HistoryListModel(HistoryStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the capture's time as "HH:mm" in local time.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    // The dragged card's image file (a missing file drags nothing).
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    const CaptureRecord& record(int row) const;

private:
    HistoryStore& m_store;
};

} // namespace ivra
