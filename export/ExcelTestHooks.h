#pragma once

#include <functional>
#include <string_view>

// Seams for the tests of the workbook server; nothing in the programs sets
// them.
namespace ExcelTestHooks {

// Called at each step of an operation that Excel would carry out (the
// property or method name: "CreateOleObject", "Visible", "Workbooks.Add",
// "Worksheets.Item", "Cells.Item", "Cells", "Range", "Row", "Column", "Value",
// "NumberFormat", "ColumnWidth", "HorizontalAlignment", "VerticalAlignment",
// "Font.Bold", "Font.Italic", "Font.Underline", "Name", "Count", ...). An
// exception thrown by the hook is the failure of that step.
void SetCallHook(std::function<void(std::string_view call)> hook);

// While set, StartServer creates an empty application reference and leaves
// the started flag clear.
void SetServerComesUpEmpty(bool empty);

// Clears the started flag, as at program start.
void ForgetStart();

}  // namespace ExcelTestHooks
