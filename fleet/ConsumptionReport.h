#pragma once

#include "DateTime.h"
#include "FleetDatabase.h"
#include "HistoryStore.h"

#include <QDate>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The fleet's consumption report for billing: per meter of the register the
// counters at the start and the end of a period, the consumption between
// them, and every gap and doubt in plain sight. Plain data; the window, the
// workbook (ReportWorkbook.h) and zqcli fleet report show it.
//
// The period is whole days `from`..`to`, both included, in the device's own
// time (the records' time stamps; the device has no daylight saving time,
// so a period has 24 x days hours). An hourly record holds the counters at
// the END of its hour: record hour 23 of 31 May is the reading at 1 June
// 00:00. Every time below is such a moment of the counters, never the hour
// a record began.
//
// The rules:
// - Start reading: the counters at `from` 00:00, i.e. the hourly record of
//   hour 23 of the day before; end reading: at `to` + 1 day 00:00, the record
//   of hour 23 of `to`. Where that hourly record is missing, the daily
//   record of that day (the counters at its end, the same moment) stands in
//   ("по суточному архиву" in the remark). Where both are missing, the
//   nearest hourly record inside the period does: the first one for the
//   start, the last one for the end, its moment shown and the remark saying
//   so. The consumption then covers only the time between the two moments.
// - Consumption V+ and V- = end - start, each reading rounded to 0.001 m3
//   first (to the figure the window shows for the counter), so that the
//   figures add up as printed. It is given only when the records from the start reading to
//   the end reading, in time order, never show a counter going back (a
//   cleared archive, a clock set back, another device), every counter is a
//   number, and no hour of the period was written twice (the device's clock
//   set back): otherwise neither V+ nor V- is given and the remark names
//   where it happened. Never negative, never bridged: hours without a record
//   between two readings do not withhold the figure (the counters run on
//   through them), they are counted in hoursWithout.
// - Hours: 24 x days; with an hourly record, without one, and with an
//   abnormal situation (flags bits 0..3 nonzero in a record of that hour).
// - Journal events: those whose time stamp lies in the period.
// - Daily table: per day of the period the consumption from its start
//   reading to its end reading by the same rules, but exact readings only
//   (the day's hourly record of hour 23 of the day before and of the day,
//   or the daily records): a day without both has no figure.
// - Meters of the register only (removed ones not), by name; with a group,
//   that group's only.
struct MeterReading {
    TDateTime time = 0;      // the moment of the counters, device time
    double vPlus = 0;        // V+, m3, rounded to 0.001
    double vMinus = 0;       // V-, m3, rounded to 0.001
    bool fromDaily = false;  // taken from the daily archive
};

struct DayConsumption {
    QDate date;
    std::optional<double> vPlus;  // m3; none when it cannot be given soundly
    std::optional<double> vMinus;
    int hoursWithRecord = 0;  // of the day's 24
};

struct MeterConsumption {
    std::string name;
    std::string group;
    std::optional<uint32_t> serial;
    std::optional<MeterReading> start;  // none: no record to take it from
    std::optional<MeterReading> end;
    std::optional<double> vPlus;  // m3; none when it cannot be given soundly
    std::optional<double> vMinus;
    int hoursWithRecord = 0;
    int hoursWithout = 0;
    int hoursAbnormal = 0;
    int journalEvents = 0;
    std::optional<HistoryStore::LastRead> lastRead;
    // What made a reading or a figure missing or uncertain, in Russian,
    // clauses separated by "; "; empty when everything is exact.
    std::string remark;
    std::vector<DayConsumption> days;  // from .. to, one per day
};

struct ConsumptionReport {
    QDate from;
    QDate to;
    std::optional<std::string> group;
    TDateTime madeAt = 0;  // the computer's local time
    std::vector<MeterConsumption> meters;
};

// The report of the meters of the register (of `group` only, when given)
// for `from`..`to` (from <= to, else Exception). A few statements per meter,
// each a range of one index. Failures of the database raise Exception.
ConsumptionReport MakeConsumptionReport(FleetDatabase& database, QDate from, QDate to,
                                        const std::optional<std::string>& group);

// The remark's and the workbook's way of writing a moment: "01.06.2024 00:00".
std::string FormatReportTime(TDateTime time);
// A volume as the report writes it: three decimals, a decimal point
// whatever the locale ("1234.568"), rounded as the window rounds a counter.
std::string FormatReportVolume(double m3);
