#pragma once

#include "ArchiveStruct.h"
#include "DateTime.h"
#include "ParamsTexts.h"
#include "ZQValve.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TExcelExport;

// The workbook "Экспорт в Excel" writes: six sheets, one per page of the
// main window, shared by the window and zqcli.

inline constexpr const char* kExportSheetNames[6] = {
    "Текущие параметры", "Настроечные параметры", "Часовой архив",
    "Суточный архив",    "Месячный архив",        "Журнал  ",  // two spaces
};

// What the pages show at the moment of the export.
struct ExportPageState {
    // Texts of the current-parameters page's fields, as shown (UTF-8).
    CurrentParamsTexts Current;
    // The flag boxes NS_1_0..NS_1_3 (bits 0..3), ticked or not.
    std::array<bool, 4> NSFlags = {false, false, false, false};
    // The setup page: the CurrentTime picker (time of day), the CurrentDate
    // picker, the NetAddress and CalibrationCode spin edits, and whether the
    // current-output group GroupBox3 is visible.
    TDateTime Time = 0;
    TDateTime Date = 0;
    int32_t NetAddress = 0;
    int32_t CalibrationCode = 0;
    bool CalibrationVisible = false;
    // GetColumnWidths of the hourly, daily and monthly archive pages, pixels.
    std::array<std::vector<int32_t>, 3> ArchiveColumnWidths;
};

// Fills the workbook of an export into `excel`, whose server the caller has
// started: AddWorkbook(6), the sheet names, then each sheet in turn.
// `pumpOneMessage` (may be empty) is called after each sheet is selected and
// after each archive or journal record. Also sets the file serial of
// `excel` to the page's serial-number text.
//
// An error ends the export silently, the sheets filled so far staying as
// they are: the result is false and `failure`, when given, gets the error's
// message. True when every sheet was filled.
bool FillExportWorkbook(TExcelExport& excel, const ExportPageState& pages,
                        const ZQValve& documentValve, const std::function<void()>& pumpOneMessage,
                        std::string* failure = nullptr);

// The page state a window would show for `valve` after opening it, without
// a window: the page texts of the parameter records (ParamsTexts), the setup
// page's values (SetupPageValues) and the archive column widths of
// EstimateArchiveColumnWidths. `calibrationVisible` stands for
// "EnableCalibration" being non-zero.
ExportPageState PageStateFromValve(const ZQValve& valve, bool calibrationVisible);

// Pixel widths an archive page of `kind` gives its five columns after
// showing `list`: each column fits its header and the widest text of the
// records the page shows (those that decode). An estimate of the page's
// fit-to-contents sizing: per-character advances of the default 9-point
// sans-serif font at 96 dpi (a 12-pixel em, DejaVu Sans proportions) plus
// 12 pixels for the cell's margins and grid line.
std::vector<int32_t> EstimateArchiveColumnWidths(
    const std::vector<ZQ_namespace::ArchiveStruct>& list, ZQ_namespace::ArchiveKind kind);

// The estimated pixel width of one line of UTF-8 text in that font,
// margins not included.
double EstimateTextWidth(const std::string& text);

// A page text as a number: every comma becomes a point, then the longest
// leading part C's strtod reads (in the C locale, whatever the program's
// locale) is the number; 0 when there is none. "nan" and "inf" read as
// themselves (the workbook shows them as empty cells).
double ExportTextToNumber(const std::string& text);
