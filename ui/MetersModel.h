#pragma once

#include "MeterOverview.h"

#include <QAbstractTableModel>
#include <QString>

#include <map>
#include <string>
#include <vector>

// The rows of the "Приборы" window: every meter of the register with its
// connection, serial number, last read and its outcome, the records held,
// and its state in the window's round. Read-only. A meter whose last read
// failed says so in words ("Ошибка: ...") and its row is tinted; colour is
// never the only sign. Sorting uses SortRole: times, numbers and serial
// numbers sort as such. GUI thread only.
class TMetersModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kName,
        kGroup,
        kConnection,
        kAddress,
        kSerial,
        kLastRead,
        kOutcome,
        kRecords,
        kRoundState,
        kColumns
    };
    static constexpr int SortRole = Qt::UserRole;

    explicit TMetersModel(QObject* parent = nullptr);

    // Replaces every row; the states of the round stay with their meters.
    void SetRows(std::vector<MeterSummary> rows);
    const std::vector<MeterSummary>& Rows() const { return FRows; }
    const MeterSummary& Row(int row) const { return FRows[static_cast<size_t>(row)]; }

    // A meter's state in the round, by name ("ожидает", "читается 40 %",
    // the outcome); `failed` tints its cell. Clear drops every state.
    void SetRoundState(const std::string& name, const QString& text, bool failed);
    void ClearRoundStates();
    QString RoundState(const std::string& name) const;

    // The texts of a row's connection and outcome, as the table shows them.
    static QString ConnectionText(const Meter& meter);
    static QString OutcomeText(const MeterSummary& row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct StateCell {
        QString text;
        bool failed = false;
    };
    QVariant Text(const MeterSummary& row, int column) const;
    QVariant SortKey(const MeterSummary& row, int column) const;
    // The row's last read failed, or this is the round's cell of a meter
    // the round did not read.
    bool Tinted(const MeterSummary& row, int column) const;

    std::vector<MeterSummary> FRows;
    std::map<std::string, StateCell> FStates;
};
