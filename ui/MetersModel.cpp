#include "MetersModel.h"

#include "ChanelKinds.h"
#include "DateTime.h"

#include <QBrush>
#include <QColor>

#include <numeric>

namespace {

const char* const kHeaders[TMetersModel::kColumns] = {
    "Имя",         "Группа",  "Подключение", "Адрес", "Заводской номер", "Последний опрос",
    "Итог опроса", "Записей", "Опрос"};

// A failed read's row: a light tint that leaves the text as readable as on
// white; the outcome's words carry the meaning.
const QColor kFailedTint(255, 226, 220);
const QColor kFailedText(150, 20, 10);

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool Failed(const MeterSummary& row) {
    return row.last && !row.last->success;
}

size_t Total(const MeterSummary& row) {
    return std::accumulate(row.counts.begin(), row.counts.end(), size_t{0});
}

}  // namespace

TMetersModel::TMetersModel(QObject* parent) : QAbstractTableModel(parent) {}

void TMetersModel::SetRows(std::vector<MeterSummary> rows) {
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
}

void TMetersModel::SetRoundState(const std::string& name, const QString& text, bool failed) {
    FStates[name] = {text, failed};
    for (size_t row = 0; row < FRows.size(); ++row) {
        if (FRows[row].meter.name == name) {
            const QModelIndex cell = index(static_cast<int>(row), kRoundState);
            emit dataChanged(cell, cell);
        }
    }
}

void TMetersModel::ClearRoundStates() {
    FStates.clear();
    if (!FRows.empty()) {
        emit dataChanged(index(0, kRoundState), index(rowCount() - 1, kRoundState));
    }
}

QString TMetersModel::RoundState(const std::string& name) const {
    const auto found = FStates.find(name);
    return found == FStates.end() ? QString() : found->second.text;
}

QString TMetersModel::ConnectionText(const Meter& meter) {
    return FromUtf8(DescribeConnection(meter.connection));
}

QString TMetersModel::OutcomeText(const MeterSummary& row) {
    if (!row.last) {
        return QStringLiteral("Не опрашивался");
    }
    if (row.last->success) {
        return QStringLiteral("Успех");
    }
    return QStringLiteral("Ошибка: ") + FromUtf8(row.last->text);
}

int TMetersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TMetersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant TMetersModel::Text(const MeterSummary& row, int column) const {
    const Meter& m = row.meter;
    switch (column) {
        case kName:
            return FromUtf8(m.name);
        case kGroup:
            return FromUtf8(m.group);
        case kConnection:
            return ConnectionText(m);
        case kAddress:
            return QString::number(m.connection.NetAddress);
        case kSerial:
            return m.serial ? QStringLiteral("%1").arg(*m.serial, 9, 10, QLatin1Char('0'))
                            : QString();
        case kLastRead:
            return row.last ? FromUtf8(FormatDateTime("dd/mm/yyyy hh:nn:ss", row.last->end))
                            : QString();
        case kOutcome:
            return OutcomeText(row);
        case kRecords:
            return QString::number(Total(row));
        case kRoundState:
            return RoundState(m.name);
        default:
            return {};
    }
}

bool TMetersModel::Tinted(const MeterSummary& row, int column) const {
    const auto state = FStates.find(row.meter.name);
    return Failed(row) || (column == kRoundState && state != FStates.end() && state->second.failed);
}

QVariant TMetersModel::SortKey(const MeterSummary& row, int column) const {
    switch (column) {
        case kAddress:
            return row.meter.connection.NetAddress;
        case kSerial:
            return row.meter.serial ? QVariant(static_cast<qlonglong>(*row.meter.serial))
                                    : QVariant(-1LL);
        case kLastRead:
            return row.last ? row.last->end : -1.0;
        case kRecords:
            return static_cast<qulonglong>(Total(row));
        default:
            return Text(row, column).toString().toLower();
    }
}

QVariant TMetersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) {
        return {};
    }
    const MeterSummary& row = FRows[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return Text(row, column);
        case SortRole:
            return SortKey(row, column);
        case Qt::ToolTipRole:
            if (column == kOutcome && row.last) {
                return OutcomeText(row);
            }
            if (column == kRecords) {
                return QStringLiteral("Часовых: %1, суточных: %2, месячных: %3, событий: %4")
                    .arg(row.counts[0])
                    .arg(row.counts[1])
                    .arg(row.counts[2])
                    .arg(row.counts[3]);
            }
            if (column == kRoundState) {
                return RoundState(row.meter.name);
            }
            return {};
        case Qt::BackgroundRole:
            return Tinted(row, column) ? QBrush(kFailedTint) : QVariant();
        case Qt::ForegroundRole:
            // Dark on the light tint whatever the desktop's colours.
            if (Tinted(row, column)) {
                return QBrush(column == kOutcome || column == kRoundState ? kFailedText
                                                                          : QColor(Qt::black));
            }
            return {};
        default:
            return {};
    }
}

QVariant TMetersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)) {
        return QString::fromUtf8(kHeaders[section]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
