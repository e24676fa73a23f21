#include "ExportWorkbook.h"

#include "ArchiveDecodeStruct.h"
#include "JournalDecodeStruct.h"
#include "RecordTexts.h"
#include "TExcelExport.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cmath>

using namespace ZQ_namespace;

namespace {

// Excel's constants as the export hands them over.
constexpr int32_t kUnderlineNone = -4142;
constexpr int32_t kAlignLeft = 2;
constexpr int32_t kAlignCenter = 3;
constexpr int32_t kAlignJustify = 4;  // vertical
constexpr const char kTextFormat[] = "@";

// Rows of the block written on each parameter sheet.
constexpr int kParamsBlockRows = 240;

void Pump(const std::function<void()>& pumpOneMessage) {
    if (pumpOneMessage) {
        pumpOneMessage();
    }
}

void FormatHeader(TExcelExport& excel) {
    excel.SetFontStyle(true, false, kUnderlineNone);
    excel.SetAlignment(kAlignCenter, kAlignJustify);
}

// Rows of a list sheet's data block: one per record and an empty last one.
// A list too long for a sheet makes the selection fail, which ends the export.
int BlockRows(size_t records) {
    return static_cast<int>(std::min<size_t>(records + 1, INT_MAX));
}

void FillParamsSheet(TExcelExport& excel, ExcelVariant block) {
    excel.SelectRange(1, 1, 1, 2);
    FormatHeader(excel);
    excel.SetColumnWidth(40);
    excel.SelectCell(1, 1);
    excel.SetValue("Параметр", vmRight);
    excel.SetValue("Значение", vmNextRow);
    excel.SelectRange(1, 1, kParamsBlockRows, 2);
    excel.SetNumberFormat(kTextFormat);
    excel.SelectCell(2, 1);
    excel.SetValue(std::move(block), vmStay);
    excel.SetAlignment(kAlignLeft, kAlignJustify);
}

ExcelVariant CurrentParamsBlock(const ExportPageState& pages) {
    const CurrentParamsTexts& t = pages.Current;
    uint8_t flags = 0;
    for (int bit = 0; bit < 4; ++bit) {
        if (pages.NSFlags[static_cast<size_t>(bit)]) {
            flags |= static_cast<uint8_t>(1 << bit);
        }
    }
    const std::pair<const char*, ExcelValue> rows[] = {
        {"Расход", ExportTextToNumber(t.G)},
        {"V+", ExportTextToNumber(t.Vd)},
        {"V-", ExportTextToNumber(t.Vr)},
        {"Tраб", t.Twork},  // Latin T, as on the archive pages
        {"Tвкл", t.Ton},
        {"НС", FormatFlagList(flags)},
        {"Заводской номер", t.Serial},
        {"Ду", t.Du},
        {"Вес импульса", t.ImpulseWeight},
        {"Длительность импульса", t.ImpulseLength},
        {"g_пор", t.Gmin},
        {"g_макс", t.Gmax},
        {"Значение тока", ExportTextToNumber(t.CurrentValue)},
    };
    ExcelVariant block = ExcelVariant::Array(1, kParamsBlockRows, 1, 2);
    int row = 1;
    for (const auto& [name, value] : rows) {
        block.At(row, 1) = name;
        block.At(row, 2) = value;
        ++row;
    }
    return block;
}

ExcelVariant SetupParamsBlock(const ExportPageState& pages) {
    ExcelVariant block = ExcelVariant::Array(1, kParamsBlockRows, 1, 2);
    block.At(1, 1) = "Время";
    block.At(1, 2) = FormatDateTime("hh:nn:ss", pages.Time);
    block.At(2, 1) = "Дата";
    block.At(2, 2) = FormatDateTime("dd/mm/yyyy", pages.Date);
    block.At(3, 1) = "Сетевой адрес";
    block.At(3, 2) = pages.NetAddress;
    if (pages.CalibrationVisible) {
        block.At(4, 1) = "Код 20 мА";
        block.At(4, 2) = pages.CalibrationCode;
    }
    return block;
}

void FillArchiveSheet(TExcelExport& excel, const std::vector<ArchiveStruct>& list, ArchiveKind kind,
                      const std::vector<int32_t>& widths,
                      const std::function<void()>& pumpOneMessage) {
    constexpr int kColumns = 5;
    excel.SelectRange(1, 1, 1, kColumns);
    FormatHeader(excel);
    excel.SelectCell(1, 1);
    ExcelVariant header = ExcelVariant::Array(1, 1, 1, kColumns);
    for (int c = 1; c <= kColumns; ++c) {
        header.At(1, c) = kArchiveColumnNames[c - 1];
    }
    excel.SetValue(std::move(header), vmStay);
    for (size_t c = 0; c < widths.size() && c < kColumns; ++c) {
        excel.SelectCell(1, static_cast<int>(c) + 1);
        excel.SetColumnWidth(static_cast<double>(widths[c] / 5));
    }
    const int rows = BlockRows(list.size());
    excel.SelectRange(2, 1, rows, kColumns);
    excel.SetNumberFormat(kTextFormat);
    excel.SelectCell(2, 1);
    ExcelVariant block = ExcelVariant::Array(1, rows, 1, kColumns);
    int row = 1;
    for (const ArchiveStruct& record : list) {
        ArchiveDecodeStruct decoded;
        if (decoded.Decode(record, kind)) {
            block.At(row, 1) = std::move(decoded.dateText);
            block.At(row, 2) = record.VPlus();
            block.At(row, 3) = record.VMinus();
            block.At(row, 4) = std::move(decoded.workText);
            block.At(row, 5) = std::move(decoded.flagsText);
        }
        ++row;
        Pump(pumpOneMessage);
    }
    excel.SetValue(std::move(block), vmStay);
    excel.SetAlignment(kAlignCenter, kAlignJustify);
}

void FillJournalSheet(TExcelExport& excel, const std::vector<JournalStruct>& list,
                      const std::function<void()>& pumpOneMessage) {
    constexpr int kColumns = 4;
    excel.SelectRange(1, 1, 1, kColumns);
    FormatHeader(excel);
    excel.SetColumnWidth(20);
    excel.SelectCell(1, 1);
    excel.SetValue(kJournalColumnNames[0], vmRight);
    excel.SetColumnWidth(40);
    excel.SetValue(kJournalColumnNames[1], vmRight);
    excel.SetValue(kJournalColumnNames[2], vmRight);
    excel.SetValue(kJournalColumnNames[3], vmNextRow);
    const int rows = BlockRows(list.size());
    excel.SelectRange(2, 1, rows, kColumns);
    excel.SetNumberFormat(kTextFormat);
    excel.SelectCell(2, 1);
    ExcelVariant block = ExcelVariant::Array(1, rows, 1, kColumns);
    int row = 1;
    for (const JournalStruct& record : list) {
        // Every record gets its row, skipped and erased pages included.
        JournalDecodeStruct decoded;
        decoded.Decode(record);
        block.At(row, 1) = std::move(decoded.dateTimeText);
        block.At(row, 2) = std::move(decoded.paramText);
        block.At(row, 3) = std::move(decoded.oldText);
        block.At(row, 4) = std::move(decoded.newText);
        ++row;
        Pump(pumpOneMessage);
    }
    excel.SetValue(std::move(block), vmStay);
    excel.SetAlignment(kAlignCenter, kAlignJustify);
}

// Advance widths in em of DejaVu Sans, the usual default sans-serif face.
double CharacterEm(char32_t c) {
    if (c >= '0' && c <= '9') {
        return 0.636;
    }
    switch (c) {
        case ' ':
        case '.':
        case ',':
            return 0.318;
        case ':':
        case '/':
            return 0.337;
        case '-':
            return 0.361;
        case '+':
            return 0.838;
        default:
            break;
    }
    if ((c >= 'A' && c <= 'Z') || (c >= 0x0410 && c <= 0x042F)) {
        return 0.70;  // Latin and Cyrillic capitals
    }
    return 0.60;  // lower case and the rest
}

constexpr double kFontPixels = 12;  // 9 pt at 96 dpi
constexpr int32_t kCellPadding = 12;

}  // namespace

