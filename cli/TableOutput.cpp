#include "TableOutput.h"

#include <algorithm>

size_t Utf8Length(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

namespace {

std::vector<std::string> Lines(const std::string& cell) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t nl = cell.find('\n', start);
        lines.push_back(
            cell.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) {
            return lines;
        }
        start = nl + 1;
    }
}

}  // namespace

void PrintAlignedRow(std::ostream& out, const std::vector<std::string>& cells,
                     const std::vector<size_t>& widths) {
    std::vector<std::vector<std::string>> split;
    size_t height = 1;
    for (const std::string& cell : cells) {
        split.push_back(Lines(cell));
        height = std::max(height, split.back().size());
    }
    for (size_t line = 0; line < height; ++line) {
        std::string text;
        for (size_t c = 0; c < widths.size(); ++c) {
            const std::string part =
                c < split.size() && line < split[c].size() ? split[c][line] : "";
            text += part;
            if (c + 1 < widths.size()) {
                const size_t used = Utf8Length(part);
                text.append((widths[c] > used ? widths[c] - used : 0) + 2, ' ');
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out << text << '\n';
    }
}

void PrintAligned(std::ostream& out, const TextTable& table) {
    std::vector<size_t> widths(table.columns.size(), 0);
    auto measure = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
            for (const std::string& line : Lines(cells[c])) {
                widths[c] = std::max(widths[c], Utf8Length(line));
            }
        }
    };
    measure(table.columns);
    for (const auto& row : table.rows) {
        measure(row);
    }
    PrintAlignedRow(out, table.columns, widths);
    for (const auto& row : table.rows) {
        PrintAlignedRow(out, row, widths);
    }
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void PrintCsvRow(std::ostream& out, const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
        if (c > 0) {
            out << ',';
        }
        out << CsvField(cells[c]);
    }
    out << "\r\n";
}

void PrintCsv(std::ostream& out, const TextTable& table) {
    PrintCsvRow(out, table.columns);
    for (const auto& row : table.rows) {
        PrintCsvRow(out, row);
    }
}

void PrintTable(std::ostream& out, const TextTable& table, bool csv) {
    if (csv) {
        PrintCsv(out, table);
    } else {
        PrintAligned(out, table);
    }
    out.flush();
}
