#include "FleetCsv.h"

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string& f = fields[i];
        if (i > 0) {
            line += ',';
        }
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            line += c;
            if (c == '"') {
                line += '"';
            }
        }
        line += '"';
    }
    return line + "\r\n";
}

bool ParseCsv(const std::string& text, std::vector<CsvRow>& rows, std::string& error,
              size_t& errorLine) {
    size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    size_t line = 1;
    while (i < text.size()) {
        CsvRow row;
        row.line = line;
        std::string field;
        bool rowEnded = false;
        while (!rowEnded) {
            field.clear();
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        error = "кавычка не закрыта";
                        errorLine = row.line;
                        return false;
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    line += c == '\n';
                    field += c;
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    error = "после закрывающей кавычки идёт текст";
                    errorLine = line;
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    field += text[i++];
                }
            }
            row.fields.push_back(field);
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            // The line's end: CRLF, LF, a lone CR, or the text's end.
            if (i < text.size() && text[i] == '\r') {
                ++i;
            }
            if (i < text.size() && text[i] == '\n') {
                ++i;
            }
            ++line;
            rowEnded = true;
        }
        const bool empty = row.fields.size() == 1 && row.fields[0].empty();
        if (!empty) {
            rows.push_back(std::move(row));
        }
    }
    return true;
}
