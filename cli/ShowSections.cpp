#include "ShowSections.h"

#include "ArchiveDecodeStruct.h"
#include "JournalDecodeStruct.h"
#include "ParamsTexts.h"
#include "RecordTexts.h"

#include <ostream>

namespace {

using namespace ZQ_namespace;

TextTable ParamsTable(const std::vector<std::pair<std::string, std::string>>& rows) {
    TextTable table;
    table.columns = {"Параметр", "Значение"};
    for (const auto& [name, text] : rows) {
        table.rows.push_back({name, text});
    }
    return table;
}

TextTable ArchiveTable(const std::vector<ArchiveStruct>& list, ArchiveKind kind) {
    TextTable table;
    table.columns.assign(std::begin(kArchiveColumnNames), std::end(kArchiveColumnNames));
    ArchiveDecodeStruct decoded;
    for (const ArchiveStruct& record : list) {
        if (decoded.Decode(record, kind)) {
            table.rows.push_back({decoded.dateText, decoded.vPlusText, decoded.vMinusText,
                                  decoded.workText, decoded.flagsText});
        }
    }
    return table;
}

TextTable JournalTable(const std::vector<JournalStruct>& list) {
    TextTable table;
    table.columns.assign(std::begin(kJournalColumnNames), std::end(kJournalColumnNames));
    JournalDecodeStruct decoded;
    for (const JournalStruct& record : list) {
        if (decoded.Decode(record)) {
            table.rows.push_back(
                {decoded.dateTimeText, decoded.paramText, decoded.oldText, decoded.newText});
        }
    }
    return table;
}

}  // namespace

std::vector<ShowSection> BuildShowSections(const ZQValve& valve) {
    return {
        {"current", "Текущие параметры", ParamsTable(CurrentParamsRows(valve.Current))},
        {"setup", "Настроечные параметры",
         ParamsTable(SetupParamsRows(SetupPageValues(valve.Setup)))},
        {"hour", "Часовой архив", ArchiveTable(valve.HourArchive, akHour)},
        {"day", "Суточный архив", ArchiveTable(valve.DayArchive, akDay)},
        {"month", "Месячный архив", ArchiveTable(valve.MonthArchive, akMonth)},
        {"journal", "Журнал", JournalTable(valve.Journal)},
    };
}

void PrintShowSections(std::ostream& out, const std::vector<ShowSection>& sections,
                       const std::string& only, bool csv) {
    bool first = true;
    for (const ShowSection& section : sections) {
        if (!only.empty() && section.key != only) {
            continue;
        }
        if (only.empty()) {
            if (!first) {
                out << (csv ? "\r\n" : "\n");
            }
            out << section.caption << (csv ? "\r\n" : "\n");
        }
        first = false;
        if (csv) {
            PrintCsv(out, section.table);
        } else {
            PrintAligned(out, section.table);
        }
    }
}
