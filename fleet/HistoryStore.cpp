#include "HistoryStore.h"

#include "ArchiveFile.h"
#include "Exception.h"
#include "FleetQuery.h"
#include "ImportJoin.h"
#include "ParamsTexts.h"
#include "RecordInserter.h"

#include <QBuffer>

#include <cstdio>
#include <cstring>
#include <limits>

using namespace ZQ_namespace;

namespace {

using Record = HistoryJoin::Record;
using Lists = std::array<std::vector<Record>, 4>;

constexpr size_t kStampSize[4] = {HistoryJoin::kArchiveStampSize, HistoryJoin::kArchiveStampSize,
                                  HistoryJoin::kArchiveStampSize, HistoryJoin::kJournalStampSize};
// The parameter part of an .arch file: identification, current and setup.
constexpr int kParameterBlockSize =
    kArchiveFileIdentSize + kArchiveFileCurrentSize + kArchiveFileSetupSize;

template <class Struct>
void Append(std::vector<Record>& out, const std::vector<Struct>& list) {
    for (const Struct& r : list) {
        Record bytes;
        std::memcpy(bytes.data(), r.Bytes(), bytes.size());
        out.push_back(bytes);
    }
}

Lists ListsOf(const ZQValve& valve) {
    Lists lists;
    Append(lists[akHour], valve.HourArchive);
    Append(lists[akDay], valve.DayArchive);
    Append(lists[akMonth], valve.MonthArchive);
    Append(lists[akJournal], valve.Journal);
    return lists;
}

template <class Struct>
void Assign(std::vector<Struct>& out, const std::vector<Record>& list) {
    out.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        std::memcpy(&out[i], list[i].data(), sizeof(Struct));
    }
}

// The 200 bytes of an .arch file's parameter part for `valve`, the setup as
// the window's page holds it (what a saved file has).
QByteArray ParameterBlock(const ZQValve& valve) {
    ZQValve parameters;
    std::memcpy(parameters.Ident, valve.Ident, sizeof valve.Ident);
    parameters.Current = valve.Current;
    parameters.Setup = SetupPageValues(valve.Setup);
    return EncodeArchiveFile(parameters).mid(kArchiveFileHeaderSize, kParameterBlockSize);
}

// Applies a stored parameter block to `valve`, through the file reader's
// checks: a block that is not one raises.
void ApplyParameterBlock(const QByteArray& block, ZQValve& valve) {
    if (block.size() != kParameterBlockSize) {
        throw Exception("База истории: блок параметров из " + std::to_string(block.size()) +
                        " байт, а не из " + std::to_string(kParameterBlockSize));
    }
    QByteArray file = EncodeArchiveFile(ZQValve{});
    file.replace(kArchiveFileHeaderSize, kParameterBlockSize, block);
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    ZQValve read;
    ReadArchiveFile(buffer, read);
    std::memcpy(valve.Ident, read.Ident, sizeof read.Ident);
    valve.Current = read.Current;
    valve.Setup = read.Setup;
}

std::optional<TDateTime> DeviceTime(const ZQValve& valve) {
    if (valve.Current.Date == 0) {
        return std::nullopt;
    }
    return valve.Current.Date + valve.Current.Time;
}

QVariant TimeOrNull(const std::optional<TDateTime>& time) {
    return time ? QVariant(SqlTime(*time)) : QVariant();
}

std::string SerialText(uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%09u", serial);
    return text;
}

// The seq beyond the list's newest (`newest`) or oldest end.
int64_t EndSeq(FleetDatabase& database, int64_t meterId, int kind, bool newest) {
    const QVariant end =
        FleetScalar(database,
                    QStringLiteral("SELECT %1(seq) FROM records WHERE meter_id = ? AND kind = ?")
                        .arg(newest ? QStringLiteral("MAX") : QStringLiteral("MIN")),
                    {SqlInt(meterId), kind});
    return end.isNull() ? 0 : end.toLongLong() + (newest ? 1 : -1);
}

// The newest `limit` records of a list, newest first.
std::vector<Record> LoadList(FleetDatabase& database, int64_t meterId, int kind, int64_t limit) {
    FleetQuery q(database,
                 QStringLiteral("SELECT bytes FROM records WHERE meter_id = ? AND kind = ? "
                                "ORDER BY seq DESC LIMIT ?"));
    q.Run({SqlInt(meterId), kind, SqlInt(limit)});
    std::vector<Record> list;
    while (q.Next()) {
        const QByteArray bytes = q.Value(0).toByteArray();
        Record r;
        if (bytes.size() != static_cast<qsizetype>(r.size())) {
            throw Exception("База истории " + database.Name() + ": запись из " +
                            std::to_string(bytes.size()) + " байт");
        }
        std::memcpy(r.data(), bytes.constData(), r.size());
        list.push_back(r);
    }
    return list;
}

