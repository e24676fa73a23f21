#pragma once

#include <ostream>
#include <string>
#include <vector>

// A captioned table of texts, printed either aligned for people or as
// RFC 4180 CSV (UTF-8, CRLF line ends, a header row of the column captions).
struct TextTable {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// Aligned by characters (UTF-8 code points), two spaces between columns. A
// cell holding line feeds continues on the following lines of its column.
void PrintAligned(std::ostream& out, const TextTable& table);

void PrintCsv(std::ostream& out, const TextTable& table);
// As CSV with `csv`, else aligned; then flushed.
void PrintTable(std::ostream& out, const TextTable& table, bool csv);

// One row of either form, for a table printed as its rows become known: the
// aligned row pads each cell to `widths` (a wider cell pushes the next one
// on), the CSV row ends with CRLF.
void PrintAlignedRow(std::ostream& out, const std::vector<std::string>& cells,
                     const std::vector<size_t>& widths);
void PrintCsvRow(std::ostream& out, const std::vector<std::string>& cells);

// One CSV field, quoted when it holds a comma, a quote, CR or LF.
std::string CsvField(const std::string& text);

// Characters of a UTF-8 text.
size_t Utf8Length(const std::string& text);
