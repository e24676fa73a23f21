// The consumption report's rules on a meter's stored records, on both
// engines: readings at the period's ends or the nearest ones named, the
// consumption only where no counter went back and no hour was written
// twice, gaps and abnormal hours counted, the journal's events of the
// period, the daily table, and the register's meters of a group only.
#include "CaseNames.h"
#include "ConsumptionReport.h"
#include "FleetTestSupport.h"
#include "HistoryStore.h"
#include "MeterRegister.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

ZQ_PRINT_CASES_BY_NAME

using ZQ_namespace::ArchiveStruct;
using ZQ_namespace::JournalStruct;
using Volumes = std::vector<std::optional<double>>;

// The period of every case: 2 and 3 January 2024, 48 hours. Hours count
// from 1 January 00:00; hour 23 ends at the period's start, hour 71 at its end.
const QDate kFrom(2024, 1, 2);
const QDate kTo(2024, 1, 3);

void PutFloat(uint8_t* at, double value) {
    const float f = static_cast<float>(value);
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

ArchiveStruct Record(int day, int hour, double vPlus, double vMinus, uint8_t flags) {
    ArchiveStruct r{};
    r.year = 24;
    r.month = 1;
    r.day = static_cast<uint8_t>(day);
    r.hour = static_cast<uint8_t>(hour);
    PutFloat(r.vPlus, vPlus);
    PutFloat(r.vMinus, vMinus);
    r.flags = flags;
    return r;
}

ArchiveStruct At(int hour, double vPlus, double vMinus = 2, uint8_t flags = 0) {
    return Record(1 + hour / 24, hour % 24, vPlus, vMinus, flags);
}

// Counters growing 1.5 m3 (V+) and 0.25 m3 (V-) an hour from 100 and 2 at
// the period's start: 72 and 12 m3 over the period, 36 and 6 a day.
ArchiveStruct Steady(int hour, uint8_t flags = 0) {
    return At(hour, 100 + (hour - 23) * 1.5, 2 + (hour - 23) * 0.25, flags);
}

// Hours first..last of Steady, oldest first, but those in `left`.
std::vector<ArchiveStruct> Run(int first, int last, std::vector<int> left = {}) {
    std::vector<ArchiveStruct> list;
    for (int h = first; h <= last; ++h) {
        if (std::find(left.begin(), left.end(), h) == left.end()) {
            list.push_back(Steady(h));
        }
    }
    return list;
}

std::vector<ArchiveStruct> Plus(std::vector<ArchiveStruct> list,
                                std::initializer_list<ArchiveStruct> more) {
    list.insert(list.end(), more);
    return list;
}

JournalStruct EventAt(int day, int hour, int minute, int second) {
    JournalStruct r{};
    r.year = 24;
    r.month = 1;
    r.day = static_cast<uint8_t>(day);
    r.hour = static_cast<uint8_t>(hour);
    r.minute = static_cast<uint8_t>(minute);
    r.second = static_cast<uint8_t>(second);
    r.code[0] = static_cast<uint8_t>(minute + second + 1);
    return r;
}

// "02.01.2024 00:00 100.000 2.000", " сут" after a daily record's; "" none.
std::string Describe(const std::optional<MeterReading>& r) {
    if (!r) {
        return "";
    }
    char values[64];
    std::snprintf(values, sizeof values, " %.3f %.3f", r->vPlus, r->vMinus);
    return FormatReportTime(r->time) + values + (r->fromDaily ? " сут" : "");
}

struct ReportCase {
    const char* name;
    std::vector<ArchiveStruct> hourly;  // oldest first, as the device wrote them
    std::vector<ArchiveStruct> daily;
    std::vector<JournalStruct> journal;
    const char* start;
    const char* end;
    std::optional<double> vPlus;
    std::optional<double> vMinus;
    int withRecord, without, abnormal, events;
    const char* remark;
    Volumes daysVPlus;
};

const ReportCase kCases[] = {
    {"ExactReadings",
     Run(20, 75),
     {},
     {},
     "02.01.2024 00:00 100.000 2.000",
     "04.01.2024 00:00 172.000 14.000",
     72,
     12,
     48,
     0,
     0,
     0,
     "",
     {36, 36}},
    {"MissingStartTakesTheFirstOfThePeriod",
     Run(26, 71),
     {},
     {},
     "02.01.2024 03:00 104.500 2.750",
     "04.01.2024 00:00 172.000 14.000",
     67.5,
     11.25,
     46,
     2,
     0,
     0,
     "нет показания на начало периода, взято ближайшее: 02.01.2024 03:00",
     {std::nullopt, 36}},
    {"MissingEndTakesTheLastOfThePeriod",
     Run(23, 60),
     {},
     {},
     "02.01.2024 00:00 100.000 2.000",
     "03.01.2024 13:00 155.500 11.250",
     55.5,
     9.25,
     37,
     11,
     0,
     0,
     "нет показания на конец периода, взято ближайшее: 03.01.2024 13:00",
     {36, std::nullopt}},
    // The counters run on through a gap: the period's figure stands, the
    // days whose ends fall into the gap have none.
    {"GapCountedNotBridged",
     Run(23, 71, {40, 41, 42, 43, 44, 45, 46, 47, 48, 49}),
     {},
     {},
     "02.01.2024 00:00 100.000 2.000",
     "04.01.2024 00:00 172.000 14.000",
     72,
     12,
     38,
     10,
     0,
     0,
     "",
     {std::nullopt, std::nullopt}},
    {"DailyRecordStandsInForAMissingHour",
     Run(24, 71),
     {Record(1, 0, 100, 2, 0)},
     {},
     "02.01.2024 00:00 100.000 2.000 сут",
     "04.01.2024 00:00 172.000 14.000",
     72,
     12,
     48,
     0,
     0,
     0,
     "начало по суточному архиву",
     {36, 36}},
    // The archive cleared at hour 50: the counters start again from zero.
    {"CounterWentBack",
     Plus(Run(23, 49), {At(50, 3, 0), At(51, 4.5, 0), At(71, 34.5, 0)}),
     {},
     {},
     "02.01.2024 00:00 100.000 2.000",
     "04.01.2024 00:00 34.500 0.000",
     std::nullopt,
     std::nullopt,
     29,
     19,
     0,
     0,
     "V+ уменьшился с 139.000 до 3.000 к 03.01.2024 03:00 (сброс архива, перевод часов назад или "
     "замена прибора): расход не определён",
     {36, std::nullopt}},
    // The clock set back over hour 40: written twice, the counters still
    // growing; no moment of that day is certain.
    {"HourWrittenTwice",
     Plus(Run(23, 71), {At(40, 126, 6.3)}),
     {},
     {},
     "02.01.2024 00:00 100.000 2.000",
     "04.01.2024 00:00 172.000 14.000",
     std::nullopt,
     std::nullopt,
     48,
     0,
     0,
     0,
     "показание на 02.01.2024 17:00 записано повторно (часы прибора переводились назад): "
     "расход не определён",
     {std::nullopt, 36}},
    {"NoRecords",
     {},
     {},
     {},
     "",
     "",
     std::nullopt,
     std::nullopt,
     0,
     48,
     0,
     0,
     "нет записей за период",
     {std::nullopt, std::nullopt}},
    {"OneRecordOnly",
     {Steady(30)},
     {},
     {},
     "02.01.2024 07:00 110.500 3.750",
     "02.01.2024 07:00 110.500 3.750",
     std::nullopt,
     std::nullopt,
     1,
     47,
     0,
     0,
     "нет показания на начало периода, взято ближайшее: 02.01.2024 07:00; нет показания на конец "
     "периода, взято ближайшее: 02.01.2024 07:00; за период одно показание: расход не определён",
     {std::nullopt, std::nullopt}},
    // Flags of hours 23 and 72 lie outside the period (1 and 4 January);
    // so do the events at 23:59:59 before it and at 00:00:00 after it.
    {"AbnormalHoursAndEventsOfThePeriodCounted",
     Plus(Run(24, 71, {30, 50}), {Steady(23, 1), Steady(30, 4), Steady(50, 9), Steady(72, 2)}),
     {},
     {EventAt(1, 23, 59, 59), EventAt(2, 0, 0, 0), EventAt(3, 12, 30, 0), EventAt(3, 23, 59, 59),
      EventAt(4, 0, 0, 0)},
     "02.01.2024 00:00 100.000 2.000",
     "04.01.2024 00:00 172.000 14.000",
     72,
     12,
     48,
     0,
     2,
     3,
     "",
     {36, 36}},
};

using ConsumptionReportTest = FleetTest;

TEST_P(ConsumptionReportTest, RulesOfAMetersFigures) {
    auto db = Open();
    HistoryStore store(*db);
    MeterRegister meters(*db);
    for (const ReportCase& c : kCases) {
        ZQValve stored;
        stored.HourArchive.assign(c.hourly.rbegin(), c.hourly.rend());  // newest first
        stored.DayArchive.assign(c.daily.rbegin(), c.daily.rend());
        stored.Journal.assign(c.journal.rbegin(), c.journal.rend());
        store.AddNewest(meters.Add(PortMeter(c.name)), stored, 0);
    }
    const ConsumptionReport report = MakeConsumptionReport(*db, kFrom, kTo, std::nullopt);
    ASSERT_EQ(report.meters.size(), std::size(kCases));
    for (const ReportCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto m = std::find_if(report.meters.begin(), report.meters.end(),
                                    [&](const MeterConsumption& m) { return m.name == c.name; });
        ASSERT_NE(m, report.meters.end());
        EXPECT_EQ(Describe(m->start), c.start);
        EXPECT_EQ(Describe(m->end), c.end);
        EXPECT_EQ(m->vPlus, c.vPlus);
        EXPECT_EQ(m->vMinus, c.vMinus);
        EXPECT_EQ(m->hoursWithRecord, c.withRecord);
        EXPECT_EQ(m->hoursWithout, c.without);
        EXPECT_EQ(m->hoursAbnormal, c.abnormal);
        EXPECT_EQ(m->journalEvents, c.events);
        EXPECT_EQ(m->remark, c.remark);
        Volumes days;
        for (const DayConsumption& d : m->days) {
            days.push_back(d.vPlus);
        }
        EXPECT_EQ(days, c.daysVPlus);
        ASSERT_EQ(m->days.size(), 2u);
        EXPECT_EQ(m->days[0].date, kFrom);
        EXPECT_EQ(m->days[0].hoursWithRecord + m->days[1].hoursWithRecord, c.withRecord);
    }
}

TEST_P(ConsumptionReportTest, MetersOfTheRegisterOfTheGroupByName) {
    auto db = Open();
    MeterRegister meters(*db);
    for (const auto& [name, group] : {std::pair{"Школа", "Север"}, std::pair{"Баня", "Юг"},
                                      std::pair{"Аптека", "Север"}, std::pair{"Вокзал", "Север"}}) {
        Meter m = PortMeter(name);
        m.group = group;
        meters.Add(m);
    }
    meters.Remove("Вокзал", false);
    auto names = [&](const std::optional<std::string>& group) {
        std::vector<std::string> out;
        for (const MeterConsumption& m : MakeConsumptionReport(*db, kFrom, kTo, group).meters) {
            out.push_back(m.name + "/" + m.group);
        }
        return out;
    };
    EXPECT_EQ(names("Север"), (std::vector<std::string>{"Аптека/Север", "Школа/Север"}));
    EXPECT_EQ(names(std::nullopt),
              (std::vector<std::string>{"Аптека/Север", "Баня/Юг", "Школа/Север"}));
    EXPECT_TRUE(names("Запад").empty());
}

ZQ_FLEET_ENGINES(ConsumptionReportTest);

}  // namespace