double EstimateTextWidth(const std::string& text) {
    double em = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c >= 0x80) {
            int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            c &= 0x3F >> extra;
            for (; extra > 0 && p < end && (*p & 0xC0) == 0x80; --extra) {
                c = (c << 6) | (*p++ & 0x3F);
            }
        }
        em += CharacterEm(c);
    }
    return em * kFontPixels;
}

std::vector<int32_t> EstimateArchiveColumnWidths(const std::vector<ArchiveStruct>& list,
                                                 ArchiveKind kind) {
    double widest[5];
    for (int c = 0; c < 5; ++c) {
        widest[c] = EstimateTextWidth(kArchiveColumnNames[c]);
    }
    // The page shows only the records that decode, so only they count.
    ArchiveDecodeStruct decoded;
    for (const ArchiveStruct& record : list) {
        if (!decoded.Decode(record, kind)) {
            continue;
        }
        const std::string* texts[5] = {&decoded.dateText, &decoded.vPlusText, &decoded.vMinusText,
                                       &decoded.workText, &decoded.flagsText};
        for (int c = 0; c < 5; ++c) {
            widest[c] = std::max(widest[c], EstimateTextWidth(*texts[c]));
        }
    }
    std::vector<int32_t> widths;
    for (double w : widest) {
        widths.push_back(static_cast<int32_t>(std::ceil(w)) + kCellPadding);
    }
    return widths;
}