ZQValve Load(FleetDatabase& database, int64_t meterId, int64_t limit) {
    ZQValve valve;
    const QVariant block = FleetScalar(
        database,
        QStringLiteral("SELECT block FROM parameters WHERE meter_id = ? ORDER BY id DESC LIMIT 1"),
        {SqlInt(meterId)});
    if (!block.isNull()) {
        ApplyParameterBlock(block.toByteArray(), valve);
    }
    Assign(valve.HourArchive, LoadList(database, meterId, akHour, limit));
    Assign(valve.DayArchive, LoadList(database, meterId, akDay, limit));
    Assign(valve.MonthArchive, LoadList(database, meterId, akMonth, limit));
    Assign(valve.Journal, LoadList(database, meterId, akJournal, limit));
    return valve;
}

void StoreParameters(FleetDatabase& database, int64_t meterId, int64_t readId,
                     const std::optional<TDateTime>& pcTime, const ZQValve& valve) {
    const CurrentParamsStruct& c = valve.Current;
    FleetQuery(database,
               "INSERT INTO parameters (meter_id, read_id, pc_time, device_time, serial, block, "
               "v_plus, v_minus, flow, work_minutes, power_minutes, flags) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .Run({SqlInt(meterId), SqlKeyOrNull(readId), TimeOrNull(pcTime),
              TimeOrNull(DeviceTime(valve)), SqlInt(c.Serial), ParameterBlock(valve), SqlReal(c.Vd),
              SqlReal(c.Vr), SqlReal(c.G), SqlInt(c.Twork), SqlInt(c.Ton), c.NSFlags});
}

}  // namespace

ZQValve HistoryStore::Document(int64_t meterId, size_t limit) {
    return Load(database, meterId, static_cast<int64_t>(limit));
}

ZQValve HistoryStore::Whole(int64_t meterId) {
    return Load(database, meterId, std::numeric_limits<int64_t>::max());
}

std::array<size_t, 4> HistoryStore::Counts(int64_t meterId) {
    FleetQuery q(database, QStringLiteral("SELECT kind, COUNT(*) FROM records WHERE meter_id = ? "
                                          "GROUP BY kind"));
    q.Run({SqlInt(meterId)});
    std::array<size_t, 4> counts{};
    while (q.Next()) {
        const int kind = q.Value(0).toInt();
        if (kind >= 0 && kind < 4) {
            counts[static_cast<size_t>(kind)] = q.Value(1).toULongLong();
        }
    }
    return counts;
}

std::array<size_t, 4> HistoryStore::AddNewest(int64_t meterId, const ZQValve& fresh,
                                              int64_t readId) {
    FleetDatabase::Transaction transaction(database);
    RecordInserter inserter(database, meterId, readId);
    const Lists lists = ListsOf(fresh);
    std::array<size_t, 4> added{};
    for (int kind = 0; kind < 4; ++kind) {
        const std::vector<Record>& list = lists[static_cast<size_t>(kind)];
        int64_t seq = EndSeq(database, meterId, kind, true);
        // The oldest first, so that the newest gets the highest seq.
        for (auto r = list.rbegin(); r != list.rend(); ++r) {
            if (!IsEmptySlot(r->data())) {
                inserter.Add(kind, seq++, *r);
            }
        }
        added[static_cast<size_t>(kind)] = inserter.Flush();
    }
    transaction.Commit();
    return added;
}

std::array<size_t, 4> HistoryStore::Import(int64_t meterId, const ZQValve& file) {
    FleetDatabase::Transaction transaction(database);
    FleetQuery meter(database, QStringLiteral("SELECT name, serial FROM meters WHERE id = ? AND "
                                              "retired IS NULL"));
    meter.Run({SqlInt(meterId)});
    if (!meter.Next()) {
        throw Exception("База истории " + database.Name() + ": прибора " + std::to_string(meterId) +
                        " нет в реестре");
    }
    const std::string name = meter.Value(0).toString().toStdString();
    const uint32_t fileSerial = file.Current.Serial;
    if (meter.Value(1).isNull()) {
        FleetQuery(database, QStringLiteral("UPDATE meters SET serial = ? WHERE id = ?"))
            .Run({SqlInt(fileSerial), SqlInt(meterId)});
    } else if (meter.Value(1).toLongLong() != fileSerial) {
        throw Exception("Файл прибора № " + SerialText(fileSerial) + ", а «" + name +
                        "» в реестре — прибор № " +
                        SerialText(static_cast<uint32_t>(meter.Value(1).toLongLong())) +
                        ": ничего не сохранено");
    }

    RecordInserter inserter(database, meterId, 0);
    const Lists lists = ListsOf(file);
    std::array<size_t, 4> added{};
    for (int kind = 0; kind < 4; ++kind) {
        const size_t k = static_cast<size_t>(kind);
        const std::vector<Record> history =
            LoadList(database, meterId, kind, std::numeric_limits<int64_t>::max());
        const ImportJoin join = JoinImport(history, lists[k], kStampSize[k]);
        int64_t seq = EndSeq(database, meterId, kind, true);
        for (auto r = join.front.rbegin(); r != join.front.rend(); ++r) {
            inserter.Add(kind, seq++, *r);
        }
        seq = EndSeq(database, meterId, kind, false);
        for (const Record& r : join.back) {
            inserter.Add(kind, seq--, r);
        }
        added[k] = inserter.Flush();
    }

    // The file's parameters, when it was read later than the last stored.
    const QVariant last = FleetScalar(database,
                                      QStringLiteral("SELECT CAST(device_time AS TEXT) FROM "
                                                     "parameters WHERE meter_id = ? ORDER BY id "
                                                     "DESC LIMIT 1"),
                                      {SqlInt(meterId)});
    const bool anyStored =
        FleetScalar(database, QStringLiteral("SELECT COUNT(*) FROM parameters WHERE meter_id = ?"),
                    {SqlInt(meterId)})
            .toLongLong() > 0;
    const std::optional<TDateTime> fileTime = DeviceTime(file);
    const std::optional<TDateTime> lastTime = TimeFromSql(last);
    if (!anyStored || (fileTime && (!lastTime || *fileTime > *lastTime))) {
        StoreParameters(database, meterId, 0, std::nullopt, file);
    }
    transaction.Commit();
    return added;
}

