#include "MetersFilter.h"

#include "MetersModel.h"

TMetersFilter::TMetersFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(TMetersModel::SortRole);
    setDynamicSortFilter(true);
}

void TMetersFilter::SetGroup(bool all, const QString& group) {
    FAllGroups = all;
    FGroup = group;
    invalidateFilter();
}

void TMetersFilter::SetSearch(const QString& text) {
    FSearch = text.trimmed();
    invalidateFilter();
}

bool TMetersFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const auto* model = static_cast<const TMetersModel*>(sourceModel());
    const Meter& meter = model->Row(sourceRow).meter;
    if (!FAllGroups && QString::fromStdString(meter.group) != FGroup) {
        return false;
    }
    if (FSearch.isEmpty()) {
        return true;
    }
    for (const QString& text :
         {QString::fromStdString(meter.name), QString::fromStdString(meter.note),
          TMetersModel::ConnectionText(meter)}) {
        if (text.contains(FSearch, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}
