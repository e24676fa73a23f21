#pragma once

#include <cstddef>
#include <string>
#include <vector>

// CSV as RFC 4180 has it, for the register's table: fields separated by
// commas, quoted when they hold a comma, a quote or a line end, a quote
// inside doubled; lines end with CRLF (LF alone is read as well).

// One line, CRLF at its end.
std::string CsvLine(const std::vector<std::string>& fields);

struct CsvRow {
    size_t line = 0;  // the line of the text it starts on, from 1
    std::vector<std::string> fields;
};

// The rows of `text` (a UTF-8 byte-order mark in front skipped, empty lines
// left out). False with a text for the user (Russian) and its line in
// `errorLine` for a quote left open or text after a closing quote.
bool ParseCsv(const std::string& text, std::vector<CsvRow>& rows, std::string& error,
              size_t& errorLine);
