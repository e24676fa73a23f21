#include "ReportTable.h"

#include "FleetCsv.h"

#include <cstdio>

namespace {

ReportCell Text(std::string text) {
    return {ReportCell::Kind::Text, std::move(text), 0};
}

ReportCell Number(ReportCell::Kind kind, double value) {
    return {kind, {}, value};
}

ReportCell Volume(const std::optional<double>& value) {
    return value ? Number(ReportCell::Kind::Volume, *value) : ReportCell{};
}

void AddReading(std::vector<ReportCell>& row, const std::optional<MeterReading>& r) {
    row.push_back(r ? Number(ReportCell::Kind::Time, r->time) : ReportCell{});
    row.push_back(r ? Volume(r->vPlus) : ReportCell{});
    row.push_back(r ? Volume(r->vMinus) : ReportCell{});
}

std::string CsvText(const ReportCell& cell) {
    char text[48] = "";
    switch (cell.kind) {
        case ReportCell::Kind::Empty:
            break;
        case ReportCell::Kind::Text:
            return cell.text;
        case ReportCell::Kind::Volume:
            return FormatReportVolume(cell.number);
        case ReportCell::Kind::Count:
            std::snprintf(text, sizeof text, "%.0f", cell.number);
            break;
        case ReportCell::Kind::Time:
            return FormatDateTime("yyyy'-'mm'-'dd hh':'nn", cell.number);
    }
    return text;
}

}  // namespace

const std::vector<std::string>& ReportColumns() {
    static const std::vector<std::string> columns = {
        "Прибор",           "Группа",           "Заводской номер", "Начало",
        "V+ на начало, м³", "V− на начало, м³", "Конец",           "V+ на конец, м³",
        "V− на конец, м³",  "Расход V+, м³",    "Расход V−, м³",   "Часов с записью",
        "Часов без записи", "Часов с НС",       "Событий журнала", "Последний опрос",
        "Итог опроса",      "Примечание"};
    return columns;
}

std::vector<ReportCell> ReportRow(const MeterConsumption& m) {
    std::vector<ReportCell> row = {Text(m.name), Text(m.group)};
    char serial[16] = "";
    if (m.serial) {
        std::snprintf(serial, sizeof serial, "%09u", *m.serial);
    }
    row.push_back(Text(serial));
    AddReading(row, m.start);
    AddReading(row, m.end);
    row.push_back(Volume(m.vPlus));
    row.push_back(Volume(m.vMinus));
    for (int count : {m.hoursWithRecord, m.hoursWithout, m.hoursAbnormal, m.journalEvents}) {
        row.push_back(Number(ReportCell::Kind::Count, count));
    }
    if (m.lastRead) {
        row.push_back(Number(ReportCell::Kind::Time, m.lastRead->end));
        row.push_back(Text(m.lastRead->success ? "успех" : "сбой: " + m.lastRead->text));
    } else {
        row.push_back({});
        row.push_back(Text("не опрашивался"));
    }
    row.push_back(Text(m.remark));
    return row;
}

std::string ReportTitle(const ConsumptionReport& r) {
    std::string title = "Расход по приборам за " + r.from.toString("dd.MM.yyyy").toStdString() +
                        " – " + r.to.toString("dd.MM.yyyy").toStdString();
    if (r.group) {
        title += ", группа «" + *r.group + "»";
    }
    return title;
}

std::string ReportCsv(const ConsumptionReport& report) {
    std::string csv = CsvLine(ReportColumns());
    for (const MeterConsumption& m : report.meters) {
        std::vector<std::string> fields;
        for (const ReportCell& cell : ReportRow(m)) {
            fields.push_back(CsvText(cell));
        }
        csv += CsvLine(fields);
    }
    return csv;
}
