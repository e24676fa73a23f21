// A written workbook as an independent reader (openpyxl) sees it.
#pragma once

#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <string>

struct XlsxDump {
    QJsonArray sheets;

    int SheetCount() const { return static_cast<int>(sheets.size()); }
    QJsonObject Sheet(int index) const { return sheets.at(index - 1).toObject(); }
    QString Name(int sheet) const { return Sheet(sheet).value("name").toString(); }
    int MaxRow(int sheet) const { return Sheet(sheet).value("max_row").toInt(); }
    // {"v": value, "t": "n" | "s" | "b" | "e", "f": number format, "b": bold,
    //  "h": horizontal, "va": vertical}; an empty object outside the used range.
    QJsonObject Cell(int sheet, const char* reference) const {
        return Sheet(sheet).value("cells").toObject().value(reference).toObject();
    }
    QString Text(int sheet, const char* reference) const {
        return Cell(sheet, reference).value("v").toString();
    }
    QString Type(int sheet, const char* reference) const {
        return Cell(sheet, reference).value("t").toString();
    }
    double Number(int sheet, const char* reference) const {
        return Cell(sheet, reference).value("v").toDouble();
    }
    // The <col> elements: [min, max, width, hidden].
    QJsonArray Columns(int sheet) const { return Sheet(sheet).value("columns").toArray(); }
    // The width the column's one <col> element gives it; nullopt when no
    // element covers it, NaN when more than one does.
    std::optional<double> ColumnWidth(int sheet, int column) const;
};

// Reads `path` with python3 and openpyxl. nullopt with `why` set when the
// reader is not installed (the caller skips); a file the reader cannot load
// fails the calling test.
std::optional<XlsxDump> DumpXlsx(const std::string& path, std::string& why);