void HistoryStore::AddParameters(int64_t meterId, int64_t readId, TDateTime pcTime,
                                 const ZQValve& valve) {
    FleetDatabase::Transaction transaction(database);
    StoreParameters(database, meterId, readId, pcTime, valve);
    transaction.Commit();
}

int64_t HistoryStore::BeginRound(const std::string& collector, TDateTime start) {
    FleetDatabase::Transaction transaction(database);
    const int64_t id = FleetScalar(database,
                                   QStringLiteral("INSERT INTO rounds (collector, started) VALUES "
                                                  "(?, ?) RETURNING id"),
                                   {SqlText(collector), SqlTime(start)})
                           .toLongLong();
    transaction.Commit();
    return id;
}

void HistoryStore::EndRound(int64_t roundId, TDateTime end) {
    FleetDatabase::Transaction transaction(database);
    FleetQuery(database, QStringLiteral("UPDATE rounds SET ended = ? WHERE id = ?"))
        .Run({SqlTime(end), SqlInt(roundId)});
    transaction.Commit();
}

int64_t HistoryStore::BeginRead(int64_t meterId, int64_t roundId, TDateTime start) {
    FleetDatabase::Transaction transaction(database);
    const int64_t id = FleetScalar(database,
                                   QStringLiteral("INSERT INTO reads (meter_id, round_id, started) "
                                                  "VALUES (?, ?, ?) RETURNING id"),
                                   {SqlInt(meterId), SqlKeyOrNull(roundId), SqlTime(start)})
                           .toLongLong();
    transaction.Commit();
    return id;
}

void HistoryStore::EndRead(int64_t readId, const ReadOutcome& o) {
    FleetDatabase::Transaction transaction(database);
    FleetQuery(database,
               "UPDATE reads SET ended = ?, success = ?, status_text = ?, requests = ?, "
               "added_hour = ?, added_day = ?, added_month = ?, added_journal = ?, "
               "clock_drift_s = ?, clock_set = ? WHERE id = ?")
        .Run({SqlTime(o.end), o.success, SqlText(o.text), o.requests, SqlInt(o.added[0]),
              SqlInt(o.added[1]), SqlInt(o.added[2]), SqlInt(o.added[3]),
              o.clockDriftS ? SqlReal(*o.clockDriftS) : QVariant(), o.clockSet, SqlInt(readId)});
    transaction.Commit();
}

namespace {

std::optional<HistoryStore::LastRead> LastWhere(FleetDatabase& database, int64_t meterId,
                                                const char* condition) {
    FleetQuery q(database,
                 QStringLiteral("SELECT CAST(reads.ended AS TEXT), reads.success, "
                                "reads.status_text, rounds.collector FROM reads LEFT JOIN rounds "
                                "ON rounds.id = reads.round_id WHERE reads.meter_id = ? AND "
                                "reads.ended IS NOT NULL %1 ORDER BY reads.id DESC LIMIT 1")
                     .arg(QString::fromUtf8(condition)));
    q.Run({SqlInt(meterId)});
    if (!q.Next()) {
        return std::nullopt;
    }
    HistoryStore::LastRead last;
    last.end = TimeFromSql(q.Value(0)).value_or(0);
    last.success = q.Value(1).toBool();
    last.text = q.Value(2).toString().toStdString();
    last.collector = q.Value(3).toString().toStdString();
    return last;
}

}  // namespace

std::optional<HistoryStore::LastRead> HistoryStore::Last(int64_t meterId) {
    return LastWhere(database, meterId, "");
}

std::optional<HistoryStore::LastRead> HistoryStore::LastSuccess(int64_t meterId) {
    return LastWhere(database, meterId, "AND reads.success");
}
