// zq_fleet_db_bench: the history database at a utility's scale. A year of
// hourly records for --meters meters (8760 each, with a daily and a monthly
// list and some journal events), generated through the store's own inserts
// into the database --db names (default: an SQLite file of the run's own;
// postgresql://... a PostgreSQL database, which should be empty, reached
// as its environment says: the empty one is made beside it); then
// the database's size, one meter's whole history opened, and a round's
// inserts (a day's records of every meter, a transaction each) on the full
// database against the same on an empty one.
#include "FleetDatabase.h"
#include "FleetQuery.h"
#include "HistoryStore.h"
#include "MeterRegister.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ZQ_namespace::ArchiveStruct;
using ZQ_namespace::JournalStruct;
using Clock = std::chrono::steady_clock;

constexpr int kHoursOfYear = 8760;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PutFloat(uint8_t* to, float value) {
    std::memcpy(to, &value, sizeof value);
}

// The record of the interval ending `hours` hours after 1 January 2025 00:00
// (hourly: that hour; daily, monthly: the day's and month's end), meter
// `meter`'s counters by then.
ArchiveStruct Record(int meter, int hours, bool hourly) {
    TDateTime start = 0;
    TryEncodeDate(2025, 1, 1, start);
    int year = 0, month = 0, day = 0;
    DecodeDate(start + hours / 24.0, year, month, day);
    ArchiveStruct r{};
    r.year = static_cast<uint8_t>(year - 2000);
    r.month = static_cast<uint8_t>(month);
    r.day = static_cast<uint8_t>(day);
    r.hour = static_cast<uint8_t>(hourly ? hours % 24 : 0);
    PutFloat(r.vPlus, 1000.0f * static_cast<float>(meter) + 1.25f * static_cast<float>(hours));
    PutFloat(r.vMinus, 0.01f * static_cast<float>(hours));
    const uint32_t minutes = static_cast<uint32_t>(hours) * 60;
    r.workTime[0] = static_cast<uint8_t>(minutes);
    r.workTime[1] = static_cast<uint8_t>(minutes >> 8);
    r.workTime[2] = static_cast<uint8_t>(minutes >> 16);
    r.flags = hours % 500 == 0 ? 1 : 0;
    return r;
}

// Meter `meter`'s lists from hour `from` up to (not with) `to`, newest
// first, as a read lists them.
ZQValve Lists(int meter, int from, int to) {
    ZQValve v;
    for (int h = to - 1; h >= from; --h) {
        v.HourArchive.push_back(Record(meter, h, true));
        if (h % 24 == 23) {
            v.DayArchive.push_back(Record(meter, h, false));
        }
        if (h % 720 == 719) {
            v.MonthArchive.push_back(Record(meter, h, false));
        }
        if (h % 240 == 7) {
            JournalStruct e{};
            const ArchiveStruct at = Record(meter, h, true);
            e.year = at.year;
            e.month = at.month;
            e.day = at.day;
            e.hour = at.hour;
            e.code[0] = static_cast<uint8_t>(1 + h % 5);
            v.Journal.push_back(e);
        }
    }
    return v;
}

std::vector<int64_t> Register(FleetDatabase& db, int meters) {
    MeterRegister reg(db);
    std::vector<int64_t> ids;
    FleetDatabase::Transaction t(db);
    for (int m = 0; m < meters; ++m) {
        Meter meter;
        meter.name = "meter-" + std::to_string(m + 1);
        meter.connection.CurrentChanel = 2;
        meter.connection.NetworkAddress =
            "10.0." + std::to_string(m / 250) + "." + std::to_string(m % 250 + 1) + ":4001";
        meter.connection.NetAddress = 1;
        ids.push_back(reg.Add(meter));
    }
    t.Commit();
    return ids;
}

