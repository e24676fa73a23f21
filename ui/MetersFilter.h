#pragma once

#include <QSortFilterProxyModel>
#include <QString>

// The rows of TMetersModel the "Приборы" window shows: those of one group
// (or every group) whose name, note or connection holds the search text
// (letter case ignored), sorted by the model's SortRole.
class TMetersFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit TMetersFilter(QObject* parent = nullptr);

    // `all` true: every group; else only the meters of `group`.
    void SetGroup(bool all, const QString& group);
    void SetSearch(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    bool FAllGroups = true;
    QString FGroup;
    QString FSearch;
};
