#include "MeterOverview.h"

#include "FleetQuery.h"
#include "MeterRegister.h"

#include <unordered_map>

std::vector<MeterSummary> LoadMeterOverview(FleetDatabase& database) {
    std::vector<MeterSummary> rows;
    std::unordered_map<int64_t, size_t> at;
    for (Meter& meter : MeterRegister(database).List()) {
        at.emplace(meter.id, rows.size());
        rows.push_back({std::move(meter), std::nullopt, {}});
    }
    // The newest ended read of each meter: the read log's (meter_id, id)
    // index gives each meter's highest key.
    FleetQuery last(database,
                    QStringLiteral("SELECT r.meter_id, CAST(r.ended AS TEXT), r.success, "
                                   "r.status_text FROM reads r JOIN (SELECT meter_id, MAX(id) AS "
                                   "id FROM reads WHERE ended IS NOT NULL GROUP BY meter_id) n "
                                   "ON n.id = r.id"));
    last.Run();
    while (last.Next()) {
        const auto found = at.find(last.Value(0).toLongLong());
        if (found == at.end()) {
            continue;  // a retired meter's
        }
        HistoryStore::LastRead read;
        read.end = TimeFromSql(last.Value(1)).value_or(0);
        read.success = last.Value(2).toBool();
        read.text = last.Value(3).toString().toStdString();
        rows[found->second].last = std::move(read);
    }
    FleetQuery counts(database, QStringLiteral("SELECT meter_id, kind, COUNT(*) FROM records "
                                               "GROUP BY meter_id, kind"));
    counts.Run();
    while (counts.Next()) {
        const auto found = at.find(counts.Value(0).toLongLong());
        const int kind = counts.Value(1).toInt();
        if (found != at.end() && kind >= 0 && kind < 4) {
            rows[found->second].counts[static_cast<size_t>(kind)] = counts.Value(2).toULongLong();
        }
    }
    return rows;
}

ReadLogMark LoadReadLogMark(FleetDatabase& database) {
    ReadLogMark mark;
    mark.lastEndedRead =
        FleetScalar(database, QStringLiteral("SELECT MAX(id) FROM reads WHERE ended IS NOT NULL"))
            .toLongLong();
    mark.endedRounds =
        FleetScalar(database, QStringLiteral("SELECT COUNT(*) FROM rounds WHERE ended IS NOT NULL"))
            .toLongLong();
    FleetQuery meters(database, QStringLiteral("SELECT COUNT(*), MAX(id) FROM meters WHERE "
                                               "retired IS NULL"));
    meters.Run();
    if (meters.Next()) {
        mark.meters = meters.Value(0).toLongLong();
        mark.newestMeter = meters.Value(1).toLongLong();
    }
    return mark;
}
