#pragma once

#include "ExcelWorkbook.h"
#include "ZQValve.h"

#include <cstddef>
#include <cstdint>
#include <string>

// zq_export_bench: the export of a full document (each of the four lists
// at its file limit) through FillExportWorkbook and WriteWorkbook, against
// python3-xlsxwriter writing the same cells with the same formats.

// A document with `records` records in each list: dates walking forward
// hour by hour (day by day, month by month), volumes and times growing,
// every flag pattern, every journal value type; one record in 997 of each
// archive has an invalid date and one journal record in 1000 is a skipped
// page, as a damaged file could hold. The same seed gives the same document.
ZQValve BenchDocument(size_t records, uint32_t seed);

// Writes every cell that WriteXlsx writes (value or merged format), the
// formats and the column widths as JSON for bench/export_bench.py. Returns
// the number of cells. Raises std::runtime_error when the file cannot be written.
size_t DumpCellsForPython(const ExcelWorkbook& book, const std::string& path);
