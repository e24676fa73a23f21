#pragma once

#include "DateTime.h"
#include "ExcelVariant.h"
#include "ExcelWorkbook.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What SetValue does with the selection after writing.
enum ValueMove : int32_t {
    vmStay = 0,     // unchanged: the written cell or the whole written block
    vmRight = 1,    // the cell in the selection's first row just right of the block
    vmDown = 2,     // the cell in the selection's first column just below the block
    vmNextRow = 3,  // column 1 of the row just below the block
};

// The file SetVisible(true) wrote for a workbook, and whether an application
// could be started on it.
struct ExcelShownFile {
    std::string path;     // empty when nothing was written
    bool opened = false;  // the opener reported success
    std::string error;    // why writing failed (SetVisible then raised its message)
};

// The spreadsheet "server" of this platform: an in-memory workbook with the
// operations, results, selection rules and messages of the Excel automation
// wrapper. Rows and columns are 1-based. Every operation that names a
// message runs inside a guard: any failure there, including one raised by an
// operation it calls, is raised again as Exception carrying exactly that
// message. Checks made before the guard return false (or 0) without error.
// Excel "showing the workbook" is writing it as an .xlsx file into the
// export folder and opening that with the desktop's default application.
//
// GUI thread only (all objects share the process-wide server state).
class TExcelExport {
public:
    TExcelExport();
    // Drops the references; a workbook that was never shown is discarded,
    // one that was shown stays in its file.
    ~TExcelExport();
    TExcelExport(const TExcelExport&) = delete;
    TExcelExport& operator=(const TExcelExport&) = delete;

    // "Ошибка запуска сервера Excel". Sets the process-wide started flag,
    // which stays set for the rest of the run.
    void StartServer();
    // Starts the server unless the flag is set; StartServer's error passes
    // unchanged; "Невозможно открыть Excell" when the flag is still clear.
    void EnsureStarted();
    // "Ошибка свойства Visible". True writes every workbook of this object
    // not yet shown into the export folder under a new name (see
    // ExportFileName) and opens it with the opener; LastShown tells where.
    void SetVisible(bool visible);
    // Count < 1 (nothing started): false. "Ошибка добавления документа".
    // A workbook of `count` sheets (at most 255) named Лист1, Лист2, ...,
    // with sheet 1 and its cell A1 selected.
    bool AddWorkbook(int sheetCount);
    // 0 without a workbook; starts the server first.
    int SheetCount();
    // No workbook, index <= 0 or beyond the sheets: false.
    // "Ошибка установки имени страницы" also for a name Excel refuses
    // (empty, over 31 characters, one of [ ] : * ? / \, an apostrophe at
    // either end, a control character, another sheet's name ignoring case).
    bool SetSheetName(int index, const std::string& name);
    // Index < 1 or beyond the sheets: false, the selection unchanged.
    // "Ошибка выбора страницы". Selects A1 of that sheet.
    bool SelectSheet(int index);
    // No sheet selected: false. "Ошибка выбора ячейки" (also outside the
    // sheet: rows 1..1048576, columns 1..16384).
    bool SelectCell(int row, int column);
    // SelectCell, then ResizeSelection; true when both succeed.
    bool SelectRange(int row, int column, int rows, int columns);
    // No sheet or no selection: false. "Ошибка выбора диапазона ячеек".
    // The block of max(rows, 1) x max(columns, 1) cells from the
    // selection's first cell.
    bool ResizeSelection(int rows, int columns);
    // The selection's first row / column; 0 without a selection.
    // "Ошибка свойства Строка" / "Ошибка свойства Столбец".
    int SelectionRow();
    int SelectionColumn();
    // Nothing happens without a selection. "Ошибка установки значения ячейки".
    // A single value fills every cell of the selection; a two-dimensional
    // array is written from the selection's first cell, its first dimension
    // down the rows, and becomes the selection; a one-dimensional array is
    // written down one column; an array of more dimensions writes nothing.
    // Then `move` (for a one-dimensional array the next row is the one below
    // it and the next column the one right of its first cell). An empty text
    // leaves an empty cell, as in Excel. Texts over 32767 characters fail.
    void SetValue(ExcelVariant value, ValueMove move);
    // No selection: false. "Ошибка установки формата ячеек". Excel's number
    // format code ("@" text, "0.00", ...); an empty code means "General".
    bool SetNumberFormat(const std::string& format);
    // No selection: false. "Ошибка установки ширины столбцов". Every column
    // the selection spans gets the width (characters of the default font);
    // widths above Excel's 255 are taken as 255; a negative or NaN width fails.
    bool SetColumnWidth(double width);
    // No selection: false. "Ошибка установки выравнивания текста в ячейках".
    // Excel's numbers: horizontal 1 general, 2 left, 3 centre, 4 right,
    // 5 fill, 6 justify, 7 centre across selection, or the constants
    // -4131 left, -4108 centre, -4152 right, -4130 justify, -4117
    // distributed; vertical 1 top, 2 centre, 3 bottom, 4 justify,
    // 5 distributed, or -4160 top, -4108 centre, -4107 bottom, -4130
    // justify, -4117 distributed. Any other number fails.
    bool SetAlignment(int32_t horizontal, int32_t vertical);
    // No selection: false. "Ошибка установки аттрибутов шрифта ячеек".
    // Underline: -4142 none, 2 single, -4119 double, 4 single accounting,
    // 5 double accounting; any other number fails.
    bool SetFontStyle(bool bold, bool italic, int32_t underline);

