#pragma once

#include "ExcelWorkbook.h"

#include <string>

// Writes `book` as an .xlsx file `file` (created or truncated) with
// libxlsxwriter. Each cell gets the one format merged from every block
// format covering it; each column's width is written once; a number that
// is NaN or infinite becomes an empty cell; a text that is not valid UTF-8
// has its bad bytes replaced. Raises EOSError ("<path>: <reason>"), `path`
// being the name the caller gives the file in the end.
void WriteXlsx(const ExcelWorkbook& book, const std::string& file, const std::string& path);
