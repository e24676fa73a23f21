#pragma once

#include <QAbstractTableModel>

#include <array>
#include <string>
#include <vector>

// The rows of an archive or journal page: the decoded texts of each usable
// record, UTF-8, read-only. Replaced as a whole (one model reset per fill),
// never row by row, so a list of 65535 records fills at once.
class TArchiveModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kMaxColumns = 5;
    // One row's texts in column order; the journal uses the first four.
    using Row = std::array<std::string, kMaxColumns>;

    explicit TArchiveModel(QObject* parent = nullptr);

    // Replaces the columns and every row in one reset. At most kMaxColumns
    // headers are used.
    void Reset(std::vector<std::string> headers, std::vector<Row> rows);

    const std::vector<std::string>& Headers() const { return FHeaders; }
    const std::vector<Row>& Rows() const { return FRows; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<std::string> FHeaders;
    std::vector<Row> FRows;
};
