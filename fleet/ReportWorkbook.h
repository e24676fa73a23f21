#pragma once

#include "ConsumptionReport.h"

#include <string>

// Writes `report` as an .xlsx workbook at `path` (replacing a file there):
// the sheet "Сводка" (a title line with the period and the group, the
// header, one row per meter with the columns of ReportTable.h, times and
// volumes as numbers with their formats), then a sheet per meter with its
// daily table (date, V+, V-, hours with a record; a day without a sound
// figure is an empty cell, never 0) and a column chart of its daily V+.
// A meter's sheet is named after it as a sheet name may be: at most 31
// characters, none of []:*?/\, no apostrophe at either end, and unique
// regardless of letter case ("Имя (2)" for the second of a name).
//
// The workbook is written to a temporary file beside `path` and renamed, so
// a failure never leaves a cut file. Raises EOSError ("<path>: <reason>").
void WriteReportWorkbook(const ConsumptionReport& report, const std::string& path);
