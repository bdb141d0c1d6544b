#include "library/HistoryListModel.h"

#include <QMimeData>

#include "library/HistoryStore.h"
#include "services/DragDropService.h"

namespace ivra {

HistoryListModel::HistoryListModel(HistoryStore& store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store) {
    connect(&store, &HistoryStore::recordsAboutToChange, this, &HistoryListModel::beginResetModel);
    connect(&store, &HistoryStore::recordsChanged, this, &HistoryListModel::endResetModel);
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_store.count();
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole) {
        return {};
    }
    return record(index.row()).createdAt.toLocalTime().toString(QStringLiteral("HH:mm"));
}

Qt::ItemFlags HistoryListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
}

QStringList HistoryListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* HistoryListModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty() || !checkIndex(indexes.first(), CheckIndexOption::IndexIsValid)) {
        return nullptr;
    }
    return DragDropService::itemProvider(record(indexes.first().row()).imagePath).release();
}

Qt::DropActions HistoryListModel::supportedDragActions() const {
    return Qt::CopyAction;
}

const CaptureRecord& HistoryListModel::record(int row) const {
    return m_store.records().at(row);
}

} // namespace ivra