    // --- This platform's side of "Excel shows the workbook" ---

    // The serial-number text the file name of a shown workbook carries.
    void SetFileSerial(const std::string& serialText) { fileSerial = serialText; }
    // Writes the current workbook to exactly `path` (UTF-8), replacing an
    // existing file only once the new one is complete; nothing else is
    // written or opened. False without a workbook; EOSError ("<path>: <reason>")
    // when the file cannot be written, leaving no file of that name behind
    // that was not there before.
    bool WriteWorkbook(const std::string& path);
    // The outcome of the last SetVisible(true) that wrote a workbook.
    const ExcelShownFile& LastShown() const { return lastShown; }
    // The current workbook, nullptr before AddWorkbook.
    const ExcelWorkbook* Workbook() const;
    // The selection's size in rows and columns, 0 without a selection.
    int SelectionRows() const { return selection ? selection->Rows() : 0; }
    int SelectionColumns() const { return selection ? selection->Columns() : 0; }

    // --- Process-wide settings of the server (the GUI thread's) ---

    // Where shown workbooks go; empty (the default) is the documents
    // folder's "ZQ" subfolder. Created when missing.
    static void SetExportFolder(const std::string& folder);
    static std::string ExportFolder();
    // Opens a written file; returns whether an application could be
    // started. Empty (the default): "xdg-open <path>", detached.
    static void SetOpener(std::function<bool(const std::string& path)> opener);
    // Opens a written workbook as a shown one is opened (the opener above).
    static bool OpenFile(const std::string& path);
    // The PC's local time for file names; empty (the default): the clock.
    static void SetClock(std::function<TDateTime()> clock);
    static bool Started();

    // "0000_ZQ_<serial>_<yymmdd_hhnnss>.xlsx", like the default archive
    // file name; '/' in the serial text becomes '_'.
    static std::string ExportFileName(const std::string& serialText, TDateTime now);

private:
    struct Book;
    struct SheetRef {
        Book* book = nullptr;
        int index = 0;  // 1-based; 0 empty
        explicit operator bool() const { return book != nullptr; }
    };

    ExcelSheet& SelectedSheet();
    ExcelRange CellItem(int64_t row, int64_t column);
    void ShowWorkbooks();

    // The six references of the automation wrapper, in its order.
    std::vector<std::unique_ptr<Book>> workbooks;  // this export's workbooks
    Book* workbook = nullptr;
    Book* worksheets = nullptr;  // the sheets of `workbook`
    SheetRef worksheet;
    SheetRef cells;
    std::optional<ExcelRange> selection;  // on the sheet of `cells`

    std::string fileSerial;
    ExcelShownFile lastShown;
};
