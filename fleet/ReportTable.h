#pragma once

#include "ConsumptionReport.h"

#include <string>
#include <vector>

// The consumption report's summary as a table, one row per meter: the same
// columns in the workbook's summary sheet and in the CSV of zqcli.

// One cell, typed so that a workbook keeps numbers and times as such.
struct ReportCell {
    enum class Kind { Empty, Text, Volume, Count, Time };
    Kind kind = Kind::Empty;
    std::string text;   // Text
    double number = 0;  // Volume: m3; Count; Time: a TDateTime as the report holds it
};

// The columns' captions (Russian).
const std::vector<std::string>& ReportColumns();
// A meter's row: as many cells as there are columns.
std::vector<ReportCell> ReportRow(const MeterConsumption& meter);
// "Расход по приборам за 01.06.2024 – 30.06.2024, группа «Север»".
std::string ReportTitle(const ConsumptionReport& report);

// The summary as CSV (RFC 4180, UTF-8, CRLF): the header line, then a line
// per meter; volumes with a decimal point and three decimals, times as
// "YYYY-MM-DD HH:MM", an empty field where a cell is empty.
std::string ReportCsv(const ConsumptionReport& report);
