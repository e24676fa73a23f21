#include "ConsumptionReport.h"

#include "ArchiveStruct.h"
#include "ConsumptionRules.h"
#include "Exception.h"
#include "FleetQuery.h"
#include "MeterRegister.h"

#include <cstdio>

using namespace ZQ_namespace;

namespace {

// "YYYY-MM-DD HH:..." as the moment that hour ends (ConsumptionRules.h);
// false for anything else.
bool HourEnd(const QString& text, int64_t& moment) {
    if (text.size() < 13) {
        return false;
    }
    bool ok[4] = {};
    const int year = text.mid(0, 4).toInt(&ok[0]);
    const int month = text.mid(5, 2).toInt(&ok[1]);
    const int day = text.mid(8, 2).toInt(&ok[2]);
    const int hour = text.mid(11, 2).toInt(&ok[3]);
    const QDate date(year, month, day);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !date.isValid() || hour < 0 || hour > 23) {
        return false;
    }
    moment = date.toJulianDay() * 24 + hour + 1;
    return true;
}

// A bound time value as both engines compare it with their time columns.
QString Stamp(QDate day, int hour) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:00:00.000", day.year(), day.month(),
                  day.day(), hour);
    return QString::fromLatin1(text);
}

// A counter as stored; NaN for null (bytes that are no number).
double Counter(const QVariant& value) {
    return value.isNull() ? kNotANumber : value.toDouble();
}

// The statements of one report, prepared once and run for every meter.
class MeterQueries {
public:
    MeterQueries(FleetDatabase& database, QDate from, QDate to)
        : hourly(database,
                 QStringLiteral("SELECT CAST(stamp AS TEXT), v_plus, v_minus, flags FROM records "
                                "WHERE meter_id = ? AND kind = ? AND stamp >= ? AND stamp <= ? "
                                "ORDER BY stamp, seq")),
          daily(database,
                QStringLiteral("SELECT CAST(stamp AS TEXT), v_plus, v_minus FROM records "
                               "WHERE meter_id = ? AND kind = ? AND stamp >= ? AND stamp < ? "
                               "ORDER BY stamp, seq")),
          journal(database,
                  QStringLiteral("SELECT COUNT(*) FROM records "
                                 "WHERE meter_id = ? AND kind = ? AND stamp >= ? AND stamp < ?")),
          // Hour 23 of the day before `from` holds the start reading.
          firstHour(Stamp(from.addDays(-1), 23)),
          lastHour(Stamp(to, 23)),
          firstDay(Stamp(from.addDays(-1), 0)),
          periodStart(Stamp(from, 0)),
          periodEnd(Stamp(to.addDays(1), 0)) {}

    MeterHistory History(int64_t meterId) {
        MeterHistory h;
        hourly.Run({SqlInt(meterId), kHour, firstHour, lastHour});
        while (hourly.Next()) {
            HourRecord r;
            if (HourEnd(hourly.Value(0).toString(), r.moment)) {
                r.vPlus = Counter(hourly.Value(1));
                r.vMinus = Counter(hourly.Value(2));
                r.flags = hourly.Value(3).toInt();
                h.hourly.push_back(r);
            }
        }
        daily.Run({SqlInt(meterId), kDay, firstDay, periodEnd});
        while (daily.Next()) {
            int64_t moment = 0;
            if (HourEnd(daily.Value(0).toString(), moment)) {
                // A daily record holds the counters at the end of its day.
                HourRecord r;
                r.moment = (moment - 1) / 24 * 24 + 24;
                r.vPlus = Counter(daily.Value(1));
                r.vMinus = Counter(daily.Value(2));
                h.daily.push_back(r);
            }
        }
        journal.Run({SqlInt(meterId), kJournal, periodStart, periodEnd});
        h.journalEvents = journal.Next() ? journal.Value(0).toInt() : 0;
        return h;
    }

private:
    static constexpr int kHour = akHour;
    static constexpr int kDay = akDay;
    static constexpr int kJournal = akJournal;
    FleetQuery hourly;
    FleetQuery daily;
    FleetQuery journal;
    const QString firstHour, lastHour, firstDay, periodStart, periodEnd;
};

}  // namespace

ConsumptionReport MakeConsumptionReport(FleetDatabase& database, QDate from, QDate to,
                                        const std::optional<std::string>& group) {
    if (!from.isValid() || !to.isValid() || to < from) {
        throw Exception("Отчёт о расходе: период " + from.toString(Qt::ISODate).toStdString() +
                        " – " + to.toString(Qt::ISODate).toStdString() + " не годится");
    }
    ConsumptionReport report;
    report.from = from;
    report.to = to;
    report.group = group;
    report.madeAt = SqlNow();
    MeterQueries queries(database, from, to);
    HistoryStore store(database);
    for (const Meter& meter : MeterRegister(database).List(group)) {
        MeterConsumption m = ComputeConsumption(queries.History(meter.id), from, to);
        m.name = meter.name;
        m.group = meter.group;
        m.serial = meter.serial;
        m.lastRead = store.Last(meter.id);
        report.meters.push_back(std::move(m));
    }
    return report;
}