double ExportTextToNumber(const std::string& text) {
    std::string number = text;
    std::replace(number.begin(), number.end(), ',', '.');
    // strtod follows LC_NUMERIC, which a program running in a Russian
    // locale has set to a comma: read with the C locale's point instead.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    char* end = nullptr;
    const double value = strtod_l(number.c_str(), &end, cLocale);
    return end == number.c_str() ? 0.0 : value;
}

ExportPageState PageStateFromValve(const ZQValve& valve, bool calibrationVisible) {
    ExportPageState pages;
    pages.Current = FormatCurrentParams(valve.Current);
    for (int bit = 0; bit < 4; ++bit) {
        pages.NSFlags[static_cast<size_t>(bit)] = (valve.Current.NSFlags & (1 << bit)) != 0;
    }
    const SetupParamsStruct setup = SetupPageValues(valve.Setup);
    pages.Time = setup.Time;
    pages.Date = setup.Date;
    pages.NetAddress = setup.NetAddress;
    pages.CalibrationCode = setup.CalibrationCode;
    pages.CalibrationVisible = calibrationVisible;
    pages.ArchiveColumnWidths = {EstimateArchiveColumnWidths(valve.HourArchive, akHour),
                                 EstimateArchiveColumnWidths(valve.DayArchive, akDay),
                                 EstimateArchiveColumnWidths(valve.MonthArchive, akMonth)};
    return pages;
}

bool FillExportWorkbook(TExcelExport& excel, const ExportPageState& pages,
                        const ZQValve& documentValve, const std::function<void()>& pumpOneMessage,
                        std::string* failure) {
    excel.SetFileSerial(pages.Current.Serial);
    try {
        excel.AddWorkbook(6);
        for (int i = 1; i <= 6; ++i) {
            excel.SetSheetName(i, kExportSheetNames[i - 1]);
        }
        const std::vector<ArchiveStruct>* archives[3] = {
            &documentValve.HourArchive, &documentValve.DayArchive, &documentValve.MonthArchive};
        const ArchiveKind kinds[3] = {akHour, akDay, akMonth};
        for (int i = 1; i <= 6; ++i) {
            excel.SelectSheet(i);
            Pump(pumpOneMessage);
            if (i == 1) {
                FillParamsSheet(excel, CurrentParamsBlock(pages));
            } else if (i == 2) {
                FillParamsSheet(excel, SetupParamsBlock(pages));
            } else if (i <= 5) {
                FillArchiveSheet(excel, *archives[i - 3], kinds[i - 3],
                                 pages.ArchiveColumnWidths[static_cast<size_t>(i - 3)],
                                 pumpOneMessage);
            } else {
                FillJournalSheet(excel, documentValve.Journal, pumpOneMessage);
            }
        }
    } catch (const std::exception& e) {
        if (failure) {
            *failure = e.what();
        }
        return false;
    } catch (...) {
        if (failure) {
            *failure = "?";
        }
        return false;
    }
    return true;
}
