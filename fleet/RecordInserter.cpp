#include "RecordInserter.h"

#include "ArchiveStruct.h"
#include "DateTime.h"
#include "JournalStruct.h"

#include <cstdio>
#include <cstring>

using namespace ZQ_namespace;

namespace {

// Rows a statement: 11 values each stays far below both engines' limit of
// bound values (SQLite 32766, PostgreSQL 65535).
constexpr int kBatch = 200;
constexpr int kColumns = 11;

QString InsertSql(int rows) {
    QString sql = QStringLiteral(
        "INSERT INTO records (meter_id, kind, seq, bytes, stamp, v_plus, v_minus, work_minutes, "
        "flags, event_code, read_id) VALUES ");
    for (int i = 0; i < rows; ++i) {
        sql += i ? QStringLiteral(", (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                 : QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    }
    return sql + QStringLiteral(" ON CONFLICT (meter_id, kind, bytes) DO NOTHING");
}

// The record's time stamp as the device wrote it (the hour of an hourly
// record is the hour it began); null when the bytes hold no real date.
QVariant Stamp(int kind, const HistoryJoin::Record& r) {
    TDateTime day = 0;
    const int minute = kind == akJournal ? r[4] : 0;
    const int second = kind == akJournal ? r[5] : 0;
    if (!TryEncodeDate(2000 + r[0], r[1], r[2], day) || r[3] > 23 || minute > 59 || second > 59) {
        return QVariant();
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.000", 2000 + r[0], r[1], r[2],
                  r[3], minute, second);
    return QString::fromLatin1(text);
}

}  // namespace

RecordInserter::RecordInserter(FleetDatabase& database, int64_t meterId, int64_t readId)
    : database(database), meterId(meterId), readId(readId) {}

RecordInserter::~RecordInserter() = default;

void RecordInserter::Add(int kind, int64_t seq, const HistoryJoin::Record& r) {
    QVariant vPlus, vMinus, work, flags, event;
    if (kind == akJournal) {
        JournalStruct j;
        std::memcpy(&j, r.data(), sizeof j);
        event = j.EventCode();
    } else {
        ArchiveStruct a;
        std::memcpy(&a, r.data(), sizeof a);
        vPlus = SqlReal(a.VPlus());
        vMinus = SqlReal(a.VMinus());
        work = SqlInt(a.WorkTime());
        flags = a.flags;
    }
    queued << SqlInt(meterId) << kind << SqlInt(seq)
           << QByteArray(reinterpret_cast<const char*>(r.data()), static_cast<qsizetype>(r.size()))
           << Stamp(kind, r) << vPlus << vMinus << work << flags << event << SqlKeyOrNull(readId);
    if (queued.size() == kBatch * kColumns) {
        Store();
    }
}

size_t RecordInserter::Flush() {
    Store();
    const size_t count = stored;
    stored = 0;
    return count;
}

void RecordInserter::Store() {
    if (queued.isEmpty()) {
        return;
    }
    const int rows = static_cast<int>(queued.size() / kColumns);
    if (rows == kBatch) {
        if (!full) {
            full = std::make_unique<FleetQuery>(database, InsertSql(kBatch));
        }
        full->Run(queued);
        stored += static_cast<size_t>(full->RowsAffected());
    } else {
        FleetQuery part(database, InsertSql(rows));
        part.Run(queued);
        stored += static_cast<size_t>(part.RowsAffected());
    }
    queued.clear();
}
