// zq_report_bench: the consumption report of a big fleet. Fills a fresh
// SQLite database with N meters (default 1000) and a year of records each
// (every hour of 2025, its days and months, two journal events a day, and a
// read log), through the store's own inserter in one transaction; then
// times MakeConsumptionReport for June 2025 (target 10 s) and writing its
// workbook, and, for scale, the report of the whole year.
#include "ArchiveStruct.h"
#include "ConsumptionReport.h"
#include "FleetDatabase.h"
#include "FleetQuery.h"
#include "HistoryStore.h"
#include "MeterRegister.h"
#include "RecordInserter.h"
#include "ReportWorkbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

using namespace ZQ_namespace;

namespace {

using Clock = std::chrono::steady_clock;
using Record = HistoryJoin::Record;

constexpr int kYear = 2025;
const QDate kFirstDay(kYear, 1, 1);
const QDate kLastDay(kYear, 12, 31);
const QDate kMonthFrom(kYear, 6, 1);
const QDate kMonthTo(kYear, 6, 30);
constexpr double kTargetS = 10;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PutFloat(uint8_t* at, double value) {
    const float f = static_cast<float>(value);
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

Record Archive(QDate day, int hour, double vPlus, double vMinus, uint32_t minutes, int flags) {
    Record r{};
    r[0] = static_cast<uint8_t>(day.year() - 2000);
    r[1] = static_cast<uint8_t>(day.month());
    r[2] = static_cast<uint8_t>(day.day());
    r[3] = static_cast<uint8_t>(hour);
    PutFloat(&r[4], vPlus);
    PutFloat(&r[8], vMinus);
    for (int i = 0; i < 3; ++i) {
        r[12 + i] = static_cast<uint8_t>(minutes >> (8 * i));
    }
    r[15] = static_cast<uint8_t>(flags);
    return r;
}

Record Event(QDate day, int second, int code) {
    Record r{};
    r[0] = static_cast<uint8_t>(day.year() - 2000);
    r[1] = static_cast<uint8_t>(day.month());
    r[2] = static_cast<uint8_t>(day.day());
    r[3] = static_cast<uint8_t>(second / 3600);
    r[4] = static_cast<uint8_t>(second / 60 % 60);
    r[5] = static_cast<uint8_t>(second % 60);
    r[6] = static_cast<uint8_t>(code);
    return r;
}

// One meter's year, as a device that ran all year writes it. Some meters
// have what a billing month meets: every 20th a day and a half without
// records in June, every 50th no record of the hour the month starts with,
// every 100th its archive cleared in mid-June.
size_t StoreYear(FleetDatabase& db, int64_t meterId, int index) {
    std::mt19937 draw(static_cast<uint32_t>(index) * 7919u + 1);
    std::uniform_real_distribution<double> unit(0, 1);
    const double flow = 0.5 + 20 * unit(draw);  // m3/h
    double vPlus = 1000.0 * (index % 50);
    double vMinus = 0;
    uint32_t minutes = 0;
    RecordInserter inserter(db, meterId, 0);
    int64_t seq[4] = {};
    for (QDate day = kFirstDay; day <= kLastDay; day = day.addDays(1)) {
        const bool gapDay = index % 20 == 7 && day.month() == 6 && day.day() == 10;
        for (int hour = 0; hour < 24; ++hour) {
            vPlus += flow * (0.6 + 0.8 * unit(draw));
            vMinus += unit(draw) < 0.02 ? 0.05 : 0;
            minutes = (minutes + 60) & 0xFFFFFF;
            if (index % 100 == 13 && day == QDate(kYear, 6, 15) && hour == 10) {
                vPlus = vMinus = 0;
            }
            const bool gap = (gapDay && hour >= 6) ||
                             (index % 20 == 7 && day == QDate(kYear, 6, 11) && hour < 12) ||
                             (index % 50 == 0 && day == QDate(kYear, 5, 31) && hour == 23);
            if (!gap) {
                const int flags = unit(draw) < 0.03 ? 1 + static_cast<int>(draw() % 15) : 0;
                inserter.Add(akHour, seq[akHour]++,
                             Archive(day, hour, vPlus, vMinus, minutes, flags));
            }
        }
        inserter.Add(akDay, seq[akDay]++, Archive(day, 0, vPlus, vMinus, minutes, 0));
        if (day.addDays(1).day() == 1) {
            inserter.Add(akMonth, seq[akMonth]++, Archive(day, 0, vPlus, vMinus, minutes, 0));
        }
        for (int e = 0; e < 2; ++e) {
            inserter.Add(akJournal, seq[akJournal]++,
                         Event(day, e * 43200 + static_cast<int>(draw() % 43200), 1 + e));
        }
    }
    return inserter.Flush();
}

// What the plan of the hourly statement says (SQLite).
std::string HourlyPlan(FleetDatabase& db) {
    if (db.IsPostgres()) {
        // EXPLAIN cannot be prepared: run as it stands.
        QSqlQuery q(db.Db());
        q.exec(
            QStringLiteral("EXPLAIN SELECT CAST(stamp AS TEXT), v_plus, v_minus, flags FROM "
                           "records WHERE meter_id = 1 AND kind = 0 AND stamp >= "
                           "'2025-05-31 23:00' AND stamp <= '2025-06-30 23:00' ORDER BY "
                           "stamp, seq"));
        std::string plan;
        while (q.next()) {
            plan += (plan.empty() ? "" : "; ") + q.value(0).toString().trimmed().toStdString();
        }
        return plan;
    }
    FleetQuery q(db, QStringLiteral("EXPLAIN QUERY PLAN SELECT CAST(stamp AS TEXT), v_plus, "
                                    "v_minus, flags FROM records WHERE meter_id = ? AND kind = ? "
                                    "AND stamp >= ? AND stamp <= ? ORDER BY stamp, seq"));
    q.Run({1, 0, QStringLiteral("2025-05-31 23:00:00.000"),
           QStringLiteral("2025-06-30 23:00:00.000")});
    std::string plan;
    while (q.Next()) {
        plan += (plan.empty() ? "" : "; ") + q.Value(3).toString().toStdString();
    }
    return plan;
}

void Summarize(const char* what, const ConsumptionReport& report, double seconds) {
    int withheld = 0;
    int remarked = 0;
    long hoursWithout = 0;
    for (const MeterConsumption& m : report.meters) {
        withheld += m.vPlus ? 0 : 1;
        remarked += m.remark.empty() ? 0 : 1;
        hoursWithout += m.hoursWithout;
    }
    std::printf(
        "report, %s: %zu meters in %.2f s (%.2f ms a meter); %d with a remark, "
        "%d without a consumption, %ld hours without a record\n",
        what, report.meters.size(), seconds, 1000 * seconds / report.meters.size(), remarked,
        withheld, hoursWithout);
}

double FileMb(const QString& path) {
    return QFileInfo(path).size() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int meters = 1000;
    std::string keep;
    std::string target;  // --db: a PostgreSQL database instead of the SQLite file
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--meters") == 0) {
            meters = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = argv[i + 1];
        } else if (std::strcmp(argv[i], "--db") == 0) {
            target = argv[i + 1];
        }
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    if (!temporary.isValid() || (!keep.empty() && !QDir().mkpath(QString::fromStdString(keep)))) {
        return 2;
    }
    const QString folder = keep.empty() ? temporary.path() : QString::fromStdString(keep);
    const QString path = folder + QStringLiteral("/fleet.sqlite");
    const QString workbook = folder + QStringLiteral("/june.xlsx");
    QFile::remove(path);
    std::printf(
        "zq_report_bench: %d meters, each with every hour of %d, its days and months "
        "and two journal events a day\n",
        meters, kYear);
    auto db = FleetDatabase::Open(target.empty() ? path.toStdString() : target);
    {
        const auto start = Clock::now();
        size_t records = 0;
        FleetDatabase::Transaction transaction(*db);
        MeterRegister reg(*db);
        HistoryStore store(*db);
        const int64_t round = store.BeginRound("zq_report_bench", SqlNow());
        for (int i = 0; i < meters; ++i) {
            Meter meter;
            char name[32];
            std::snprintf(name, sizeof name, "Прибор %04d", i + 1);
            meter.name = name;
            meter.group = i % 2 ? "Север" : "Юг";
            meter.connection.ComPortName = "COM3";
            meter.connection.NetAddress = 1;
            const int64_t id = reg.Add(meter);
            reg.SetSerial(id, 100000 + static_cast<uint32_t>(i));
            const int64_t read = store.BeginRead(id, round, SqlNow());
            records += StoreYear(*db, id, i);
            HistoryStore::ReadOutcome outcome;
            outcome.end = SqlNow();
            outcome.success = i % 37 != 5;
            outcome.text = outcome.success ? "Чтение параметров выполнено" : "Нет ответа";
            store.EndRead(read, outcome);
            if ((i + 1) % 100 == 0) {
                std::fprintf(stderr, "  %d meters stored\n", i + 1);
            }
        }
        store.EndRound(round, SqlNow());
        transaction.Commit();
        std::printf("database: %zu records stored in %.1f s (%.0f a second)\n", records,
                    Since(start), records / Since(start));
    }
    std::printf("the hourly statement: %s\n", HourlyPlan(*db).c_str());

    auto start = Clock::now();
    const ConsumptionReport june = MakeConsumptionReport(*db, kMonthFrom, kMonthTo, std::nullopt);
    const double juneS = Since(start);
    Summarize("June", june, juneS);
    std::printf("    target %.0f s: %s\n", kTargetS, juneS <= kTargetS ? "met" : "NOT met");

    start = Clock::now();
    WriteReportWorkbook(june, workbook.toStdString());
    std::printf("workbook: %zu sheets with a chart each and the summary, %.1f MB, in %.2f s\n",
                june.meters.size(), FileMb(workbook), Since(start));

    start = Clock::now();
    const ConsumptionReport year = MakeConsumptionReport(*db, kFirstDay, kLastDay, std::nullopt);
    Summarize("the whole year", year, Since(start));
    if (db->IsPostgres()) {
        const double mb =
            FleetScalar(*db, QStringLiteral("SELECT pg_database_size(current_database())"))
                .toDouble() /
            1e6;
        std::printf("database %s: %.0f MB, %.2f MB a meter-year\n", db->Name().c_str(), mb,
                    mb / meters);
        return juneS <= kTargetS ? 0 : 1;
    }
    db.reset();  // the write-ahead log goes into the file
    std::printf("database file: %.0f MB, %.2f MB a meter-year\n", FileMb(path),
                FileMb(path) / meters);
    return juneS <= kTargetS ? 0 : 1;
}
