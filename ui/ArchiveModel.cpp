#include "ArchiveModel.h"

#include <utility>

TArchiveModel::TArchiveModel(QObject* parent) : QAbstractTableModel(parent) {}

void TArchiveModel::Reset(std::vector<std::string> headers, std::vector<Row> rows) {
    if (headers.size() > kMaxColumns) {
        headers.resize(kMaxColumns);
    }
    beginResetModel();
    FHeaders = std::move(headers);
    FRows = std::move(rows);
    endResetModel();
}

int TArchiveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TArchiveModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FHeaders.size());
}

QVariant TArchiveModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return QString::fromStdString(FRows[index.row()][index.column()]);
    }
    return {};
}

QVariant TArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return QString::fromStdString(FHeaders[section]);
    }
    return {};
}

Qt::ItemFlags TArchiveModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