// A round's stores: `hours` new hours of every meter after hour `from`, a
// transaction per meter with its read log lines, as a round makes them.
double RoundInserts(FleetDatabase& db, const std::vector<int64_t>& ids, int from, int hours) {
    HistoryStore store(db);
    const auto start = Clock::now();
    int64_t round = 0;
    {
        FleetDatabase::Transaction t(db);
        round = store.BeginRound("bench", SqlNow());
        t.Commit();
    }
    for (size_t m = 0; m < ids.size(); ++m) {
        FleetDatabase::Transaction t(db);
        const int64_t read = store.BeginRead(ids[m], round, SqlNow());
        HistoryStore::ReadOutcome outcome;
        outcome.added =
            store.AddNewest(ids[m], Lists(static_cast<int>(m), from, from + hours), read);
        outcome.end = SqlNow();
        outcome.success = true;
        store.EndRead(read, outcome);
        t.Commit();
    }
    return Since(start);
}

double SizeMb(FleetDatabase& db, const std::string& target) {
    if (db.IsPostgres()) {
        return FleetScalar(db, QStringLiteral("SELECT pg_database_size(current_database())"))
                   .toDouble() /
               1e6;
    }
    FleetExec(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return QFileInfo(QString::fromStdString(target)).size() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int meters = 1000;
    std::string target;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--meters") == 0) {
            meters = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--db") == 0) {
            target = argv[i + 1];
        }
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return 2;
    }
    if (target.empty()) {
        target = folder.filePath("fleet.sqlite").toStdString();
    }
    int failures = 0;
    try {
        auto db = FleetDatabase::Open(target);
        std::printf("zq_fleet_db_bench: %d meters, a year of hourly records each, in %s\n", meters,
                    db->Name().c_str());
        const std::vector<int64_t> ids = Register(*db, meters);
        const double before = SizeMb(*db, target);
        // A year less a day, so that the round below brings the last day.
        const int stored = kHoursOfYear - 24;
        const double generateS = RoundInserts(*db, ids, 0, stored);
        const qlonglong rows =
            FleetScalar(*db, QStringLiteral("SELECT COUNT(*) FROM records")).toLongLong();
        std::printf("generated %lld records (%d hourly a meter) in %.0f s: %.0f records/s\n", rows,
                    stored, generateS, rows / generateS);

        const double fullRound = RoundInserts(*db, ids, stored, 24);
        const double size = SizeMb(*db, target) - before;
        std::printf(
            "the database with a year of %d meters: %.0f MB (%.2f MB a meter-year); "
            "target 1500 MB: %s\n",
            meters, size, size / meters, size <= 1500 ? "met" : "NOT met");
        failures += size <= 1500 ? 0 : 1;

        HistoryStore store(*db);
        const auto open = Clock::now();
        const ZQValve whole = store.Whole(ids[meters / 2]);
        const double openS = Since(open);
        std::printf(
            "one meter's whole history (%zu hourly, %zu daily, %zu monthly, %zu "
            "events) read from it: %.2f s; target 1 s: %s\n",
            whole.HourArchive.size(), whole.DayArchive.size(), whole.MonthArchive.size(),
            whole.Journal.size(), openS, openS <= 1 ? "met" : "NOT met");
        failures += openS <= 1 ? 0 : 1;

        // The same round's stores on an empty database of the same meters
        // (on PostgreSQL one made beside the first on the same server).
        double emptyRound = 0;
        std::string emptyTarget = folder.filePath("empty.sqlite").toStdString();
        if (db->IsPostgres()) {
            FleetExec(*db, QStringLiteral("DROP DATABASE IF EXISTS zq_fleet_bench_empty"));
            FleetExec(*db, QStringLiteral("CREATE DATABASE zq_fleet_bench_empty"));
            emptyTarget = "postgresql:///zq_fleet_bench_empty";
        }
        {
            auto empty = FleetDatabase::Open(emptyTarget);
            const std::vector<int64_t> emptyIds = Register(*empty, meters);
            emptyRound = RoundInserts(*empty, emptyIds, stored, 24);
        }
        const double slower = fullRound / emptyRound - 1;
        std::printf(
            "a round's inserts (24 hours of %d meters, a transaction each): %.1f s on "
            "the full database, %.1f s on an empty one: %+.0f %%; target 20 %%: %s\n",
            meters, fullRound, emptyRound, 100 * slower, slower <= 0.2 ? "met" : "NOT met");
        failures += slower <= 0.2 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zq_fleet_db_bench: %s\n", e.what());
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
